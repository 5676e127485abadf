#pragma once

#include "formats/core/ByteFile.h"
#include "formats/core/Formats.h"

#include <unistd.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
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

// Kinds cleaned in place: the input goes to one temporary file per process, reused.
inline const std::string &workingCopyPath() {
    static const std::string path =
        (std::filesystem::temp_directory_path() / ("parchwipe-fuzz-" + std::to_string(::getpid())))
            .string();
    return path;
}

inline void writeWorkingCopy(const Formats::Bytes &input) {
    std::ofstream(workingCopyPath(), std::ios::binary | std::ios::trunc)
        .write(input.data(), static_cast<std::streamsize>(input.size()));
}

inline Formats::Bytes workingCopy() {
    Formats::ByteFile file(workingCopyPath(), Formats::ByteFile::Mode::Read);
    return file.readAll();
}

// As cleanThenCheck, for a pass that cleans a file in place: the check reads the input, the
// cleaning refuses it or leaves a file its check passes and a second cleaning leaves as it is, and
// an input the check passed is left byte for byte as it was, when the kind promises so.
template <typename Clean, typename Check>
void cleanInPlaceThenCheck(const Formats::Bytes &input, Clean &&clean, Check &&check,
                           Passed passed = Passed::StaysTheSame) {
    const auto checked = [&check] {
        Formats::ByteFile file(workingCopyPath(), Formats::ByteFile::Mode::Read);
        return check(file);
    };
    const auto cleaned = [&clean] {
        Formats::ByteFile file(workingCopyPath(), Formats::ByteFile::Mode::ReadWrite);
        clean(file);
    };
    writeWorkingCopy(input);
    const bool checkPassed = checked().empty();
    try {
        cleaned();
    } catch (const Formats::Refused &) {
        return;
    }
    if (const std::string reason = checked(); !reason.empty()) {
        finding("a cleaned result fails its check", reason);
    }
    const Formats::Bytes result = workingCopy();
    if (checkPassed && passed == Passed::StaysTheSame && result != input) {
        finding("the check passed what the cleaning changes", "");
    }
    cleaned();
    if (workingCopy() != result) {
        finding("a second cleaning changes the result", "");
    }
}

}  // namespace Oracle
