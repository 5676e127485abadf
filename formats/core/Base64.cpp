#include "formats/core/Base64.h"

#include <array>

namespace Formats {

namespace {

constexpr int Space = -2;
constexpr int Invalid = -1;
constexpr char Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<signed char, 128> digitValues() {
    std::array<signed char, 128> values{};
    for (auto &value : values) {
        value = Invalid;
    }
    for (int i = 0; i < 64; ++i) {
        values[static_cast<std::size_t>(Alphabet[i])] = static_cast<signed char>(i);
    }
    for (const char space : {' ', '\t', '\n', '\r', '\f'}) {
        values[static_cast<std::size_t>(space)] = Space;
    }
    return values;
}

constexpr std::array<signed char, 128> DigitValues = digitValues();

unsigned codeOf(QChar c) {
    return c.unicode();
}

unsigned codeOf(char c) {
    return static_cast<unsigned char>(c);
}

int valueOf(unsigned code) {
    return code < 128 ? DigitValues[code] : Invalid;
}

// Four digits at `at` as three bytes, the usual case, without the checks below; false when they
// are not all digits.
template <typename Text>
bool decodedFour(const Text &text, std::size_t at, char *out) {
    const int a = valueOf(codeOf(text[at]));
    const int b = valueOf(codeOf(text[at + 1]));
    const int c = valueOf(codeOf(text[at + 2]));
    const int d = valueOf(codeOf(text[at + 3]));
    if ((a | b | c | d) < 0) {
        return false;
    }
    const auto group = static_cast<unsigned>(a << 18 | b << 12 | c << 6 | d);
    out[0] = static_cast<char>(group >> 16);
    out[1] = static_cast<char>(group >> 8);
    out[2] = static_cast<char>(group);
    return true;
}

// Written into room taken at once: appending byte by byte costs more than the decoding itself.
template <typename Text>
std::optional<Bytes> decoded(const Text &text) {
    Bytes bytes(static_cast<std::size_t>(text.size()) / 4 * 3 + 3, '\0');
    std::size_t written = 0;
    unsigned group = 0;
    int digits = 0;
    int padding = 0;
    const auto size = static_cast<std::size_t>(text.size());
    for (std::size_t at = 0; at < size; ++at) {
        if (digits == 0 && padding == 0 && at + 4 <= size &&
            decodedFour(text, at, bytes.data() + written)) {
            written += 3;
            at += 3;
            continue;
        }
        const unsigned code = codeOf(text[at]);
        if (code == '=') {
            ++padding;
            continue;
        }
        const int value = valueOf(code);
        if (value == Space) {
            continue;
        }
        if (value == Invalid || padding != 0) {
            return std::nullopt;
        }
        group = group << 6 | static_cast<unsigned>(value);
        if (++digits == 4) {
            bytes[written] = static_cast<char>(group >> 16);
            bytes[written + 1] = static_cast<char>(group >> 8);
            bytes[written + 2] = static_cast<char>(group);
            written += 3;
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
        bytes[written++] = static_cast<char>(group >> 16);
        if (digits == 3) {
            bytes[written++] = static_cast<char>(group >> 8);
        }
    }
    bytes.resize(written);
    return bytes;
}

}  // namespace

std::optional<Bytes> fromBase64(QStringView text) {
    return decoded(text);
}

std::optional<Bytes> fromBase64(std::string_view text) {
    return decoded(text);
}

Base64Run base64RunAt(std::string_view text, std::size_t from) {
    Base64Run run{from, from};
    for (; run.end < text.size(); ++run.end) {
        const unsigned code = codeOf(text[run.end]);
        const int value = valueOf(code);
        if (value >= 0 || code == '=') {
            run.digitsEnd = run.end + 1;
        } else if (value != Space) {
            break;
        }
    }
    return run;
}

Bytes toBase64(const Bytes &bytes) {
    Bytes text((bytes.size() + 2) / 3 * 4, '=');
    std::size_t at = 0;
    std::size_t written = 0;
    const auto byte = [&bytes](std::size_t i) {
        return i < bytes.size() ? static_cast<unsigned char>(bytes[i]) : 0U;
    };
    for (; at < bytes.size(); at += 3, written += 4) {
        const unsigned group = byte(at) << 16 | byte(at + 1) << 8 | byte(at + 2);
        text[written] = Alphabet[group >> 18];
        text[written + 1] = Alphabet[group >> 12 & 63];
        // Past the end, the padding stays.
        if (at + 1 < bytes.size()) {
            text[written + 2] = Alphabet[group >> 6 & 63];
        }
        if (at + 2 < bytes.size()) {
            text[written + 3] = Alphabet[group & 63];
        }
    }
    return text;
}

}  // namespace Formats
