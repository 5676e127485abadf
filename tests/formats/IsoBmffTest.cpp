#include "formats/video/IsoBmff.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>

namespace {

using Formats::ByteFile;

// Values make_isobmff.py plants: none may remain anywhere in a cleaned file. (The encoder's own
// name inside the coded sound and picture stays: those bytes play.)
const QStringList Planted = {"SecretTitle", "AnnArtist", "PhoneMaker", "PhoneModel9",
                             "SecretApp",   "48.8584",   "2021-08-21", "2021:08:21",
                             "00A1B2C3",    "Lavf",      "FFmpeg"};

struct Kind {
    const char *file;
    bool picture;                    // compared by decoded pixels, else by packets
    std::vector<std::string> found;  // what the check must name in the original
};

void PrintTo(const Kind &kind, std::ostream *stream) {
    *stream << kind.file;
}

const std::vector<Kind> Kinds = {
    {"video.mp4",
     false,
     {"XMP", "user data", "GPS position", "creation date", "artist", "software"}},
    {"video.mov", false, {"GPS position", "device model", "creation date", "software"}},
    {"sound.m4a", false, {"user data", "artist", "creation date"}},
    {"apple.mov",
     false,
     {"metadata box", "GPS position", "device model", "software", "creation date", "identifier",
      "metadata track"}},
    {"photo.heic", true, {"Exif", "XMP", "Exif data", "XMP data"}},
    {"photo.avif", true, {"Exif", "XMP"}},
};

class PhoneFiles : public ::testing::TestWithParam<Kind> {
  protected:
    static void SetUpTestSuite() {
        folder = new ScratchFolder;
        runTool(QStringLiteral("python3"),
                {QStringLiteral(PARCHWIPE_TESTS_DIR "/formats/make_isobmff.py"), folder->path()});
    }
    static void TearDownTestSuite() { delete folder; }

    static QString original() { return *folder / QString::fromLatin1(GetParam().file); }

    // A copy to change, with the given share of the original's bytes.
    static QString copy(const QString &name, double share = 1.0) {
        const QByteArray bytes = readFile(original());
        return writeFile(*folder / name + QString::fromLatin1(GetParam().file),
                         bytes.left(static_cast<int>(bytes.size() * share)));
    }

    static std::string check(const QString &path) {
        ByteFile file(path.toStdString(), ByteFile::Mode::Read);
        return IsoBmff::remainingMetadata(file);
    }

    static void clean(const QString &path) {
        ByteFile file(path.toStdString(), ByteFile::Mode::ReadWrite);
        IsoBmff::clean(file);
    }

    static ScratchFolder *folder;
};

ScratchFolder *PhoneFiles::folder = nullptr;

// What exiftool still reads that names a place, device, person, program or non-zero date.
QStringList exiftoolFindings(const QString &path) {
    static const QRegularExpression telling(QStringLiteral(
        "GPS|Make|Model|Software|Artist|Author|Creator|Title|Encoder|Location|Identifier|"
        "Description|CompressorName|Vendor|Unique|Date|Warning|Error"));
    QStringList found;
    const QString listing = QString::fromUtf8(
        runTool(QStringLiteral("exiftool"), {QStringLiteral("-a"), QStringLiteral("-G1"),
                                             QStringLiteral("-s"), QStringLiteral("-ee"), path}));
    for (const QString &line : listing.split(QLatin1Char('\n'))) {
        if (line.contains(telling) && !line.startsWith(QStringLiteral("[System]")) &&
            !line.startsWith(QStringLiteral("[File]")) &&
            !line.endsWith(QStringLiteral(": 0000:00:00 00:00:00"))) {
            found << line;
        }
    }
    return found;
}

// What ffprobe says is wrong with a video, and how many data tracks it finds.
std::pair<std::string, int> probe(const QString &path) {
    QProcess probe;
    probe.start(QStringLiteral("ffprobe"), {QStringLiteral("-v"), QStringLiteral("error"),
                                            QStringLiteral("-show_streams"), path});
    probe.waitForFinished(-1);
    return {probe.readAllStandardError().toStdString(),
            static_cast<int>(probe.readAllStandardOutput().count("codec_type=data"))};
}

// What a person sees or hears: decoded pixels, or every packet of picture and sound.
QByteArray content(const QString &path, bool picture) {
    if (!picture) {
        return runTool(QStringLiteral("ffmpeg"),
                       {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), path,
                        QStringLiteral("-map"), QStringLiteral("0:v?"), QStringLiteral("-map"),
                        QStringLiteral("0:a?"), QStringLiteral("-c"), QStringLiteral("copy"),
                        QStringLiteral("-f"), QStringLiteral("framemd5"), QStringLiteral("-")});
    }
    const QString png = path + QStringLiteral(".png");
    runTool(QStringLiteral("heif-convert"), {path, png});
    const QImage image(png);
    return QByteArray(reinterpret_cast<const char *>(image.constBits()),
                      static_cast<int>(image.sizeInBytes()));
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(PhotosAndVideos, PhoneFiles, ::testing::ValuesIn(Kinds));

TEST_P(PhoneFiles, LosesEveryMetadataButNoPictureOrSound) {
    const std::string before = check(original());
    for (const std::string &what : GetParam().found) {
        EXPECT_NE(before.find(what), std::string::npos) << what << " in: " << before;
    }
    const QString cleaned = copy(QStringLiteral("cleaned-"));
    clean(cleaned);

    EXPECT_EQ(check(cleaned), "");
    EXPECT_EQ(QFile(cleaned).size(), QFile(original()).size());
    const QByteArray bytes = readFile(cleaned);
    for (const QString &value : Planted) {
        EXPECT_FALSE(bytes.contains(value.toLatin1())) << value.toStdString();
    }
    EXPECT_EQ(exiftoolFindings(cleaned).join(QLatin1Char('\n')).toStdString(), "");
    if (!GetParam().picture) {
        EXPECT_EQ(probe(cleaned), std::make_pair(std::string(), 0));
    }
    const QByteArray seen = content(original(), GetParam().picture);
    EXPECT_FALSE(seen.isEmpty());
    EXPECT_EQ(content(cleaned, GetParam().picture), seen);
}

TEST_P(PhoneFiles, RefusesATruncatedCopy) {
    const QString truncated = copy(QStringLiteral("truncated-"), 0.6);
    const std::string damaged = GetParam().picture ? "damaged HEIF box" : "damaged MP4 box";
    EXPECT_EQ(check(truncated), damaged);
    try {
        clean(truncated);
        ADD_FAILURE() << "a truncated copy was cleaned";
    } catch (const Formats::Refused &refused) {
        EXPECT_EQ(refused.what(), damaged);
    }
}
