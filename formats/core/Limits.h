#pragma once

#include <cstddef>
#include <cstdint>

// Every bound a walk puts on what a file claims, in one place, so that a hostile file meets the
// same limits in every kind and a reader can see them all at once.
namespace Formats::Limits {

// Containers around an embedded file, up to and including the outermost file, that are walked
// into: a docx in an xls in a PDF is 2 deep.
constexpr int NestingDepth = 4;

// Entries a package (ZIP) may hold: as many as a ZIP without its 64-bit extension can list. Each
// costs a couple of KB while the package is rewritten, whatever its size, so a package of millions
// of tiny entries would cost gigabytes.
constexpr std::uint64_t PackageEntries = 65535;

// What a package (ZIP) may unpack to in all, and how far one entry (or one zlib stream) may
// outgrow its packed size once it is large enough for the ratio to mean something.
constexpr std::uint64_t UnpackedSize = std::uint64_t(1) << 30;
constexpr std::uint64_t CompressionRatio = 1024;
constexpr std::uint64_t RatioCheckedFrom = std::uint64_t(1) << 20;

// How long the path of a part inside a file ("ObjectPool/_1234/CONTENTS") may grow as folders
// nest: past it, deeper folders are left out, so that nesting without end costs no memory.
constexpr std::size_t PathLength = 256;

// How many bytes of a file's start content recognition looks at: a PDF's header may follow 1 KB
// of other data.
constexpr std::size_t RecognitionWindow = 4096;

// Elements, lists or objects a sound or video walk holds open at once: what players need lies
// no deeper than a segment's attachments' files or a simple tag in a simple tag.
constexpr std::size_t ContainerDepth = 6;
// Bytes of a name inside a sound or video file that are read to recognise it.
constexpr std::size_t NameRead = 256;
// A descriptive object a sound or video walk reads whole to sort its records; a larger one is
// padded or named whole.
constexpr std::uint64_t RecordsRead = 16 << 20;

// How far a RIFF or IFF form may say it runs past the file's end and still be read to the end:
// some writers count the form's own header in its size.
constexpr std::uint64_t FormSizeOverstated = 8;

// Children a video walk looks through to judge an element by one of them (an attachment by its
// data, a seek entry by what it points at): one with more is judged as if it lacked that child.
constexpr std::size_t ChildrenJudged = 64;

// The longest header ("image/svg+xml;charset=utf-8;base64") a data: URI may have before its
// comma, so that text full of "data:" and no commas is read in linear time.
constexpr int DataUriHeaderLength = 256;

// ISO media boxes (MP4, MOV, HEIC): how deep they nest, how many one file may hold, and the
// largest read whole (a picture's item tables, a dropped track's sample tables).
constexpr int BoxNesting = 12;
constexpr std::uint64_t BoxCount = 4'000'000;
constexpr std::uint64_t BoxReadWhole = std::uint64_t(64) << 20;
// The longest gapless record (iTunSMPB) kept in a cleaned M4A: iTunes writes 12 numbers, 116
// characters.
constexpr std::size_t GaplessRecordLength = 256;

// How deep the elements of an XML part or an SVG drawing may nest: drawings and documents nest a
// few dozen deep, and a reader holds every open element, so millions would cost gigabytes.
constexpr std::size_t XmlNesting = 1024;

// Directories a check follows in an Exif structure: a photo has five or so; a hostile chain has
// no end.
constexpr std::size_t ExifDirectories = 256;

}  // namespace Formats::Limits
