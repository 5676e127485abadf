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
