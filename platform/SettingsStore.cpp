#include "platform/SettingsStore.h"

#include "platform/AppError.h"

#include <QFile>
#include <QSettings>
#include <QUrl>

namespace {

const QString Organisation = QStringLiteral("Tarnwick");
const QString Application = QStringLiteral("Parchwipe");

// An unquoted comma makes QSettings read a hand-edited value as a list of texts, losing the
// blanks around the commas; every entry here is one text, so it is taken from the file as typed.
bool isHandEditedList(const QSettings &store, const QString &entry) {
    return store.value(entry).typeId() == QMetaType::QStringList;
}

QString textAsTyped(const QSettings &store, const QString &entry) {
    QFile file(store.fileName());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return QString();
    }
    bool inGeneralSection = true;
    for (const QString &line : QString::fromUtf8(file.readAll()).split(QChar(u'\n'))) {
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(QChar(u'['))) {
            inGeneralSection = trimmed == QStringLiteral("[General]");
            continue;
        }
        const qsizetype equals = trimmed.indexOf(QChar(u'='));
        if (inGeneralSection && equals > 0 &&
            QUrl::fromPercentEncoding(trimmed.left(equals).trimmed().toUtf8()) == entry) {
            return trimmed.mid(equals + 1).trimmed();
        }
    }
    return QString();
}

QString textOf(const QSettings &store, const QString &entry) {
    return isHandEditedList(store, entry) ? textAsTyped(store, entry)
                                          : store.value(entry).toString();
}

}  // namespace

QString SettingsStore::read(const QString &entry, const QString &defaultValue) const {
    const QSettings store(QSettings::NativeFormat, QSettings::UserScope, Organisation, Application);
    return store.contains(entry) ? textOf(store, entry) : defaultValue;
}

void SettingsStore::write(const QString &entry, const QString &value) {
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, Organisation, Application);
    // Writing rewrites the whole file; hand-edited lists are kept as the texts they were typed as.
    for (const QString &key : store.childKeys()) {
        if (isHandEditedList(store, key)) {
            store.setValue(key, textAsTyped(store, key));
        }
    }
    store.setValue(entry, value);
    store.sync();
    if (store.status() != QSettings::NoError) {
        throw AppError(ErrorNumber::PathFileAccess,
                       QStringLiteral("The setting \"%1\" could not be stored").arg(entry));
    }
}
