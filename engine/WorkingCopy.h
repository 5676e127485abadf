#pragma once

#include "formats/Formats.h"

#include <QString>

// The bytes of a working copy, for the routes that clean it in process. Both throw AppError.
namespace WorkingCopy {

Formats::Bytes read(const QString &path);

// Overwrites the copy in place: it sits in the batch's private folder, and a copy left half
// written fails its route anyway.
void write(const QString &path, const Formats::Bytes &bytes);

}  // namespace WorkingCopy
