#include "PictureFixtures.h"
#include "formats/pictures/Gif.h"
#include "formats/pictures/Png.h"
#include "formats/pictures/Tiff.h"
#include "formats/pictures/Webp.h"

#include <gtest/gtest.h>

#include <QColorSpace>

#include <functional>

namespace {

using Clean = std::function<Formats::Bytes(const Formats::Bytes &)>;
using Check = std::function<std::string(const Formats::Bytes &)>;

struct Kind {
    const char *name;
    std::function<QByteArray()> make;
    Clean clean;
    Check check;
    int frames;                      // frames or pages Qt decodes
    std::vector<std::string> found;  // what the check must name in the original
};

void PrintTo(const Kind &kind, std::ostream *stream) {
    *stream << kind.name;
}

const std::vector<Kind> &kinds() {
    static const std::vector<Kind> all = {
        {"png",
         pngWithEveryTextChunk,
         Png::clean,
         Png::remainingMetadata,
         1,
         {"tEXt", "zTXt", "iTXt", "eXIf", "tIME", "prVt", "data after the end"}},
        {"apng", animatedPng, Png::clean, Png::remainingMetadata, 1, {"tEXt"}},
        {"gif",
         gifWithCommentXmpAndLoop,
         Gif::clean,
         Gif::remainingMetadata,
         2,
         {"a comment", "application block XMP Data"}},
        {"webp",
         webpWithExifAndXmp,
         Webp::clean,
         Webp::remainingMetadata,
         1,
         {"EXIF", "XMP", "the EXIF flag", "the XMP flag"}},
        {"tiff",
         tiffWithArtistMakeGps,
         Tiff::clean,
         Tiff::remainingMetadata,
         2,
         {"ImageDescription", "Artist", "Make", "Model", "Exif", "GPS", "XMP", "IPTC"}},
    };
    return all;
}

Formats::Bytes bytes(const QByteArray &data) {
    return data.toStdString();
}
QByteArray qbytes(const Formats::Bytes &data) {
    return QByteArray::fromStdString(data);
}

class Pictures : public ::testing::TestWithParam<Kind> {};

}  // namespace

TEST_P(Pictures, LoseEveryMetadataKindButNoPixel) {
    const Kind &kind = GetParam();
    const QByteArray original = kind.make();
    const std::string before = kind.check(bytes(original));
    for (const std::string &what : kind.found) {
        EXPECT_NE(before.find(what), std::string::npos) << what << " in: " << before;
    }
    const Formats::Bytes cleaned = kind.clean(bytes(original));
    EXPECT_EQ(kind.check(cleaned), "");
    for (const QString &secret : pictureSecrets()) {
        EXPECT_FALSE(qbytes(cleaned).contains(secret.toUtf8())) << secret.toStdString();
    }
    const QList<QImage> frames = framesOf(original);
    EXPECT_EQ(framesOf(qbytes(cleaned)), frames);
    ASSERT_EQ(frames.size(), kind.frames);
    EXPECT_FALSE(frames.back().isNull());
    EXPECT_EQ(kind.clean(cleaned), cleaned) << "cleaning twice changes nothing";
}

TEST_P(Pictures, CutShortAreRefusedAndTheCheckSaysSo) {
    const Kind &kind = GetParam();
    const Formats::Bytes original = bytes(kind.make());
    for (const std::size_t length : {std::size_t{0}, std::size_t{7}, original.size() * 2 / 3}) {
        const Formats::Bytes cut = original.substr(0, length);
        EXPECT_THROW(kind.clean(cut), Formats::Refused) << length;
        EXPECT_NE(kind.check(cut), "") << length;
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, Pictures, ::testing::ValuesIn(kinds()),
                         [](const auto &kind) { return std::string(kind.param.name); });

TEST(Pictures, WhatDrawsThePictureStays) {
    const QByteArray png = pngWithEveryTextChunk();
    const QByteArray cleanPng = qbytes(Png::clean(bytes(png)));
    EXPECT_EQ(framesOf(cleanPng)[0].colorSpace(), framesOf(png)[0].colorSpace());
    EXPECT_TRUE(pngChunkNames(cleanPng).contains(QStringLiteral("iCCP")));

    QStringList animation = pngChunkNames(animatedPng());
    animation.removeAll(QStringLiteral("tEXt"));
    EXPECT_EQ(pngChunkNames(qbytes(Png::clean(bytes(animatedPng())))), animation);

    const Formats::Bytes gif = Gif::clean(bytes(gifWithCommentXmpAndLoop()));
    EXPECT_NE(gif.find("NETSCAPE2.0"), std::string::npos);
}

TEST(Pictures, ChecksReadTheResultOnTheirOwn) {
    // A WebP whose extended header still claims Exif, and data hidden after a PNG's end.
    Formats::Bytes webp = Webp::clean(bytes(webpWithExifAndXmp()));
    webp[20] = static_cast<char>(webp[20] | 0x08);
    EXPECT_EQ(Webp::remainingMetadata(webp), "still holds the EXIF flag");
    const Formats::Bytes png = Png::clean(bytes(pngWithEveryTextChunk())) + "Ann Author";
    EXPECT_EQ(Png::remainingMetadata(png), "still holds data after the end");
}

// For every tag number, as ASCII and as UTF-8 text: the check passes a file holding it exactly
// when the cleaning keeps it, and the cleaning zeros what it drops.
TEST(Pictures, TheTiffCheckAllowsExactlyTheTagsTheCleaningKeeps) {
    using namespace std::string_literals;
    for (unsigned tag = 0; tag <= 0xFFFF; ++tag) {
        const char type = tag % 2 ? '\x02' : '\x81';
        const Formats::Bytes tiff = "II*\0\x08\0\0\0\x01\0"s + static_cast<char>(tag & 0xFF) +
                                    static_cast<char>(tag >> 8) + type +
                                    "\0\x0C\0\0\0\x1A\0\0\0\0\0\0\0PLANTED-tag\0"s;
        const std::string found = Tiff::remainingMetadata(tiff);
        try {
            const Formats::Bytes cleaned = Tiff::clean(tiff);
            ASSERT_EQ(Tiff::remainingMetadata(cleaned), "") << tag;
            ASSERT_EQ(cleaned == tiff, found.empty()) << tag << ": " << found;
            ASSERT_EQ(cleaned.find("PLANTED") == std::string::npos, !found.empty()) << tag;
        } catch (const Formats::Refused &) {
            ASSERT_NE(found, "") << tag;
        }
    }
}
