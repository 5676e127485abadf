#pragma once

#include "formats/core/Formats.h"

#include <QString>

#include <string>

// The bytes of a working copy, for the routes that clean it in process. Both throw AppError.
namespace WorkingCopy {

Formats::Bytes read(const QString &path);

// Overwrites the copy in place: it sits in the batch's private folder, and a copy left half
// written fails its route anyway.
void write(const QString &path, const Formats::Bytes &bytes);

// The path as the file system spells it, for formats/ code that opens the copy itself.
std::string nativePath(const QString &path);

}  // namespace WorkingCopy
