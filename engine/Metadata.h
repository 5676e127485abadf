#pragma once

#include "platform/FileSystem.h"

#include <QString>

class Desktop;

namespace Metadata {

// Writes the file anew: its bytes go into a fresh scratch file beside it, which then replaces it.
// A failure is reported once and leaves the file as it was. Returns an empty text when the file
// was written anew, else the reason for the closing message. keepGoing is asked now and then
// during a long copy; when it says stop, the file stays as it was and nothing is reported.
QString StripFile(Desktop &desktop, const QString &path,
                  const FileSystem::KeepGoing &keepGoing = {});

}  // namespace Metadata
