#pragma once

#include "formats/core/Cause.h"

#include <QString>

#include <optional>

// Why a file was not cleaned: the cause the batch acts on, and the words the closing message shows
// beside its name.
struct Failure {
    Formats::Cause cause = Formats::Cause::Internal;
    QString reason;
};

// What a step of a file's route gives back: nothing when it was done, else why not.
using StepResult = std::optional<Failure>;
