#pragma once

#include "engine/Failure.h"
#include "platform/FileSystem.h"

#include <QString>

class Desktop;

namespace Metadata {

// Writes the file anew: its bytes go into a fresh scratch file beside it, which then replaces it.
// A failure is reported once and leaves the file as it was. Returns nothing when the file was
// written anew, else why not. keepGoing is asked now and then during a long copy; when it says
// stop, the file stays as it was, nothing is reported, and the failure is Stopped.
StepResult StripFile(Desktop &desktop, const QString &path,
                     const FileSystem::KeepGoing &keepGoing = {});

}  // namespace Metadata
