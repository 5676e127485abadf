#include "formats/pictures/Jpeg.h"
#include "support/JpegSegments.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <QImage>

#include <map>

namespace {

using namespace std::string_literals;

// Pictures made once for the whole suite, each holding only segments that draw it.
class JpegFiles : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        folder = new ScratchFolder;
        const QString drawn = *folder / QStringLiteral("drawn.jpg");
        runTool(QStringLiteral("convert"), {QStringLiteral("-size"), QStringLiteral("96x64"),
                                            QStringLiteral("plasma:"), drawn});
        made = new std::map<std::string, std::string>;
        (*made)["baseline"] = transformed(drawn, {QStringLiteral("-restart"), QStringLiteral("1")});
        (*made)["progressive"] = transformed(
            drawn,
            {QStringLiteral("-progressive"), QStringLiteral("-restart"), QStringLiteral("2")});
        const QString cmyk = *folder / QStringLiteral("cmyk.jpg");
        runTool(QStringLiteral("convert"),
                {drawn, QStringLiteral("-colorspace"), QStringLiteral("CMYK"), cmyk});
        (*made)["cmyk"] = transformed(cmyk, {});
        (*made)["png"] = converted(drawn, QStringLiteral("png"));
        (*made)["tiff"] = converted(drawn, QStringLiteral("tif"));
    }
    static void TearDownTestSuite() {
        delete made;
        delete folder;
    }

    static const std::string &picture(const std::string &name) { return made->at(name); }

    static QString write(const QString &name, const std::string &bytes) {
        return writeFile(*folder / name, QByteArray::fromStdString(bytes));
    }

    static QImage pixels(const std::string &jpeg) {
        return QImage::fromData(QByteArray::fromStdString(jpeg), "JPEG");
    }

    // What exiv2 reads from the bytes.
    static QString exiv2Tags(const std::string &jpeg) {
        return QString::fromUtf8(
                   runTool(QStringLiteral("exiv2"), {QStringLiteral("-q"), QStringLiteral("-Pkycv"),
                                                     write(QStringLiteral("tags.jpg"), jpeg)}))
            .simplified();
    }

    static std::string withOrientation(int value) {
        const QString path = write(QStringLiteral("oriented.jpg"), picture("baseline"));
        runTool(QStringLiteral("exiv2"),
                {QStringLiteral("-M"), QStringLiteral("set Exif.Image.Orientation %1").arg(value),
                 QStringLiteral("-M"), QStringLiteral("set Exif.Image.Artist PLANTED-artist"),
                 QStringLiteral("-M"), QStringLiteral("set Exif.GPSInfo.GPSLatitudeRef N"),
                 QStringLiteral("mo"), path});
        return readFile(path).toStdString();
    }

  private:
    static std::string transformed(const QString &source, QStringList options) {
        const QString target = *folder / QStringLiteral("transformed.jpg");
        options << QStringLiteral("-copy") << QStringLiteral("none") << QStringLiteral("-outfile")
                << target << source;
        runTool(QStringLiteral("jpegtran"), options);
        return readFile(target).toStdString();
    }
    static std::string converted(const QString &source, const QString &extension) {
        const QString target = *folder / (QStringLiteral("converted.") + extension);
        runTool(QStringLiteral("convert"), {source, target});
        return readFile(target).toStdString();
    }

    static ScratchFolder *folder;
    static std::map<std::string, std::string> *made;
};

ScratchFolder *JpegFiles::folder = nullptr;
std::map<std::string, std::string> *JpegFiles::made = nullptr;

// A TIFF structure with one ASCII entry, as Exif and other vendors' blocks carry them.
std::string tiffWithText(const std::string &text) {
    const std::string value = text + '\0';
    return "MM\0*\0\0\0\x08\0\x01\x01\x3B\0\x02\0\0"s + static_cast<char>(value.size() >> 8) +
           static_cast<char>(value.size() & 0xFF) + "\0\0\0\x1A\0\0\0\0"s + value;
}

}  // namespace

TEST_F(JpegFiles, EachKindOfMetadataGoesAndOnlyThat) {
    struct Case {
        const char *what;
        Place place;
        std::string bytes;
        const char *reason;  // what the check says of the uncleaned file
    };
    const std::string photoshop =
        "Photoshop 3.0\0"
        "8BIM\x04\x04\0\0\0\0\0\x10"s;
    const std::string secondary = picture("baseline");
    const std::vector<Case> cases = {
        {"Exif", Place::AfterJfif, jpegSegment(0xE1, "Exif\0\0"s + tiffWithText("PLANTED-exif")),
         "still holds Artist"},
        {"Exif before JFIF", Place::AfterSoi,
         jpegSegment(0xE1, "Exif\0\0"s + tiffWithText("PLANTED-exif")), "still holds Artist"},
        {"XMP", Place::AfterJfif,
         jpegSegment(0xE1, "http://ns.adobe.com/xap/1.0/\0<x:xmpmeta>PLANTED-xmp</x:xmpmeta>"s),
         "still holds XMP"},
        {"extended XMP", Place::AfterJfif,
         jpegSegment(0xE1, "http://ns.adobe.com/xmp/extension/\0"s +
                               "0123456789ABCDEF0123456789ABCDEF\0\0\0\x0B\0\0\0\0PLANTED-ext"s),
         "still holds extended XMP"},
        {"two APP13", Place::BeforeFirstScan,
         jpegSegment(0xED, photoshop + "PLANTED-iptc1") +
             jpegSegment(0xED, photoshop + "PLANTED-iptc2"),
         "still holds Photoshop/IPTC data"},
        {"two comments", Place::BeforeFirstScan,
         jpegSegment(0xFE, "PLANTED-com1") + jpegSegment(0xFE, "PLANTED-com2"),
         "still holds a comment"},
        {"thermal camera APP1", Place::AfterJfif, jpegSegment(0xE1, "FLIR\0\x01\x01PLANTED-flir"s),
         "still holds an APP1 segment"},
        {"action camera APP6", Place::AfterJfif, jpegSegment(0xE6, "GoPro\0PLANTED-gopro"s),
         "still holds an APP6 segment"},
        {"APP14 that is not Adobe's", Place::AfterJfif, jpegSegment(0xEE, "PLANTED-app14"),
         "still holds an APP14 segment"},
        {"APP15", Place::BeforeFirstScan, jpegSegment(0xEF, "PLANTED-app15"),
         "still holds an APP15 segment"},
        {"MPF and its secondary image", Place::AfterJfif,
         jpegSegment(0xE2, "MPF\0"s + tiffWithText("PLANTED-mpf")),
         "still holds a multi-picture "
         "index"},
        {"FlashPix", Place::AfterJfif, jpegSegment(0xE2, "FPXR\0\0\x01PLANTED-fpxr"s),
         "still holds FlashPix data"},
        {"JFXX thumbnail", Place::AfterJfif, jpegSegment(0xE0, "JFXX\0\x13PLANTED-jfxx"s),
         "still holds a thumbnail"},
        {"JFIF thumbnail", Place::InsteadOfJfif,
         jpegSegment(0xE0, picture("baseline").substr(6, 12) + "\x02\x02PLANTED-rgb!"),
         "still holds a thumbnail"},
        {"maker trailer", Place::AfterEoi, "PLANTED-trailer", "still holds bytes after the image"},
        {"secondary image", Place::AfterEoi, secondary, "still holds bytes after the image"},
    };
    for (const char *name : {"baseline", "progressive"}) {
        const std::string &clean = picture(name);
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(name) + ", " + c.what);
            const std::string dirty = spliced(clean, c.place, c.bytes);
            EXPECT_EQ(Jpeg::remainingMetadata(dirty), c.reason);
            const std::string cleaned = Jpeg::clean(dirty, 1);
            EXPECT_EQ(cleaned, clean);  // a segment too many, or one too few, shows here
            EXPECT_EQ(cleaned.find("PLANTED"), std::string::npos);
            EXPECT_FALSE(pixels(dirty).isNull());
            EXPECT_EQ(pixels(cleaned), pixels(dirty));
        }
    }
}

TEST_F(JpegFiles, BetweenTheScansOfAProgressiveJpegOnlyTheDrawingSegmentsStay) {
    const std::string &clean = picture("progressive");
    for (const std::string &extra :
         {jpegSegment(0xFE, "PLANTED-com"), jpegSegment(0xE1, "http://ns.adobe.com/xap/1.0/\0"s)}) {
        const std::string dirty = spliced(clean, Place::BetweenScans, extra);
        EXPECT_NE(Jpeg::remainingMetadata(dirty), "");
        EXPECT_EQ(Jpeg::clean(dirty, 1), clean);
    }
}

TEST_F(JpegFiles, WhatDrawsThePictureStaysByteForByte) {
    const std::string icc = jpegSegment(0xE2, "ICC_PROFILE\0\x01\x02"s + "first chunk") +
                            jpegSegment(0xE2, "ICC_PROFILE\0\x02\x02"s + "second chunk");
    const std::map<std::string, std::string> kept = {
        {"restart markers", picture("baseline")},
        {"progressive scans", picture("progressive")},
        {"Adobe colour transform", picture("cmyk")},
        {"ICC profile chunks", spliced(picture("baseline"), Place::AfterJfif, icc)},
        {"cut short in the scan", picture("baseline").substr(0, picture("baseline").size() / 2)},
    };
    for (const auto &[what, jpeg] : kept) {
        SCOPED_TRACE(what);
        EXPECT_EQ(Jpeg::clean(jpeg, 1), jpeg);
        EXPECT_EQ(Jpeg::remainingMetadata(jpeg), "");
    }
    ASSERT_NE(picture("cmyk").find("\xFF\xEE\x00\x0E"
                                   "Adobe"),
              std::string::npos);
}

TEST_F(JpegFiles, TheOrientationAloneSurvivesRightAfterTheJfifHeader) {
    for (int value = 1; value <= 8; ++value) {
        SCOPED_TRACE(value);
        const std::string dirty = withOrientation(value);
        ASSERT_EQ(Jpeg::orientation(dirty), value);
        const std::string cleaned = Jpeg::clean(dirty, value);
        EXPECT_EQ(Jpeg::remainingMetadata(cleaned), "");
        EXPECT_EQ(cleaned.find("PLANTED"), std::string::npos);
        EXPECT_EQ(Jpeg::orientation(cleaned), value);
        EXPECT_EQ(exiv2Tags(cleaned),
                  value == 1 ? QString()
                             : QStringLiteral("Exif.Image.Orientation Short 1 %1").arg(value));
        if (value > 1) {
            EXPECT_EQ(cleaned.substr(0, 22), picture("baseline").substr(0, 20) + "\xFF\xE1");
        } else {
            EXPECT_EQ(cleaned, picture("baseline"));
        }
    }
}

TEST_F(JpegFiles, ABrokenFirstExifDoesNotHideTheOrientationOfASecond) {
    const std::string broken = jpegSegment(0xE1, "Exif\0\0MM\0*\0\0\xFF\xFF"s);
    const std::string good =
        spliced(withOrientation(6), Place::AfterJfif, broken);  // exiv2 puts its Exif after JFIF
    EXPECT_EQ(Jpeg::orientation(good), 6);
    EXPECT_EQ(Jpeg::orientation(spliced(picture("baseline"), Place::AfterJfif, broken)), 1);
    // The check takes a well-formed one-value Exif for a broken one neither before nor after it.
    const std::string oneValue = Jpeg::clean(withOrientation(6), 6);
    EXPECT_EQ(Jpeg::remainingMetadata(spliced(oneValue, Place::AfterJfif, broken)),
              "still holds Exif");
    EXPECT_EQ(
        Jpeg::remainingMetadata(spliced(oneValue, Place::BeforeFirstScan, oneValue.substr(20, 36))),
        "still holds Exif");
}

TEST_F(JpegFiles, FilesThatCannotBeWalkedAreRefused) {
    const std::string &clean = picture("baseline");
    std::string overlong = spliced(clean, Place::AfterJfif, jpegSegment(0xE1, "Exif\0\0"s));
    overlong[22] = '\x70';  // the segment's length now runs past the end
    const std::map<std::string, std::pair<std::string, std::string>> refused = {
        {"PNG named .jpg", {picture("png"), "not a JPEG file"}},
        {"TIFF named .jpg", {picture("tiff"), "not a JPEG file"}},
        {"empty", {"", "not a JPEG file"}},
        {"length past the end", {overlong, "damaged JPEG header"}},
        {"no marker where a segment starts",
         {spliced(clean, Place::AfterJfif, "junk"), "damaged JPEG header"}},
        {"cut inside the header", {clean.substr(0, 30), "damaged JPEG header"}},
    };
    for (const auto &[what, file] : refused) {
        SCOPED_TRACE(what);
        EXPECT_EQ(Jpeg::remainingMetadata(file.first), file.second);
        try {
            Jpeg::clean(file.first, 1);
            ADD_FAILURE() << "not refused";
        } catch (const Formats::Refused &refusal) {
            EXPECT_EQ(refusal.what(), file.second);
        }
        EXPECT_EQ(Jpeg::orientation(file.first), 1);
    }
}
