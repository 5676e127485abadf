#include "formats/sound/Flac.h"
#include "formats/sound/Mp3.h"
#include "formats/sound/Ogg.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

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
    const bool cover =
        kind.extension != QStringLiteral("ogg") && kind.extension != QStringLiteral("opus");
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
    if (kind.extension == QStringLiteral("mp3")) {
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

INSTANTIATE_TEST_SUITE_P(Kinds, Sound,
                         ::testing::Values(Kind{"mp3",
                                                {"-id3v2_version", "3"},
                                                Mp3::clean,
                                                Mp3::remainingMetadata,
                                                {"ID3 TPE1", "ID3 TIT2", "ID3 APIC", "APE tag",
                                                 "Lyrics3 tag", "ID3v1 tag"},
                                                false},
                                           Kind{"flac",
                                                {},
                                                Flac::clean,
                                                Flac::remainingMetadata,
                                                {"Vorbis comment ARTIST", "Vorbis comments",
                                                 "cover picture"},
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
