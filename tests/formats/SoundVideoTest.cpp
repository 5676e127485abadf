#include "formats/video/Asf.h"
#include "formats/video/Matroska.h"
#include "formats/video/SoundVideo.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QtEndian>

#include <algorithm>
#include <functional>
#include <string>

namespace {

using Formats::Category;
using Formats::Finding;

using Clean = void (*)(Formats::ByteFile &);
using Check = Formats::Findings (*)(Formats::ByteFile &);

struct Container {
    Clean clean;
    Check check;
};

const Container Mkv{Matroska::clean, Matroska::findings};
const Container AviFile{Avi::clean, Avi::findings};
const Container WavFile{Wav::clean, Wav::findings};
const Container AiffFile{Aiff::clean, Aiff::findings};
const Container AsfFile{Asf::clean, Asf::findings};

struct Kind {
    const char *file;
    Container container;
    std::vector<Finding> found;  // what the check must name in the original
    const char *kept;            // what ffprobe must still list
};

void PrintTo(const Kind &kind, std::ostream *stream) {
    *stream << kind.file;
}

const std::vector<Kind> &kinds() {
    static const std::vector<Kind> all = {
        {"video.mkv",
         Mkv,
         {{Category::Descriptions, "title"},
          {Category::Dates, "creation date"},
          {Category::Software, "encoder software"},
          {Category::Descriptions, "track title"},
          {Category::Thumbnails, "cover picture"},
          {Category::People, "artist"},
          {Category::Descriptions, "comment"}},
         "font/ttf"},
        {"video.webm",
         Mkv,
         {{Category::Descriptions, "title"},
          {Category::Dates, "creation date"},
          {Category::Software, "encoder software"},
          {Category::Descriptions, "track title"},
          {Category::People, "artist"}},
         "codec_name=vp8"},
        {"video.avi",
         AviFile,
         {{Category::Descriptions, "title"},
          {Category::People, "artist"},
          {Category::Dates, "creation date"},
          {Category::Software, "encoder software"},
          {Category::Descriptions, "comment"},
          {Category::Device, "camera data"},
          {Category::Other, "XMP"}},
         "codec_name=mpeg4"},
        {"sound.wav",
         WavFile,
         {{Category::Descriptions, "title"},
          {Category::People, "artist"},
          {Category::People, "broadcast description (originator, date)"},
          {Category::Descriptions, "iXML production notes"},
          {Category::Other, "XMP"},
          {Category::Descriptions, "ID3 tags"}},
         "codec_name=pcm_s16le"},
        {"sound.aiff",
         AiffFile,
         {{Category::Descriptions, "title"},
          {Category::People, "author"},
          {Category::People, "copyright"},
          {Category::Descriptions, "comment"}},
         "codec_name=pcm_s16be"},
        {"sound.wma",
         AsfFile,
         {{Category::Descriptions, "title"},
          {Category::People, "author"},
          {Category::Dates, "creation date"},
          {Category::Software, "encoder software"}},
         "codec_name=wmav2"},
        {"video.wmv",
         AsfFile,
         {{Category::Descriptions, "title"},
          {Category::People, "author"},
          {Category::Dates, "creation date"}},
         "codec_name=wmv2"},
    };
    return all;
}

// What the files hold, as the fixture script writes it; "Lavf" names the software that made them.
const QStringList &secrets() {
    static const QStringList all = {QStringLiteral("Ann Author"),
                                    QStringLiteral("Secret Title"),
                                    QStringLiteral("Said In Passing"),
                                    QStringLiteral("Track Secret"),
                                    QStringLiteral("Pocket Camera"),
                                    QStringLiteral("Lavf"),
                                    QStringLiteral("2019"),
                                    QStringLiteral("cover.jpg")};
    return all;
}

// The fixture of that name, made the first time it is asked for.
QString fixture(const char *file) {
    static const ScratchFolder folder;
    const QString path = folder / QString::fromLatin1(file);
    if (!QFile::exists(path)) {
        runTool(QStringLiteral("python3"),
                {QStringLiteral(PARCHWIPE_TESTS_DIR "/formats/make_sound_and_video.py"),
                 folder.path(), QString::fromLatin1(file)});
    }
    return path;
}

struct ToolOutput {
    QByteArray output;
    QByteArray errors;
};

ToolOutput run(const QString &program, const QStringList &arguments) {
    QProcess tool;
    tool.start(program, arguments);
    tool.waitForFinished(-1);
    return {tool.readAllStandardOutput(), tool.readAllStandardError()};
}

// Sound and video, not the cover picture that ffmpeg lists as a stream.
QByteArray packets(const QString &path) {
    return run(QStringLiteral("ffmpeg"),
               {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), path,
                QStringLiteral("-map"), QStringLiteral("0:V?"), QStringLiteral("-map"),
                QStringLiteral("0:a?"), QStringLiteral("-c"), QStringLiteral("copy"),
                QStringLiteral("-f"), QStringLiteral("framemd5"), QStringLiteral("-")})
        .output;
}

Formats::Findings checkFile(const Container &container, const QString &path) {
    Formats::ByteFile file(path.toStdString(), Formats::ByteFile::Mode::Read);
    return container.check(file);
}

void cleanFile(const Container &container, const QString &path) {
    Formats::ByteFile file(path.toStdString(), Formats::ByteFile::Mode::ReadWrite);
    container.clean(file);
}

bool holds(const Formats::Findings &findings, const Finding &wanted) {
    const std::vector<Finding> &shown = findings.shown();
    return std::any_of(shown.begin(), shown.end(), [&](const Finding &finding) {
        return finding.category == wanted.category && finding.name == wanted.name;
    });
}

class SoundVideo : public ::testing::TestWithParam<Kind> {};

}  // namespace

TEST_P(SoundVideo, LoseEveryMetadataKindButNoPacket) {
    const Kind &kind = GetParam();
    const QString original = fixture(kind.file);
    ScratchFolder scratch;
    const QString copy = writeFile(scratch / QString::fromLatin1(kind.file), readFile(original));
    const Formats::Findings before = checkFile(kind.container, copy);
    for (const Finding &finding : kind.found) {
        EXPECT_TRUE(holds(before, finding)) << finding.name << " in: " << before.reason();
    }

    cleanFile(kind.container, copy);
    EXPECT_EQ(checkFile(kind.container, copy).reason(), "");
    const QByteArray cleaned = readFile(copy);
    ASSERT_EQ(cleaned.size(), readFile(original).size());
    const QByteArray exiftool =
        run(QStringLiteral("exiftool"), {QStringLiteral("-a"), copy}).output;
    for (const QString &secret : secrets()) {
        EXPECT_FALSE(cleaned.contains(secret.toUtf8())) << secret.toStdString();
        EXPECT_FALSE(exiftool.contains(secret.toUtf8())) << secret.toStdString() << exiftool.data();
    }
    EXPECT_EQ(packets(copy), packets(original));
    const ToolOutput probe =
        run(QStringLiteral("ffprobe"),
            {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_streams"), copy});
    EXPECT_EQ(probe.errors, QByteArray());
    EXPECT_TRUE(probe.output.contains(kind.kept));

    cleanFile(kind.container, copy);
    EXPECT_EQ(readFile(copy), cleaned) << "cleaning twice changes nothing";
}

TEST_P(SoundVideo, CutShortAreRefusedAndTheCheckSaysSo) {
    const Kind &kind = GetParam();
    const QByteArray original = readFile(fixture(kind.file));
    ScratchFolder scratch;
    for (const qsizetype length : {qsizetype{0}, qsizetype{7}, original.size() * 2 / 3}) {
        const QString cut = writeFile(scratch / QStringLiteral("cut"), original.left(length));
        EXPECT_THROW(checkFile(kind.container, cut), Formats::Refused) << length;
        EXPECT_THROW(cleanFile(kind.container, cut), Formats::Refused) << length;
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, SoundVideo, ::testing::ValuesIn(kinds()), [](const auto &kind) {
    return QString::fromLatin1(kind.param.file)
        .replace(QLatin1Char('.'), QLatin1Char('_'))
        .toStdString();
});

namespace {

// A file every player opens although its form is odd; it is cleaned like any other, and sounds
// the same afterwards.
struct OddFile {
    const char *file;
    Container container;
    Finding finding;
    bool cutToForm;  // what trails the form is dropped, else the size stays
};

void PrintTo(const OddFile &odd, std::ostream *stream) {
    *stream << odd.file;
}

QByteArray decoded(const QString &path) {
    return run(QStringLiteral("ffmpeg"),
               {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), path,
                QStringLiteral("-f"), QStringLiteral("framemd5"), QStringLiteral("-")})
        .output;
}

const OddFile oddFiles[] = {
    {"zero-tail.avi", AviFile, {Category::Descriptions, "title"}, false},
    {"tag-after.aiff", AiffFile, {Category::Descriptions, "ID3 tags"}, true},
    {"tag-after.wav", WavFile, {Category::Descriptions, "ID3 tags"}, true},
    {"tag-after-upper.wav", WavFile, {Category::Descriptions, "ID3 tags"}, true},
    {"overstated.wav", WavFile, {Category::Descriptions, "title"}, false},
    {"rf64.wav", WavFile, {Category::Descriptions, "title"}, false},
    {"bw64.wav", WavFile, {Category::Descriptions, "title"}, false},
};

class OddForm : public ::testing::TestWithParam<OddFile> {};

}  // namespace

TEST_P(OddForm, IsCleanedAndSoundsTheSame) {
    const OddFile &odd = GetParam();
    ScratchFolder scratch;
    const QByteArray original = readFile(fixture(odd.file));
    const QString copy = writeFile(scratch / QString::fromLatin1(odd.file), original);
    const Formats::Findings before = checkFile(odd.container, copy);
    EXPECT_TRUE(holds(before, odd.finding)) << odd.finding.name << " in: " << before.reason();

    cleanFile(odd.container, copy);
    EXPECT_EQ(checkFile(odd.container, copy).reason(), "");
    const QByteArray cleaned = readFile(copy);
    const quint32 formSize = original.startsWith("FORM")
                                 ? qFromBigEndian<quint32>(original.constData() + 4)
                                 : qFromLittleEndian<quint32>(original.constData() + 4);
    const qsizetype kept = odd.cutToForm ? formSize + 8 : original.size();
    EXPECT_EQ(cleaned.size(), kept);
    EXPECT_FALSE(cleaned.contains("Secret Title"));
    EXPECT_EQ(decoded(copy), decoded(fixture(odd.file)));
}

INSTANTIATE_TEST_SUITE_P(Forms, OddForm, ::testing::ValuesIn(oddFiles), [](const auto &odd) {
    return QString::fromLatin1(odd.param.file)
        .replace(QLatin1Char('.'), QLatin1Char('_'))
        .replace(QLatin1Char('-'), QLatin1Char('_'))
        .toStdString();
});

namespace {

// A file made to hide a marker where no player looks; the check must name the place and the
// cleaning zero it, keeping what players need.
struct Planted {
    const char *file;
    Container container;
    Finding finding;
    std::string kept;
    std::string marker = "Planted Secret";
};

void PrintTo(const Planted &planted, std::ostream *stream) {
    *stream << planted.file;
}

QByteArray bytesOf(const std::string &text) {
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

const std::vector<Planted> &planted() {
    // The codec list's name for its codec, in UTF-16 as it lies there.
    static const std::string keptCodec("K\0e\0p\0t\0 \0C\0o\0d\0e\0c\0", 20);
    static const std::vector<Planted> all = {
        {"planted-unknown.avi", AviFile, {Category::Other, "chunk 'ZZZZ'"}, "strh"},
        {"planted-strn.avi", AviFile, {Category::Descriptions, "stream name"}, "strf"},
        {"planted-junk.avi", AviFile, {Category::Other, "filled padding"}, "idx1"},
        {"planted-exif.avi", AviFile, {Category::Device, "camera data"}, "avih"},
        {"planted-ncdt.avi", AviFile, {Category::Device, "camera data"}, "movi"},
        {"planted-inf0.avi", AviFile, {Category::Other, "list 'INF0'"}, "hdrl"},
        {"planted-gps.wav", WavFile, {Category::Place, "GPS position"}, "fmt "},
        {"planted-guan.wav", WavFile, {Category::Place, "GPS position"}, "data"},
        {"planted-adtl.wav", WavFile, {Category::Descriptions, "cue labels"}, "fmt "},
        {"planted-axml.wav", WavFile, {Category::Descriptions, "XML production notes"}, "fmt "},
        {"planted-id3.wav", WavFile, {Category::Descriptions, "ID3 tags"}, "fmt "},
        {"planted-afsp.wav", WavFile, {Category::Descriptions, "text tags"}, "fmt "},
        {"planted-disp.wav", WavFile, {Category::Descriptions, "display title"}, "fmt "},
        {"planted-junq.wav", WavFile, {Category::Other, "chunk 'JUNQ'"}, "fmt "},
        {"planted-olym.wav", WavFile, {Category::Device, "camera data"}, "fmt "},
        {"planted-pad.wav", WavFile, {Category::Other, "filled padding"}, "fact", "P"},
        {"planted-appl.aiff", AiffFile, {Category::Software, "application data"}, "COMM"},
        {"planted-mark.aiff", AiffFile, {Category::Descriptions, "marker names"}, "MARK"},
        {"planted-fllr.aiff", AiffFile, {Category::Other, "filled padding"}, "SSND"},
        {"planted-unknown.aiff", AiffFile, {Category::Other, "chunk 'ZZZZ'"}, "COMM"},
        {"planted-id3.aiff", AiffFile, {Category::Descriptions, "ID3 tags"}, "COMM"},
        {"planted-tags-in-cluster.mkv", Mkv, {Category::Descriptions, "tags"}, "pixels"},
        {"planted-unknown.mkv", Mkv, {Category::Other, "element 0x6E67"}, "V_UNCOMPRESSED"},
        {"planted-filename.mkv", Mkv, {Category::Descriptions, "file name"}, "matroska"},
        {"planted-cover.mkv", Mkv, {Category::Thumbnails, "cover picture"}, "pixels"},
        {"planted-void.mkv", Mkv, {Category::Other, "filled Void element"}, "pixels"},
        // The checksum over the information, wrong once the element in it is blanked.
        {"planted-checksum.mkv", Mkv, {Category::Other, "element 0x6E67"}, "pixels", "Sum!"},
        {"planted-second-segment.mkv", Mkv, {Category::Other, "element 0x18538067"}, "pixels"},
        {"planted-content.wma", AsfFile, {Category::Descriptions, "title"}, keptCodec},
        {"planted-second-header.wma", AsfFile, {Category::Other, "second header"}, keptCodec},
        {"planted-nested-extension.wma",
         AsfFile,
         {Category::Other, "nested header extension"},
         keptCodec},
        {"planted-marker.wma", AsfFile, {Category::Descriptions, "marker names"}, keptCodec},
        {"planted-script.wma", AsfFile, {Category::Other, "script commands"}, keptCodec},
        {"planted-padding.wma", AsfFile, {Category::Other, "filled padding"}, keptCodec},
        {"planted-unknown.wma",
         AsfFile,
         {Category::Other, "object 01234567-89AB-CDEF-0123-456789ABCDEF"},
         keptCodec},
        {"planted-library.wma", AsfFile, {Category::Descriptions, "metadata library"}, keptCodec},
    };
    return all;
}

class Hidden : public ::testing::TestWithParam<Planted> {};

}  // namespace

TEST_P(Hidden, IsNamedAndZeroedWhatPlayersNeedStays) {
    const Planted &planted = GetParam();
    ScratchFolder scratch;
    const QByteArray original = readFile(fixture(planted.file));
    const QString copy = writeFile(scratch / QString::fromLatin1(planted.file), original);
    const Formats::Findings before = checkFile(planted.container, copy);
    EXPECT_TRUE(holds(before, planted.finding))
        << planted.finding.name << " in: " << before.reason();

    cleanFile(planted.container, copy);
    const QByteArray cleaned = readFile(copy);
    EXPECT_EQ(cleaned.size(), original.size());
    EXPECT_EQ(checkFile(planted.container, copy).reason(), "");
    const QString marker = QString::fromStdString(planted.marker);
    EXPECT_FALSE(cleaned.contains(marker.toUtf8()));
    EXPECT_FALSE(cleaned.contains(
        QByteArray(reinterpret_cast<const char *>(marker.utf16()), marker.size() * 2)));
    EXPECT_TRUE(cleaned.contains(bytesOf(planted.kept)));
}

INSTANTIATE_TEST_SUITE_P(Places, Hidden, ::testing::ValuesIn(planted()), [](const auto &planted) {
    return QString::fromLatin1(planted.param.file)
        .replace(QLatin1Char('.'), QLatin1Char('_'))
        .replace(QLatin1Char('-'), QLatin1Char('_'))
        .toStdString();
});

namespace {

// A file whose structure lies about itself where the keep lists look: the cleaning and the check
// each refuse it, naming the kind.
struct Damaged {
    const char *file;
    Container container;
    const char *reason;
};

void PrintTo(const Damaged &damaged, std::ostream *stream) {
    *stream << damaged.file;
}

const Damaged damagedFiles[] = {
    {"damaged-marker.aiff", AiffFile, "damaged AIFF: "},
    {"damaged-list.avi", AviFile, "damaged AVI: "},
    {"damaged-unknown-size.mkv", Mkv, "damaged Matroska: "},
    {"damaged-extension.wma", AsfFile, "damaged ASF: "},
    {"damaged-record.wma", AsfFile, "damaged ASF: "},
    {"damaged-tail.avi", AviFile, "damaged AVI: "},
    {"damaged-tag-after.aiff", AiffFile, "damaged AIFF: "},
    {"damaged-overstated.wav", WavFile, "damaged WAV: "},
    {"damaged-no-ds64.wav", WavFile, "damaged WAV: "},
    {"damaged-ds64.wav", WavFile, "damaged WAV: "},
};

class Lying : public ::testing::TestWithParam<Damaged> {};

std::string refusal(const std::function<void()> &run) {
    try {
        run();
    } catch (const Formats::Refused &refused) {
        return refused.what();
    }
    return "no refusal";
}

}  // namespace

TEST_P(Lying, IsRefusedByTheCleaningAndTheCheck) {
    const Damaged &damaged = GetParam();
    ScratchFolder scratch;
    const QByteArray original = readFile(fixture(damaged.file));
    const QString copy = writeFile(scratch / QString::fromLatin1(damaged.file), original);
    EXPECT_EQ(refusal([&] { checkFile(damaged.container, copy); }).rfind(damaged.reason, 0), 0u);
    EXPECT_EQ(refusal([&] { cleanFile(damaged.container, copy); }).rfind(damaged.reason, 0), 0u);
}

INSTANTIATE_TEST_SUITE_P(Files, Lying, ::testing::ValuesIn(damagedFiles), [](const auto &damaged) {
    return QString::fromLatin1(damaged.param.file)
        .replace(QLatin1Char('.'), QLatin1Char('_'))
        .replace(QLatin1Char('-'), QLatin1Char('_'))
        .toStdString();
});
