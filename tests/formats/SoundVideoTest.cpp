#include "formats/video/Asf.h"
#include "formats/video/Matroska.h"
#include "formats/video/SoundVideo.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>

namespace {

using Clean = void (*)(Formats::ByteFile &);
using Check = std::string (*)(Formats::ByteFile &);

struct Kind {
    const char *file;
    Clean clean;
    Check check;
    std::vector<std::string> found;  // what the check must name in the original
    const char *kept;                // what ffprobe must still list, if anything
};

void PrintTo(const Kind &kind, std::ostream *stream) {
    *stream << kind.file;
}

const std::vector<Kind> &kinds() {
    static const std::vector<Kind> all = {
        {"video.mkv",
         Matroska::clean,
         Matroska::remainingMetadata,
         {"title", "creation date", "encoder software", "track title", "cover picture", "artist",
          "comment"},
         "font/ttf"},
        {"video.webm",
         Matroska::clean,
         Matroska::remainingMetadata,
         {"title", "creation date", "encoder software", "track title", "artist"},
         ""},
        {"video.avi",
         Avi::clean,
         Avi::remainingMetadata,
         {"title", "artist", "creation date", "encoder software", "comment", "camera data", "XMP"},
         ""},
        {"sound.wav",
         Wav::clean,
         Wav::remainingMetadata,
         {"title", "artist", "broadcast description (originator, date)", "iXML production notes",
          "XMP", "ID3 tags"},
         ""},
        {"sound.aiff",
         Aiff::clean,
         Aiff::remainingMetadata,
         {"title", "author", "copyright", "comment"},
         ""},
        {"sound.wma",
         Asf::clean,
         Asf::remainingMetadata,
         {"title", "author", "creation date", "encoder software"},
         ""},
        {"video.wmv", Asf::clean, Asf::remainingMetadata, {"title", "author", "creation date"}, ""},
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

std::string checkFile(const Kind &kind, const QString &path) {
    Formats::ByteFile file(path.toStdString(), Formats::ByteFile::Mode::Read);
    return kind.check(file);
}

void cleanFile(const Kind &kind, const QString &path) {
    Formats::ByteFile file(path.toStdString(), Formats::ByteFile::Mode::ReadWrite);
    kind.clean(file);
}

class SoundVideo : public ::testing::TestWithParam<Kind> {};

}  // namespace

TEST_P(SoundVideo, LoseEveryMetadataKindButNoPacket) {
    const Kind &kind = GetParam();
    const QString original = fixture(kind.file);
    ScratchFolder scratch;
    const QString copy = writeFile(scratch / QString::fromLatin1(kind.file), readFile(original));
    const std::string before = checkFile(kind, copy);
    for (const std::string &what : kind.found) {
        EXPECT_NE(before.find(what), std::string::npos) << what << " in: " << before;
    }

    cleanFile(kind, copy);
    EXPECT_EQ(checkFile(kind, copy), "");
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

    cleanFile(kind, copy);
    EXPECT_EQ(readFile(copy), cleaned) << "cleaning twice changes nothing";
}

TEST_P(SoundVideo, CutShortAreRefusedAndTheCheckSaysSo) {
    const Kind &kind = GetParam();
    const QByteArray original = readFile(fixture(kind.file));
    ScratchFolder scratch;
    for (const qsizetype length : {qsizetype{0}, qsizetype{7}, original.size() * 2 / 3}) {
        const QString cut = writeFile(scratch / QStringLiteral("cut"), original.left(length));
        EXPECT_NE(checkFile(kind, cut), "") << length;
        EXPECT_THROW(cleanFile(kind, cut), Formats::Refused) << length;
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, SoundVideo, ::testing::ValuesIn(kinds()), [](const auto &kind) {
    return QString::fromLatin1(kind.param.file)
        .replace(QLatin1Char('.'), QLatin1Char('_'))
        .toStdString();
});
