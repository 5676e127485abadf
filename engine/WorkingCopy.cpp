#include "engine/WorkingCopy.h"

#include "platform/AppError.h"

#include <QFile>

namespace WorkingCopy {

namespace {

AppError fileError(const QFile &file) {
    return AppError(ErrorNumber::PathFileAccess,
                    QStringLiteral("%1: %2").arg(file.fileName(), file.errorString()));
}

}  // namespace

Formats::Bytes read(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw fileError(file);
    }
    Formats::Bytes bytes(static_cast<std::size_t>(file.size()), '\0');
    if (file.read(bytes.data(), file.size()) != file.size()) {
        throw fileError(file);
    }
    return bytes;
}

void write(const QString &path, const Formats::Bytes &bytes) {
    QFile file(path);
    const auto size = static_cast<qint64>(bytes.size());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes.data(), size) != size || !file.flush()) {
        throw fileError(file);
    }
}

}  // namespace WorkingCopy
