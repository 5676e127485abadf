#include "engine/WorkingCopy.h"

#include "platform/AppError.h"
#include "platform/FileSystem.h"

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
    FileSystem::writeFile(
        path, QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

std::string nativePath(const QString &path) {
    return QFile::encodeName(path).toStdString();
}

}  // namespace WorkingCopy
