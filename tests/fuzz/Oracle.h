#pragma once

#include "formats/Formats.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

// What every fuzz target asks of a pass and its check, whatever the input.
namespace Oracle {

[[noreturn]] inline void finding(const char *what, const std::string &detail) {
    std::fprintf(stderr, "%s: %s\n", what, detail.c_str());
    std::abort();
}

inline Formats::Bytes bytes(const std::uint8_t *data, std::size_t size) {
    return Formats::Bytes(reinterpret_cast<const char *>(data), size);
}

// Cleaning refuses the input, or gives a result its check passes; the result, if any.
template <typename Clean, typename Check>
std::optional<Formats::Bytes> cleanedPassing(const Formats::Bytes &input, Clean &&clean,
                                             Check &&check) {
    try {
        Formats::Bytes cleaned = clean(input);
        if (const std::string reason = check(cleaned); !reason.empty()) {
            finding("a cleaned result fails its check", reason);
        }
        return cleaned;
    } catch (const Formats::Refused &) {
        return std::nullopt;
    }
}

// The check reads the input without failing, and the cleaning refuses it or gives a result its
// check passes. A cleaned result of an input the check already passed must be that input: else
// the check passed something the cleaning removes.
template <typename Clean, typename Check>
void cleanThenCheck(const Formats::Bytes &input, Clean &&clean, Check &&check) {
    const bool passed = check(input).empty();
    const std::optional<Formats::Bytes> cleaned = cleanedPassing(input, clean, check);
    if (passed && cleaned && *cleaned != input) {
        finding("the check passed what the cleaning changes", "");
    }
}

}  // namespace Oracle
