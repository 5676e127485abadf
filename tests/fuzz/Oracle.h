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

// Whether an input the check passes must come out of the cleaning as it went in. A JPEG does not:
// its cleaning drops fill bytes and moves a one-value Exif, which the check rightly passes.
enum class Passed { StaysTheSame, MayBeRewritten };

// The check reads the input without failing, and the cleaning refuses it or gives a result its
// check passes and that a second cleaning leaves as it is. An input the check passed must come out
// as it went in, when the kind promises so: else the check passed what the cleaning removes.
template <typename Clean, typename Check>
void cleanThenCheck(const Formats::Bytes &input, Clean &&clean, Check &&check,
                    Passed passed = Passed::StaysTheSame) {
    const bool checkPassed = check(input).empty();
    const std::optional<Formats::Bytes> cleaned = cleanedPassing(input, clean, check);
    if (!cleaned) {
        return;
    }
    if (checkPassed && passed == Passed::StaysTheSame && *cleaned != input) {
        finding("the check passed what the cleaning changes", "");
    }
    if (clean(*cleaned) != *cleaned) {
        finding("a second cleaning changes the result", "");
    }
}

}  // namespace Oracle
