#pragma once

#include <QString>

// The names of the entries in the settings store.
namespace SettingNames {
inline const QString OutputFolder = QStringLiteral("Output Folder");
inline const QString LastFolderDot = QStringLiteral("LastFolderDot");
inline const QString LastFolder = QStringLiteral("LastFolder");
inline const QString Extension = QStringLiteral("Extension");
inline const QString Snapshot = QStringLiteral("Snapshot");
inline const QString WindowSize = QStringLiteral("Window Size");
}  // namespace SettingNames
