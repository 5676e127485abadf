#pragma once

#include "formats/documents/Pdf.h"

#include <string>

using InfoValues = Pdf::Information;

// Reads "InfoKey: K" / "InfoValue: V" pairs (CR LF or LF lines). Throws std::runtime_error when
// the file cannot be read or a value has no key before it.
InfoValues readInfoFile(const std::string &path);

// Writes `output` as a full rewrite of `input` cleaned by Pdf::clean, with `values` as its whole
// document information. Throws on any failure (Formats::Refused for a document it must not
// rewrite, or whose rewrite no longer draws its pages); `output` then does not exist.
void updateInfo(const std::string &input, const InfoValues &values, const std::string &output);
