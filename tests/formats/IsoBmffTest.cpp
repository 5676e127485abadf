#include "formats/video/IsoBmff.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>

#include <algorithm>

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
    const char *kept = nullptr;      // what must stay, and the decoded sound with it
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
    // Without the record a decoder plays the encoder's priming samples.
    {"gapless.m4a", false, {"user data", "artist", "title"}, " 00000000 00000400 00000000"},
    {"apple.mov",
     false,
     {"metadata box", "GPS position", "device model", "software", "creation date", "identifier",
      "metadata track"}},
    {"photo.heic", true, {"Exif", "XMP", "Exif data", "XMP data", "GPS position", "device model"}},
    {"photo.avif", true, {"Exif", "XMP", "GPS position", "device make", "software"}},
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

QByteArray decodedSound(const QString &path) {
    return runTool(QStringLiteral("ffmpeg"),
                   {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), path,
                    QStringLiteral("-f"), QStringLiteral("framemd5"), QStringLiteral("-")});
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
    if (GetParam().kept != nullptr) {
        EXPECT_TRUE(bytes.contains(GetParam().kept));
        EXPECT_EQ(decodedSound(cleaned), decodedSound(original()));
    }
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

namespace {

using Formats::Bytes;
using Formats::Category;

const Bytes Marker = "PlantedSecret42";

Bytes utf16(const Bytes &text) {
    Bytes wide;
    for (char c : text) {
        wide += Bytes(1, c) + '\0';
    }
    return wide;
}

Bytes box(const Bytes &type, const Bytes &content) {
    const std::uint32_t size = static_cast<std::uint32_t>(8 + content.size());
    return Bytes{char(size >> 24), char(size >> 16 & 0xFF), char(size >> 8 & 0xFF),
                 char(size & 0xFF)} +
           type + content;
}

Bytes fullBox(const Bytes &type, const Bytes &content, char flags = 0) {
    return box(type, Bytes(3, '\0') + flags + content);
}

Bytes zeros(std::size_t count) {
    return Bytes(count, '\0');
}

const Bytes One("\0\0\0\1", 4);
const Bytes XmpUuid("\xBE\x7A\xCF\xCB\x97\xA9\x42\xE8\x9C\x71\x99\x94\x91\xE3\xAF\xAC", 16);

// Where a case plants its box.
enum class Place { Top, Movie, Track, References, Fragment, PictureTables, Properties };

// A one-track movie, or a HEIC's item tables when the box is planted in them, holding `planted`
// where asked; a fragment follows the movie when the box is planted in one.
Bytes madeFile(Place place, const Bytes &planted) {
    const auto at = [&](Place here) { return place == here ? planted : Bytes(); };
    if (place == Place::PictureTables || place == Place::Properties) {
        const Bytes properties = box("ipco", fullBox("ispe", zeros(8)) + at(Place::Properties));
        const Bytes tables =
            fullBox("hdlr", zeros(4) + "pict" + zeros(13)) + fullBox("pitm", zeros(2)) +
            fullBox("iinf", zeros(2)) + fullBox("iloc", zeros(4)) +
            box("iprp", properties + fullBox("ipma", zeros(4))) + at(Place::PictureTables);
        return box("ftyp", "heic" + zeros(4) + "mif1heic") + fullBox("meta", tables) +
               box("mdat", "picture");
    }
    const Bytes references = fullBox("dref", One + fullBox("url ", "", 1) + at(Place::References));
    const Bytes tables = fullBox("stsd", zeros(4)) + fullBox("stts", zeros(4)) +
                         fullBox("stsc", zeros(4)) + fullBox("stsz", zeros(8)) +
                         fullBox("stco", zeros(4));
    const Bytes media =
        fullBox("mdhd", zeros(20)) + fullBox("hdlr", zeros(4) + "vide" + zeros(13)) +
        box("minf", fullBox("vmhd", zeros(8), 1) + box("dinf", references) + box("stbl", tables));
    const Bytes track =
        fullBox("tkhd", zeros(8) + One + zeros(68), 1) + box("mdia", media) + at(Place::Track);
    const Bytes fragment =
        place == Place::Fragment
            ? box("moof",
                  fullBox("mfhd", One) + box("traf", fullBox("tfhd", One) + at(Place::Fragment)))
            : Bytes();
    return box("ftyp", "isom" + zeros(4) + "isom") +
           box("moov", fullBox("mvhd", zeros(96)) + box("trak", track) + at(Place::Movie)) +
           fragment + box("mdat", "media") + at(Place::Top);
}

Bytes gaplessItem(const Bytes &value) {
    return box("----", fullBox("mean", "com.apple.iTunes") + fullBox("name", "iTunSMPB") +
                           box("data", Bytes("\0\0\0\1\0\0\0\0", 8) + value));
}

Bytes itemList(const Bytes &items) {
    return box("udta", fullBox("meta", fullBox("hdlr", zeros(4) + "mdir" + zeros(13)) +
                                           box("ilst", items)));
}

struct Hiding {
    const char *name;
    Place place;
    Bytes planted;
    const char *finding;  // what the check must name
    Category category;
};

void PrintTo(const Hiding &hiding, std::ostream *stream) {
    *stream << hiding.name;
}

const std::vector<Hiding> HidingPlaces = {
    {"UnknownBoxAtTop", Place::Top, box("abcd", Marker), "unknown box abcd", Category::Other},
    {"GpsLogInPadding", Place::Top, box("free", "$GPRMC," + Marker), "GPS position",
     Category::Place},
    {"UserDataInTrack", Place::Track, box("udta", box("\xA9xyz", Marker)), "GPS position",
     Category::Place},
    {"ItemListInMovie", Place::Movie,
     fullBox("meta", fullBox("hdlr", zeros(4) + "mdir" + zeros(13)) +
                         box("ilst", box("\xA9"
                                         "ART",
                                         box("data", zeros(8) + Marker)))),
     "artist", Category::People},
    {"TitleBesideGaplessRecord", Place::Movie,
     itemList(gaplessItem(" 00000000 00000840") + box("\xA9nam", box("data", zeros(8) + Marker))),
     "title", Category::Descriptions},
    {"TextAsGaplessRecord", Place::Movie, itemList(gaplessItem(Marker)), "user data",
     Category::Other},
    {"Utf16InUnknownMovieBox", Place::Movie, box("Xyzw", utf16(Marker)), "unknown box Xyzw",
     Category::Other},
    {"XmpUuid", Place::Top, box("uuid", XmpUuid + "<x:xmpmeta>" + Marker), "XMP", Category::Other},
    {"XmlInPictureTables", Place::PictureTables, fullBox("xml ", Marker), "XMP", Category::Other},
    {"DescriptionProperty", Place::Properties, fullBox("udes", "en" + Marker + zeros(3)),
     "description", Category::Descriptions},
    {"HomePathReference", Place::References, fullBox("url ", "file:///home/" + Marker),
     "path to another file", Category::Other},
    {"ItemListInFragment", Place::Fragment,
     fullBox("meta", box("ilst", box("\xA9"
                                     "day",
                                     Marker))),
     "creation date", Category::Dates},
};

class HidingPlace : public ::testing::TestWithParam<Hiding> {};

bool named(const Formats::Findings &findings, const std::string &name, Category category) {
    const std::vector<Formats::Finding> &shown = findings.shown();
    return std::any_of(shown.begin(), shown.end(), [&](const Formats::Finding &finding) {
        return finding.name == name && finding.category == category;
    });
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(Boxes, HidingPlace, ::testing::ValuesIn(HidingPlaces),
                         [](const auto &tested) { return std::string(tested.param.name); });

TEST_P(HidingPlace, IsNamedByTheCheckAndZeroedByTheClean) {
    const Hiding &hiding = GetParam();
    const Bytes plain = madeFile(hiding.place, {});
    {
        Bytes copy = plain;
        ByteFile file(copy);
        EXPECT_TRUE(IsoBmff::findings(file).empty()) << IsoBmff::remainingMetadata(file);
        IsoBmff::clean(file);
        EXPECT_EQ(copy, plain) << "a file the check passes is left as it is";
    }
    Bytes planted = madeFile(hiding.place, hiding.planted);
    ByteFile file(planted);
    EXPECT_TRUE(named(IsoBmff::findings(file), hiding.finding, hiding.category))
        << IsoBmff::remainingMetadata(file);
    const std::size_t size = planted.size();
    IsoBmff::clean(file);
    EXPECT_EQ(planted.size(), size);
    EXPECT_EQ(planted.find(Marker), Bytes::npos);
    EXPECT_EQ(planted.find(utf16(Marker)), Bytes::npos);
    EXPECT_EQ(IsoBmff::remainingMetadata(file), "");
}

TEST(IsoBmffRefusals, NameWhatStopsThem) {
    const Bytes movieHead = box("ftyp", "isom" + zeros(4) + "isom");
    const auto handler = [](const Bytes &type) {
        return fullBox("hdlr", zeros(4) + type + zeros(13));
    };
    const Bytes exifEntry = box("infe", Bytes("\2\0\0\0\0\1\0\0Exif\0", 13));
    // A FairPlay sound description: its scheme names the buyer.
    const Bytes purchase = box(
        "sinf", box("frma", "mp4a") + fullBox("schm", "itun" + zeros(4)) +
                    box("schi", box("user", Marker) + box("key ", One) + box("iviv", zeros(16)) +
                                    box("name", Marker) + box("priv", zeros(16))));
    const Bytes protectedTrack =
        fullBox("tkhd", zeros(8) + One + zeros(68)) +
        box("mdia",
            handler("soun") +
                box("minf", box("stbl", fullBox("stsd", One + box("drms", zeros(28) + purchase)))));
    const struct {
        Bytes file;
        const char *reason;
    } refused[] = {
        {movieHead + box("moov", box("cmov", zeros(16))), "compressed movie header"},
        {movieHead + box("moov", fullBox("mvhd", zeros(4))), "damaged MP4 box"},
        {movieHead + box("moov", box("trak", protectedTrack)),
         "protected by DRM: its purchase record names the buyer and cannot be removed without "
         "breaking playback"},
        {movieHead +
             box("moov",
                 box("trak", box("mdia", box("minf", box("stbl", fullBox("stsd", zeros(2))))))),
         "damaged MP4 box"},
        {movieHead + Bytes("\0\0\1\0mdat", 8), "damaged MP4 box"},
        {box("ftyp", "heic" + zeros(4) + "mif1") + Bytes("\0\0\0\x20meta", 8), "damaged HEIF box"},
        {madeFile(Place::PictureTables, {}) + box("mdat", Bytes("Exif\0\0MM", 8)),
         "Exif or XMP outside the picture's item tables"},
        {madeFile(Place::PictureTables, fullBox("iinf", Bytes("\0\1", 2) + exifEntry)),
         "picture metadata kept where it cannot be erased"},
        // Exif data said to lie over the file's first box header, outside the media data.
        {madeFile(Place::PictureTables,
                  fullBox("iinf", Bytes("\0\1", 2) + exifEntry) +
                      fullBox("iloc", Bytes("\x44\0\0\1\0\1\0\0\0\1\0\0\0\0\0\0\0\x08", 18))),
         "damaged HEIF box"},
        {movieHead + box("moov", box("trak", box("mdia", handler("vide") + handler("meta")))),
         "a metadata track inside another track"},
        {movieHead +
             box("moov", box("trak", fullBox("tkhd", zeros(8) + One + zeros(68)) +
                                         box("mdia", handler("meta")))) +
             box("moof", box("traf", fullBox("tfhd", One))),
         "fragmented video with a metadata track"},
    };
    for (const auto &input : refused) {
        Bytes copy = input.file;
        ByteFile file(copy);
        EXPECT_NE(IsoBmff::remainingMetadata(file), "") << input.reason;
        try {
            IsoBmff::clean(file);
            ADD_FAILURE() << "cleaned despite " << input.reason;
        } catch (const Formats::Refused &refusal) {
            EXPECT_STREQ(refusal.what(), input.reason);
        }
    }
}
