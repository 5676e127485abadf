#include "platform/SettingsStore.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <QSettings>

TEST(SettingsStore, AnEmptyValueIsReturnedAsStoredAndTheDefaultOnlyForAnAbsentEntry) {
    clearSettings();
    SettingsStore store;
    EXPECT_EQ(store.read(QStringLiteral("Extension"), QStringLiteral("*")), QStringLiteral("*"));
    store.write(QStringLiteral("Extension"), QString());
    EXPECT_EQ(store.read(QStringLiteral("Extension"), QStringLiteral("*")), QString());
    store.write(QStringLiteral("Output Folder"), QStringLiteral("/a, b/@c|d/"));
    EXPECT_EQ(store.read(QStringLiteral("Output Folder"), QString()),
              QStringLiteral("/a, b/@c|d/"));
}

TEST(SettingsStore, ValuesLiveUnderTarnwickParchwipe) {
    clearSettings();
    SettingsStore().write(QStringLiteral("LastFolder"), QStringLiteral("/srv"));
    const QSettings raw(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Tarnwick"),
                        QStringLiteral("Parchwipe"));
    EXPECT_EQ(raw.value(QStringLiteral("LastFolder")).toString(), QStringLiteral("/srv"));
}

TEST(SettingsStore, HandEditedValuesWithCommasReadBackAsTheirText) {
    clearSettings();
    SettingsStore store;
    store.write(QStringLiteral("Snapshot"), QStringLiteral("before"));
    writeFile(
        QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Tarnwick"),
                  QStringLiteral("Parchwipe"))
            .fileName(),
        "[General]\nOutput Folder=/srv/Reports, 2024/\nLastFolder=/srv/a,b\nExtension=x ,  y\n");
    EXPECT_EQ(store.read(QStringLiteral("Output Folder"), QString()),
              QStringLiteral("/srv/Reports, 2024/"));
    // Writing any entry rewrites the whole file; the others keep their text.
    store.write(QStringLiteral("Snapshot"), QStringLiteral("after"));
    EXPECT_EQ(store.read(QStringLiteral("LastFolder"), QString()), QStringLiteral("/srv/a,b"));
    EXPECT_EQ(store.read(QStringLiteral("Extension"), QString()), QStringLiteral("x ,  y"));
    EXPECT_EQ(store.read(QStringLiteral("Output Folder"), QString()),
              QStringLiteral("/srv/Reports, 2024/"));
}
