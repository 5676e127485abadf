#pragma once

#include <cstddef>
#include <cstdint>

// Every bound a walk puts on what a file claims, in one place, so that a hostile file meets the
// same limits in every kind and a reader can see them all at once.
namespace Formats::Limits {

// Containers around an embedded file, up to and including the outermost file, that are walked
// into: a docx in an xls in a PDF is 2 deep.
constexpr int NestingDepth = 4;

// What a package (ZIP) may unpack to in all, and how far one entry may outgrow its packed size
// once it is large enough for the ratio to mean something.
constexpr std::uint64_t UnpackedSize = std::uint64_t(1) << 30;
constexpr std::uint64_t CompressionRatio = 1024;
constexpr std::uint64_t RatioCheckedFrom = std::uint64_t(1) << 20;

// How many bytes of a file's start content recognition looks at: a PDF's header may follow 1 KB
// of other data.
constexpr std::size_t RecognitionWindow = 4096;

// Directories a check follows in an Exif structure: a photo has five or so; a hostile chain has
// no end.
constexpr std::size_t ExifDirectories = 256;

}  // namespace Formats::Limits
