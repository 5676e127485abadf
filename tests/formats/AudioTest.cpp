#include "formats/sound/Aac.h"
#include "formats/sound/Flac.h"
#include "formats/sound/Mp3.h"
#include "formats/sound/Ogg.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <QtEndian>

#include <functional>

namespace {

using Clean = std::function<Formats::Bytes(const Formats::Bytes &)>;
using Check = std::function<std::string(const Formats::Bytes &)>;

struct Kind {
    const char *extension;
    QStringList codec;
    Clean clean;
    Check check;
    std::vector<std::string> found;  // what the check must name in the original
    bool cutInAudio;                 // else a damaged copy ends inside the tags
};

void PrintTo(const Kind &kind, std::ostream *stream) {
    *stream << kind.extension;
}

QByteArray littleEndian32(quint32 value) {
    QByteArray bytes;
    for (int i = 0; i < 4; ++i) {
        bytes += static_cast<char>(value >> (8 * i) & 0xFF);
    }
    return bytes;
}

// The tags other programs append after the sound: Lyrics3, APEv2 and ID3v1.
QByteArray appendedTags() {
    const QByteArray lyrics = "LYRICSBEGININD0000210AUT00009Anna Smith";
    QByteArray ape = littleEndian32(9) + littleEndian32(0) + "Artist" + '\0' + "Anna Smith";
    const QByteArray apeFooter = "APETAGEX" + littleEndian32(2000) +
                                 littleEndian32(ape.size() + 32) + littleEndian32(1) +
                                 littleEndian32(0) + QByteArray(8, '\0');
    QByteArray id3v1 = "TAG" + QByteArray("Secret title").leftJustified(30, '\0');
    id3v1 = id3v1.leftJustified(128, '\0');
    return lyrics + QByteArray::number(lyrics.size()).rightJustified(6, '0') + "LYRICS200" + ape +
           apeFooter + id3v1;
}

// One second of tone with a title, an artist, a date and a cover picture, as ffmpeg tags it.
QByteArray taggedSound(const ScratchFolder &scratch, const Kind &kind) {
    const QString path = scratch / (QStringLiteral("tagged.") + kind.extension);
    QStringList arguments = {
        "-hide_banner", "-loglevel", "error", "-f", "lavfi", "-i", "sine=frequency=440:duration=1"};
    const bool cover = kind.extension != QStringLiteral("ogg") &&
                       kind.extension != QStringLiteral("opus") &&
                       kind.extension != QStringLiteral("aac");
    if (cover) {
        arguments << "-f"
                  << "lavfi"
                  << "-i"
                  << "color=c=red:s=16x16:d=1"
                  << "-map"
                  << "0"
                  << "-map"
                  << "1"
                  << "-frames:v"
                  << "1"
                  << "-c:v"
                  << "png"
                  << "-disposition:v"
                  << "attached_pic";
    }
    arguments << kind.codec << "-metadata"
              << "title=Secret title"
              << "-metadata"
              << "artist=Anna Smith"
              << "-metadata"
              << "date=2021-06-01" << path;
    runTool(QStringLiteral("ffmpeg"), arguments);
    QByteArray sound = readFile(path);
    if (kind.extension == QStringLiteral("mp3") || kind.extension == QStringLiteral("aac")) {
        sound += appendedTags();
    }
    return sound;
}

QByteArray decodedSound(const QString &path) {
    return runTool(QStringLiteral("ffmpeg"), {"-hide_banner", "-loglevel", "error", "-i", path,
                                              "-map", "0:a", "-f", "md5", "-"});
}

// A damaged file never passes: its pass refuses it, or its result fails the check.
bool isRefused(const Kind &kind, const Formats::Bytes &file) {
    try {
        return !kind.check(kind.clean(file)).empty();
    } catch (const Formats::Refused &) {
        return true;
    }
}

class Sound : public ::testing::TestWithParam<Kind> {};

}  // namespace

TEST_P(Sound, LosesEveryTagButNoSample) {
    const Kind &kind = GetParam();
    const ScratchFolder scratch;
    const QByteArray original = taggedSound(scratch, kind);
    const std::string before = kind.check(original.toStdString());
    for (const std::string &what : kind.found) {
        EXPECT_NE(before.find(what), std::string::npos) << what << " in: " << before;
    }

    const Formats::Bytes cleaned = kind.clean(original.toStdString());
    EXPECT_EQ(kind.check(cleaned), "");
    for (const char *secret : {"Secret title", "Anna Smith", "2021-06-01"}) {
        EXPECT_EQ(cleaned.find(secret), std::string::npos) << secret;
    }
    const QString suffix = QStringLiteral(".") + kind.extension;
    EXPECT_EQ(
        decodedSound(writeFile(scratch / ("cleaned" + suffix), QByteArray::fromStdString(cleaned))),
        decodedSound(writeFile(scratch / ("original" + suffix), original)));

    const QByteArray cut =
        kind.cutInAudio ? original.chopped(100) : original.left(original.indexOf("Anna Smith") + 4);
    EXPECT_TRUE(isRefused(kind, cut.toStdString()));
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, Sound,
    ::testing::Values(
        Kind{"mp3",
             {"-id3v2_version", "3"},
             Mp3::clean,
             Mp3::remainingMetadata,
             {"ID3 TPE1", "ID3 TIT2", "ID3 APIC", "APE tag", "Lyrics3 tag", "ID3v1 tag"},
             false},
        Kind{"flac",
             {},
             Flac::clean,
             Flac::remainingMetadata,
             {"Vorbis comment ARTIST", "Vorbis comments", "cover picture"},
             false},
        Kind{"aac",
             {"-c:a", "aac", "-write_id3v2", "1", "-write_apetag", "1", "-f", "adts"},
             Aac::clean,
             [](const Formats::Bytes &aac) { return Formats::reasonOf(Aac::check, aac); },
             {"ID3 TPE1", "ID3 TIT2", "APE tag", "Lyrics3 tag", "ID3v1 tag"},
             false},
        Kind{"ogg",
             {"-c:a", "libvorbis"},
             Ogg::clean,
             Ogg::remainingMetadata,
             {"Vorbis comment ARTIST"},
             true},
        Kind{"opus",
             {"-c:a", "libopus"},
             Ogg::clean,
             Ogg::remainingMetadata,
             {"Vorbis comment ARTIST"},
             true}),
    [](const auto &test) { return std::string(test.param.extension); });

namespace {

using Formats::Category;

const Kind Mp3Kind{"mp3", {"-id3v2_version", "3"}, Mp3::clean, Mp3::remainingMetadata, {}, false};
// Frames of 1044 bytes: the info frame has room to hide text after its fields.
const Kind WideMp3Kind{"mp3", {"-b:a", "320k"}, Mp3::clean, Mp3::remainingMetadata, {}, false};
const Kind FlacKind{"flac", {}, Flac::clean, Flac::remainingMetadata, {}, false};
const Kind AacKind{"aac", {"-c:a", "aac", "-f", "adts"}, Aac::clean, {}, {}, false};
const Kind OggKind{"ogg", {"-c:a", "libvorbis"}, Ogg::clean, Ogg::remainingMetadata, {}, true};
// With a cover as a comment field holds it (a FLAC picture block in base64), which TagLib keeps
// apart from the other fields.
const Kind OpusKind{"opus",
                    {"-c:a", "libopus", "-metadata",
                     "METADATA_BLOCK_PICTURE=AAAAAwAAAAlpbWFnZS9wbmcAAAAMU2VjcmV0IGNvdmVyAAAAAQAAAA"
                     "EAAAAYAAAAAAAAABWJUE5HDQoaClBMQU5URUQtY292ZXI="},
                    Ogg::clean,
                    Ogg::remainingMetadata,
                    {},
                    true};

QByteArray syncSafe(quint32 value) {
    QByteArray bytes;
    for (int shift = 21; shift >= 0; shift -= 7) {
        bytes += static_cast<char>(value >> shift & 0x7F);
    }
    return bytes;
}

// An ID3v2.3 tag with one text frame, as taggers append it after a FLAC stream's frames.
QByteArray id3v2Tag(const QByteArray &frame, const QByteArray &text) {
    const QByteArray content = '\0' + text;
    QByteArray size(4, '\0');
    size[3] = static_cast<char>(content.size());
    const QByteArray frames = frame + size + QByteArray(2, '\0') + content;
    return QByteArray("ID3\x03\0\0", 6) + syncSafe(frames.size()) + frames;
}

// The same tag closed by a footer, as ID3v2.4 allows.
QByteArray withFooter(QByteArray tag) {
    tag[3] = 4;
    tag[5] = 0x10;
    return tag + "3DI" + tag.mid(3, 7);
}

// Bytes between the last block and the first frame, as a tagger that wrote a shorter tag over a
// longer one leaves them; without the frames when `frames` is false.
QByteArray withBytesBeforeFrames(QByteArray flac, const QByteArray &bytes, bool frames = true) {
    qsizetype at = 4;
    for (bool last = false; !last;
         at += 4 + (qFromBigEndian<quint32>(flac.constData() + at) & 0xFFFFFF)) {
        last = (flac[at] & 0x80) != 0;
    }
    flac.truncate(frames ? flac.size() : at);
    return flac.insert(at, bytes);
}

// Text hidden in the padding of the info frame, where no player looks.
QByteArray withTextInInfoFrame(QByteArray mp3) {
    const qsizetype info = std::max(mp3.indexOf("Info"), mp3.indexOf("Xing"));
    EXPECT_GT(info, 0);
    mp3.replace(info + 200, 12, "PLANTED-info");
    return mp3;
}

// The info frame alone, an ID3 header begun in its LAME tag whose last size byte, 0x85 (no size
// byte), lies in the padding: zeroing the padding completes the header.
QByteArray infoFrameEndingInATagStart(const QByteArray &mp3) {
    const qsizetype info = mp3.indexOf("Info");
    QByteArray frame = mp3.left(1044 + (mp3[2] >> 1 & 1));
    frame.replace(info + 150, 6, QByteArray("ID3\x03\0\0", 6));
    frame[info + 159] = '\x85';
    return frame;
}

Formats::Bytes bytes(const QByteArray &data) {
    return data.toStdString();
}

std::string refusal(const Clean &clean, const Formats::Bytes &file) {
    try {
        clean(file);
    } catch (const Formats::Refused &refused) {
        return refused.what();
    }
    return "";
}

bool names(const Formats::Findings &findings, Category category, const std::string &name) {
    const auto &shown = findings.shown();
    return std::any_of(shown.begin(), shown.end(), [&](const Formats::Finding &finding) {
        return finding.category == category && finding.name == name;
    });
}

}  // namespace

// Each check names what it finds in the category it tells about, leftovers of other programs
// included; the pass removes them all, or refuses what it cannot clean.
TEST(Sound, ChecksNameEachFindingInItsCategory) {
    struct Case {
        const char *what;
        std::function<QByteArray(const ScratchFolder &)> make;
        std::function<Formats::Findings(const Formats::Bytes &)> check;
        Clean clean;
        std::vector<std::pair<Category, std::string>> found;
        std::string refusal;  // empty: the pass cleans it
    };
    const std::vector<Case> cases = {
        {"MP3 tags",
         [](const ScratchFolder &scratch) { return taggedSound(scratch, Mp3Kind); },
         Mp3::check,
         Mp3::clean,
         {{Category::People, "ID3 TPE1"},
          {Category::Descriptions, "ID3 TIT2"},
          {Category::Dates, "ID3 TYER"},
          {Category::Software, "ID3 TSSE"},
          {Category::Thumbnails, "ID3 APIC"},
          {Category::Other, "APE tag"}},
         ""},
        {"MP3 info frame padding",
         [](const ScratchFolder &scratch) {
             return withTextInInfoFrame(taggedSound(scratch, WideMp3Kind));
         },
         Mp3::check,
         Mp3::clean,
         {{Category::Other, "text in the info frame's padding"}},
         ""},
        {"MP3 joined from two, a tag between them",
         [](const ScratchFolder &scratch) {
             const QByteArray half =
                 QByteArray::fromStdString(Mp3::clean(bytes(taggedSound(scratch, Mp3Kind))));
             return half + id3v2Tag("TPE1", "PLANTED-joined") + half;
         },
         Mp3::check,
         Mp3::clean,
         {{Category::Other, "ID3 tag"}},
         ""},
        {"MP3 of one info frame, its padding ending an ID3 header",
         [](const ScratchFolder &scratch) {
             return infoFrameEndingInATagStart(
                 QByteArray::fromStdString(Mp3::clean(bytes(taggedSound(scratch, WideMp3Kind)))));
         },
         Mp3::check,
         Mp3::clean,
         {{Category::Other, "text in the info frame's padding"}},
         "damaged MP3: a tag inside its last frame"},
        {"FLAC with tags appended after its frames",
         [](const ScratchFolder &scratch) {
             return taggedSound(scratch, FlacKind) + id3v2Tag("TPE1", "PLANTED-id3") +
                    appendedTags();
         },
         Flac::check,
         Flac::clean,
         {{Category::People, "Vorbis comment ARTIST"},
          {Category::Dates, "Vorbis comment DATE"},
          {Category::Thumbnails, "cover picture"},
          {Category::People, "ID3 TPE1"},
          {Category::Other, "an APE tag"},
          {Category::Other, "an ID3v1 tag"}},
         ""},
        {"FLAC with an old tag's text before its first frame",
         [](const ScratchFolder &scratch) {
             return withBytesBeforeFrames(taggedSound(scratch, FlacKind),
                                          "ARTIST=PLANTED-overwritten");
         },
         Flac::check,
         Flac::clean,
         {{Category::Other, "bytes that are not sound before the first frame"}},
         ""},
        {"FLAC whose blocks end in a frame header cut before its CRC-8, which would be 0",
         [](const ScratchFolder &scratch) {
             return withBytesBeforeFrames(taggedSound(scratch, FlacKind),
                                          QByteArray("\xFF\xF8\xC9\x20\x5C", 5), false);
         },
         Flac::check,
         Flac::clean,
         {{Category::Other, "bytes that are not sound before the first frame"}},
         "damaged FLAC: no frame follows the blocks"},
        {"FLAC with an APE tag among its frames",
         [](const ScratchFolder &scratch) {
             return taggedSound(scratch, FlacKind) + appendedTags() + "PLANTED-frames";
         },
         Flac::check,
         Flac::clean,
         {{Category::Other, "an APE tag"}},
         "FLAC holds a tag among its frames"},
        {"AAC led by a tag with a footer",
         [](const ScratchFolder &scratch) {
             return withFooter(id3v2Tag("TPE1", "PLANTED-footer")) + taggedSound(scratch, AacKind);
         },
         Aac::check,
         Aac::clean,
         {{Category::People, "ID3 TPE1"}},
         ""},
        {"Opus comments",
         [](const ScratchFolder &scratch) { return taggedSound(scratch, OpusKind); },
         Ogg::check,
         Ogg::clean,
         {{Category::Descriptions, "Vorbis comment TITLE"},
          {Category::Software, "Vorbis comment ENCODER"},
          {Category::Thumbnails, "Vorbis comment METADATA_BLOCK_PICTURE"}},
         ""},
        {"Ogg chained to a link with the same serial",
         [](const ScratchFolder &scratch) {
             const QByteArray ogg = taggedSound(scratch, OggKind);
             return QByteArray::fromStdString(Ogg::clean(bytes(ogg))) + ogg;
         },
         Ogg::check,
         Ogg::clean,
         {{Category::People, "Vorbis comment ARTIST"}},
         "chained Ogg streams cannot be cleaned"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const ScratchFolder scratch;  // ffmpeg asks before it overwrites
        const Formats::Bytes file = bytes(c.make(scratch));
        const Formats::Findings found = c.check(file);
        for (const auto &[category, name] : c.found) {
            EXPECT_TRUE(names(found, category, name)) << name << " in: " << found.reason();
        }
        EXPECT_EQ(refusal(c.clean, file), c.refusal);
        if (c.refusal.empty()) {
            const Formats::Bytes cleaned = c.clean(file);
            EXPECT_EQ(c.check(cleaned).reason(), "");
            for (const char *secret : {"PLANTED", "Anna Smith", "Secret title"}) {
                EXPECT_EQ(cleaned.find(secret), std::string::npos) << secret;
            }
        }
    }
}
