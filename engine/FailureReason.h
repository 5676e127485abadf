#pragma once

#include "platform/AppError.h"

#include <QString>

namespace FailureReason {

// The closing message's reason for a file whose write failed with the error number given: a full
// disk is named as such, whatever step met it; any other error gives `otherwise`.
inline QString ForError(int errorNumber, const QString &otherwise) {
    return errorNumber == ErrorNumber::DiskFull ? QStringLiteral("the disk is full") : otherwise;
}

}  // namespace FailureReason
