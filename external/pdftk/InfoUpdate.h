#pragma once

#include <map>
#include <string>

// Document information keys and the values they get; an empty value removes the key.
using InfoValues = std::map<std::string, std::string>;

// Reads "InfoKey: K" / "InfoValue: V" pairs (CR LF or LF lines). Throws std::runtime_error when
// the file cannot be read or a value has no key before it.
InfoValues readInfoFile(const std::string &path);

// Writes `output` as a full rewrite of `input` with the information dictionary updated and the
// document's XMP metadata stream removed. Throws on any failure; `output` then does not exist.
void updateInfo(const std::string &input, const InfoValues &values, const std::string &output);
