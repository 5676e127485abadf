#include "formats/pictures/JpegXl.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <QImage>

namespace {

std::vector<std::string> namesIn(const Formats::Findings &findings) {
    std::vector<std::string> names;
    for (const Formats::Finding &finding : findings.shown()) {
        names.push_back(finding.name);
    }
    return names;
}

// The pixels djxl decodes (its PNG also carries what metadata the picture had).
QImage decoded(const QString &jxl, const QString &png) {
    runTool(QStringLiteral("djxl"), {jxl, png});
    return QImage(png);
}

}  // namespace

// Exif, XMP and unknown boxes go, also Brotli-compressed ones; the pixels stay, and a picture
// made from a JPEG still rebuilds it, without its metadata.
TEST(JpegXl, MetadataBoxesGoAndThePictureStays) {
    ScratchFolder folder;
    runTool(QStringLiteral("python3"),
            {QStringLiteral(PARCHWIPE_TESTS_DIR "/formats/make_jpegxl.py"), folder.path()});
    const struct {
        const char *name;
        std::vector<std::string> found;
    } cases[] = {
        {"container.jxl", {"Exif", "XMP"}},
        {"compressed.jxl", {"Exif", "XMP"}},
        {"rebuilds.jxl", {"Exif", "XMP"}},
        {"unknown.jxl", {"Exif", "XMP", "a box 'abcd'"}},
        {"bare.jxl", {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QString original = folder / QString::fromLatin1(c.name);
        const std::string bytes = readFile(original).toStdString();
        EXPECT_EQ(namesIn(JpegXl::remainingMetadata(bytes)), c.found);
        const std::string cleaned = JpegXl::clean(bytes);
        EXPECT_EQ(namesIn(JpegXl::remainingMetadata(cleaned)), std::vector<std::string>());
        const QString result =
            writeFile(folder / QStringLiteral("cleaned.jxl"), QByteArray::fromStdString(cleaned));
        EXPECT_FALSE(readFile(result).contains("Ann Artist"));
        EXPECT_EQ(decoded(result, folder / QStringLiteral("after.png")),
                  decoded(original, folder / QStringLiteral("before.png")));
    }
    // The JPEG rebuilt from the cleaned picture has every segment of the original, emptied.
    const QString cleaned = writeFile(
        folder / QStringLiteral("cleaned.jxl"),
        QByteArray::fromStdString(
            JpegXl::clean(readFile(folder / QStringLiteral("rebuilds.jxl")).toStdString())));
    const QString rebuilt = folder / QStringLiteral("rebuilt.jpg");
    runTool(QStringLiteral("djxl"), {cleaned, rebuilt});
    EXPECT_EQ(readFile(rebuilt).size(), readFile(folder / QStringLiteral("source.jpg")).size());
    EXPECT_FALSE(readFile(rebuilt).contains("Ann Artist"));
}
