#include "app/Skin.h"

#include "platform/FileSystem.h"

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
    return QString::fromUtf8(FileSystem::readFile(path));
}

}  // namespace Skin
