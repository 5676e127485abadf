#include "PictureFixtures.h"
#include "formats/pictures/Gif.h"
#include "formats/pictures/Jpeg.h"
#include "formats/pictures/Png.h"
#include "formats/pictures/Psd.h"
#include "formats/pictures/Tiff.h"
#include "formats/pictures/Webp.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <QColorSpace>
#include <QStringEncoder>

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

namespace {

using Formats::Category;
using Findings = Formats::Findings;

// The pictures make_psd.py makes, by name.
Formats::Bytes photoshopFixture(const char *name) {
    static const ScratchFolder folder;
    static const bool made = [] {
        runTool(QStringLiteral("python3"),
                {QStringLiteral(PARCHWIPE_TESTS_DIR "/formats/make_psd.py"), folder.path()});
        return true;
    }();
    EXPECT_TRUE(made);
    return readFile(folder / QString::fromLatin1(name)).toStdString();
}

bool names(const Findings &findings, Category category, const std::string &name) {
    for (const Formats::Finding &finding : findings.shown()) {
        if (finding.category == category && finding.name == name) {
            return true;
        }
    }
    return false;
}

std::string refusal(const std::function<void()> &run) {
    try {
        run();
    } catch (const Formats::Refused &refused) {
        return refused.what();
    }
    return "not refused";
}

}  // namespace

// Each check names what it finds in the category it tells about, and the cleaned file holds none
// of the planted values, as text or as UTF-16.
TEST(Pictures, ChecksNameEachFindingInItsCategory) {
    struct Case {
        const char *what;
        Formats::Bytes file;
        std::function<Findings(const Formats::Bytes &)> check;
        Clean clean;
        std::vector<std::pair<Category, std::string>> found;
    };
    std::vector<Case> cases = {
        {"phone photo",
         bytes(phoneJpeg()),
         Jpeg::check,
         [](const Formats::Bytes &jpeg) { return Jpeg::clean(jpeg, 1); },
         {{Category::Place, "GPS position"},
          {Category::Device, "Make"},
          {Category::Device, "Model"},
          {Category::Device, "LensModel"},
          {Category::Device, "BodySerialNumber"},
          {Category::Dates, "DateTimeOriginal"},
          {Category::Software, "Software"},
          {Category::Thumbnails, "an Exif thumbnail"}}},
        {"TIFF pages",
         bytes(tiffWithArtistMakeGps()),
         Tiff::check,
         Tiff::clean,
         {{Category::People, "Artist"},
          {Category::Device, "Model"},
          {Category::Descriptions, "UserComment"},
          {Category::Place, "GPS position"}}},
        {"PNG text",
         bytes(pngWithEveryTextChunk()),
         Png::check,
         Png::clean,
         {{Category::People, "tEXt"}, {Category::Descriptions, "zTXt"}, {Category::Dates, "tIME"}}},
        {"WebP Exif",
         bytes(webpWithExifAndXmp()),
         Webp::check,
         Webp::clean,
         {{Category::People, "Artist"}, {Category::Device, "Model"}}},
        {"GIF comment",
         bytes(gifWithCommentXmpAndLoop()),
         Gif::check,
         Gif::clean,
         {{Category::Descriptions, "a comment"}}},
        {"smart object",
         photoshopFixture("smart-object.psd"),
         Psd::check,
         Psd::clean,
         {{Category::People, "tEXt in a smart object"},
          {Category::Descriptions, "a smart object's file name"}}},
        {"linked and placed files, layer time",
         photoshopFixture("linked-outside.psd"),
         Psd::check,
         Psd::clean,
         {{Category::Dates, "a layer's modification time"},
          {Category::Other, "a linked file's folder"},
          {Category::Descriptions, "a smart object's file name"}}},
    };
    for (const char *key :
         {"fullPath", "relPath", "originalPath", "originalFileName", "fileReference"}) {
        cases.push_back({key,
                         photoshopFixture((std::string("linked-by-") + key + ".psd").c_str()),
                         Psd::check,
                         Psd::clean,
                         {{Category::Other, "a linked file's folder"}}});
    }
    const QByteArray planted = QByteArrayLiteral("PLANTED");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const Findings found = c.check(c.file);
        for (const auto &[category, name] : c.found) {
            EXPECT_TRUE(names(found, category, name)) << name << " in: " << found.reason();
        }
        const QByteArray cleaned = qbytes(c.clean(c.file));
        EXPECT_EQ(c.check(bytes(cleaned)).reason(), "");
        for (const QStringConverter::Encoding encoding :
             {QStringConverter::Utf8, QStringConverter::Utf16BE, QStringConverter::Utf16LE}) {
            const QByteArray marker = QStringEncoder(encoding).encode(QString::fromLatin1(planted));
            EXPECT_FALSE(cleaned.contains(marker)) << encoding;
        }
    }
}

// A smart object the pass cannot clean is refused, and the check says what it holds or why it
// cannot read it.
TEST(Pictures, SmartObjectsThatCannotBeCleanedAreRefused) {
    struct Case {
        const char *file;
        const char *cleanRefusal;
        const char *checkAnswer;
    };
    const std::vector<Case> cases = {
        {"linked-alias.psd", "Photoshop layers linked to outside files by alias cannot be cleaned",
         "still holds a smart object's file name, a link to an outside file"},
        {"cut-smart-object.psd", "damaged PSD: a section runs past the end",
         "damaged PSD: a layer section is cut short"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        const Formats::Bytes file = photoshopFixture(c.file);
        EXPECT_EQ(refusal([&] { Psd::clean(file); }), c.cleanRefusal);
        EXPECT_EQ(Psd::remainingMetadata(file), c.checkAnswer);
    }
}
