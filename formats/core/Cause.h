#pragma once

namespace Formats {

// Why a file was not cleaned. The batch acts on the cause alone (a full disk is met again with
// the file alone, then ends the batch; a stop is no fault of the file); the words shown beside it
// are for the user only.
enum class Cause {
    Damaged,      // its structure cannot be walked
    Unsupported,  // a variant no pass cleans, or a file that is nothing but metadata
    Protected,    // a password, DRM, or a signature that cleaning would break
    TooLarge,     // past one of the bounds every walk keeps (sizes, counts, depths), or memory
    DiskFull,     // no room for the working copy, a tool's result or the output
    NotReadable,  // the file system denied access to the source or the output folder
    Gone,         // the source or the output folder was moved or deleted meanwhile
    Stopped,      // the batch stopped while the file was at work, or before its turn
    Internal,     // a fault of Parchwipe, its tools or its working folder
};

// Our PDF toolkit tells why it refused a file by its exit code: the first one plus the cause.
inline constexpr int FirstToolExitCode = 10;

constexpr int toolExitCode(Cause cause) {
    return FirstToolExitCode + static_cast<int>(cause);
}

// The cause a toolkit's exit code tells; Internal for one that tells none (a crash, a missing
// program).
constexpr Cause causeOfToolExit(int exitCode) {
    const int cause = exitCode - FirstToolExitCode;
    return cause >= 0 && cause <= static_cast<int>(Cause::Internal) ? static_cast<Cause>(cause)
                                                                    : Cause::Internal;
}

}  // namespace Formats
