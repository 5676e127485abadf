#include "formats/core/Base64.h"

#include <array>

namespace Formats {

namespace {

constexpr int Space = -2;
constexpr int Invalid = -1;

constexpr std::array<signed char, 128> digitValues() {
    std::array<signed char, 128> values{};
    for (auto &value : values) {
        value = Invalid;
    }
    constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (int i = 0; i < 64; ++i) {
        values[static_cast<std::size_t>(alphabet[i])] = static_cast<signed char>(i);
    }
    for (const char space : {' ', '\t', '\n', '\r', '\f'}) {
        values[static_cast<std::size_t>(space)] = Space;
    }
    return values;
}

constexpr std::array<signed char, 128> DigitValues = digitValues();

}  // namespace

std::optional<Bytes> fromBase64(QStringView text) {
    Bytes bytes;
    bytes.reserve(static_cast<std::size_t>(text.size()) / 4 * 3);
    unsigned group = 0;
    int digits = 0;
    int padding = 0;
    for (const QChar c : text) {
        const char16_t code = c.unicode();
        if (code == u'=') {
            ++padding;
            continue;
        }
        const int value = code < 128 ? DigitValues[code] : Invalid;
        if (value == Space) {
            continue;
        }
        if (value == Invalid || padding != 0) {
            return std::nullopt;
        }
        group = group << 6 | static_cast<unsigned>(value);
        if (++digits == 4) {
            bytes += static_cast<char>(group >> 16);
            bytes += static_cast<char>(group >> 8);
            bytes += static_cast<char>(group);
            group = 0;
            digits = 0;
        }
    }
    // A last group of two or three digits stands for one or two bytes.
    if (digits == 1 || padding > 2 || (padding != 0 && digits + padding != 4)) {
        return std::nullopt;
    }
    if (digits >= 2) {
        group <<= 6 * (4 - digits);
        bytes += static_cast<char>(group >> 16);
        if (digits == 3) {
            bytes += static_cast<char>(group >> 8);
        }
    }
    return bytes;
}

}  // namespace Formats
