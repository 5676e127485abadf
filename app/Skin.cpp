#include "app/Skin.h"

#include "platform/AppError.h"
#include "platform/FileSystem.h"

#include <QFile>

#include <cerrno>

namespace Skin {

QString SkinFile(const QString &programFolder) {
    return programFolder + QStringLiteral("/x/o.cjs");
}

bool IsPresent(const QString &path) {
    constexpr int NotOrdinary = FileSystem::Attribute::Directory | FileSystem::Attribute::Hidden |
                                FileSystem::Attribute::System;
    const std::optional<int> word = FileSystem::tryAttributeWord(path);
    return word && (*word & NotOrdinary) == 0;
}

QString ReadStyleSheet(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        throw AppError::fromErrno(file.error() == QFileDevice::PermissionsError ? EACCES : EIO,
                                  path);
    }
    return QString::fromUtf8(file.readAll());
}

}  // namespace Skin
