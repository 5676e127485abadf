#pragma once

#include "formats/core/Formats.h"

#include <QStringView>

#include <optional>
#include <string_view>

namespace Formats {

// The bytes base64 text stands for, white space skipped; nothing when the text holds any other
// character or ends in a broken group. Qt's own decoder takes several times longer on the
// photos drawings and books carry.
std::optional<Bytes> fromBase64(QStringView text);
std::optional<Bytes> fromBase64(std::string_view text);

// Where the run of base64 text that starts at `from` ends (at the first byte that is no digit,
// padding or white space), and where its last digit or padding ends.
struct Base64Run {
    std::size_t digitsEnd = 0;
    std::size_t end = 0;
};
Base64Run base64RunAt(std::string_view text, std::size_t from);

// The bytes as base64 on one line, padded.
Bytes toBase64(const Bytes &bytes);

}  // namespace Formats
