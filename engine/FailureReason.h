#pragma once

#include "engine/Failure.h"
#include "formats/core/Formats.h"
#include "formats/core/Stop.h"
#include "platform/AppError.h"

namespace FailureReason {

using Formats::Cause;

// A file the batch stopped while it was at work.
inline Failure Stopped() {
    return {Cause::Stopped, QString::fromLatin1(Formats::Stopped().what())};
}

// A step that failed with the error number given: a full disk and a stop are named as such,
// whatever step met them; any other error gives `otherwise`.
inline Failure ForError(int errorNumber, Failure otherwise) {
    switch (errorNumber) {
        case ErrorNumber::DiskFull:
            return {Cause::DiskFull, QStringLiteral("the disk is full")};
        case ErrorNumber::UserInterrupt:
            return Stopped();
        default:
            return otherwise;
    }
}

// Why a listed file could not be copied to the working folder, as something the user can act on.
inline Failure ForSource(int errorNumber) {
    switch (errorNumber) {
        case ErrorNumber::FileNotFound:
            return {Cause::Gone, QStringLiteral("it was moved or deleted since it was listed")};
        case ErrorNumber::PermissionDenied:
            return {Cause::NotReadable, QStringLiteral("you may not read it (permission)")};
        default:
            return ForError(errorNumber, {Cause::Internal, QStringLiteral("could not be copied to "
                                                                          "the working folder")});
    }
}

// Why a clean copy could not be written into the output folder.
inline Failure ForOutput(int errorNumber) {
    switch (errorNumber) {
        case ErrorNumber::PathNotFound:
            return {Cause::Gone, QStringLiteral("the output folder was moved or deleted")};
        case ErrorNumber::PermissionDenied:
            return {Cause::NotReadable,
                    QStringLiteral("you may not write it into the output folder (permission)")};
        default:
            return ForError(errorNumber, {Cause::Internal, QStringLiteral("could not be written to "
                                                                          "the output folder")});
    }
}

// A pass that refused the file, in the pass's words.
inline Failure ForRefusal(const Formats::Refused &refused) {
    return {refused.cause(), QString::fromStdString(refused.what())};
}

// A step that threw: the step's words, then the error's, which may name working files.
inline Failure ForAppError(const AppError &error, const QString &step) {
    return ForError(error.number(), {Cause::Internal, step + QStringLiteral(" (") +
                                                          error.description() + QLatin1Char(')')});
}

}  // namespace FailureReason
