#pragma once

#include "formats/core/Findings.h"
#include "formats/core/Formats.h"

#include <string>

// Photoshop images (PSD, and PSB, its large-document variant).
namespace Psd {

// The image without the image resources that describe rather than draw it (IPTC, Exif, XMP,
// thumbnails, caption, URLs, printer settings, file paths, plug-in data, ...); the resources that
// draw it (resolution, ICC profile, channels, paths, guides, ...), the layers and the pixels stay
// byte for byte, and so does the version information, but for the applications' names, zeroed.
// Layers' modification times are zeroed and linked and placed files' paths cut to their names.
// Refused when a section runs past the end of the file.
// The files smart objects keep go through their own kinds' passes (`depth` counts the
// containers around the image) and lose their original names; a link to an outside file by an
// alias is refused.
Formats::Bytes cleanNested(const Formats::Bytes &image, int depth);
Formats::Bytes clean(const Formats::Bytes &image);

// What the image still holds (IPTC, a thumbnail, ...); throws Formats::Refused for a damaged
// structure. Reads on its own: no code shared with clean().
// Smart objects' files are checked by their own kinds' checks.
Formats::Findings checkNested(const Formats::Bytes &image, int depth);
Formats::Findings check(const Formats::Bytes &image);
// The same as a reason ("still holds IPTC, a thumbnail"), or the damage; empty when clean.
std::string remainingMetadata(const Formats::Bytes &image);

}  // namespace Psd
