#pragma once

#include "formats/core/Formats.h"

#include <QStringView>

#include <optional>

namespace Formats {

// The bytes base64 text stands for, white space skipped; nothing when the text holds any other
// character or ends in a broken group. Qt's own decoder takes several times longer on the
// photos drawings and books carry.
std::optional<Bytes> fromBase64(QStringView text);

}  // namespace Formats
