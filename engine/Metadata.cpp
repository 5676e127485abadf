#include "engine/Metadata.h"

#include "engine/FailureReason.h"
#include "fsutil/Main.h"
#include "platform/ErrorTrap.h"

namespace Metadata {

StepResult StripFile(Desktop &desktop, const QString &path,
                     const FileSystem::KeepGoing &keepGoing) {
    ErrorTrap trap(desktop, QStringLiteral("Metadata.StripFile"));
    const QString scratchPath = path + QStringLiteral(".temp");
    // The replacement needs a scratch file written to its end; the file is never touched otherwise.
    const bool written = trap.step(100, [&] {
        FileSystem::copyFile(path, scratchPath, FileSystem::CopyMode::InPlace, keepGoing);
    }) && trap.step(110, [&] { FileSystem::replaceFile(scratchPath, path); });
    trap.step(112, [&] { Main::DeleteFileQuietly(scratchPath); });
    if (written) {
        return std::nullopt;
    }
    return FailureReason::ForError(
        trap.errorNumber(),
        {Formats::Cause::Internal, QStringLiteral("it could not be written anew")});
}

}  // namespace Metadata
