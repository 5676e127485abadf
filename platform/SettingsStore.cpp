#include "platform/SettingsStore.h"

#include "platform/AppError.h"

#include <QSettings>

QString SettingsStore::read(const QString &entry, const QString &defaultValue) const {
    const QSettings store(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Tarnwick"),
                          QStringLiteral("Parchwipe"));
    return store.contains(entry) ? store.value(entry).toString() : defaultValue;
}

void SettingsStore::write(const QString &entry, const QString &value) {
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Tarnwick"),
                    QStringLiteral("Parchwipe"));
    store.setValue(entry, value);
    store.sync();
    if (store.status() != QSettings::NoError) {
        throw AppError(ErrorNumber::PathFileAccess,
                       QStringLiteral("The setting \"%1\" could not be stored").arg(entry));
    }
}
