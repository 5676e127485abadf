#pragma once

#include "platform/AppError.h"

#include <QString>

namespace FailureReason {

// The closing message's reason for a file whose write failed with the error number given: a full
// disk is named as such, whatever step met it; any other error gives `otherwise`.
inline QString ForError(int errorNumber, const QString &otherwise) {
    return errorNumber == ErrorNumber::DiskFull ? QStringLiteral("the disk is full") : otherwise;
}

// Why a listed file could not be copied to the working folder, as something the user can act on.
inline QString ForSource(int errorNumber) {
    switch (errorNumber) {
        case ErrorNumber::FileNotFound:
            return QStringLiteral("it was moved or deleted since it was listed");
        case ErrorNumber::PermissionDenied:
            return QStringLiteral("you may not read it (permission)");
        default:
            return ForError(errorNumber,
                            QStringLiteral("could not be copied to the working folder"));
    }
}

// Why a clean copy could not be written into the output folder.
inline QString ForOutput(int errorNumber) {
    switch (errorNumber) {
        case ErrorNumber::PathNotFound:
            return QStringLiteral("the output folder was moved or deleted");
        case ErrorNumber::PermissionDenied:
            return QStringLiteral("you may not write it into the output folder (permission)");
        default:
            return ForError(errorNumber,
                            QStringLiteral("could not be written to the output folder"));
    }
}

}  // namespace FailureReason
