#include "formats/Kinds.h"
#include "formats/core/Base64.h"
#include "formats/core/Stop.h"
#include "formats/core/XmlBytes.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using namespace std::string_literals;

std::string kindOfContent(const std::string &start) {
    const Kinds::Kind *kind = Kinds::forContent(start);
    return kind ? kind->name : "unknown";
}

// An Office package as Office writes it: content types first.
std::string zipStarting(const std::string &firstName, const std::string &firstData) {
    return std::string("PK\x03\x04", 4) + std::string(26, '\0') + firstName + firstData;
}

}  // namespace

// Each kind is told by its bytes, wherever its name came from; text and a PDF after other data
// too.
TEST(Kinds, ContentTellsTheKind) {
    const struct {
        std::string start;
        std::string kind;
    } cases[] = {
        {"\xFF\xD8\xFF\xE1", "JPEG picture"},
        {"\x89PNG\r\n\x1A\n", "PNG picture"},
        {std::string("MM\0*", 4), "TIFF picture"},
        {std::string(1000, ' ') + "%PDF-1.7", "PDF document"},
        {std::string("\0\0\0\x18"
                     "ftypmp42",
                     12),
         "phone photo or video"},
        {"RIFF\x10\0\0\0WAVEfmt "s, "WAV sound"},
        {"RF64\xFF\xFF\xFF\xFFWAVEds64"s, "WAV sound"},
        {"BW64\xFF\xFF\xFF\xFFWAVEds64"s, "WAV sound"},
        {"RIFF\x10\0\0\0AVI LIST"s, "AVI video"},
        {"\xEF\xBB\xBF  <?xml version='1.0'?><svg xmlns='x'>", "SVG drawing"},
        {zipStarting("mimetype", "application/epub+zip"), "EPUB book"},
        {zipStarting("mimetype", "application/vnd.oasis.opendocument.text"), "OpenDocument file"},
        {zipStarting("[Content_Types].xml", "<Types/>"), "Office document"},
        {"\n<?xpacket begin=''?>", "XMP sidecar"},
        {std::string("\0\x05\x16\x07\0\x02\0\0", 8), "Finder data"},
        {"\xFF\xF1\x50\x80", "AAC sound"},  // ADTS, not MP3
        {"Rar!\x1A\x07\x01", "RAR archive"},
        {"plain text", "unknown"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(kindOfContent(c.start), c.kind) << c.start;
    }
    EXPECT_STREQ(Kinds::forExtension("JPG_original") ? "known" : "none", "none");
    EXPECT_STREQ(Kinds::forExtension("MpO")->name, "JPEG picture");
    EXPECT_STREQ(Kinds::forName("Thumbs.db")->name, "Windows thumbnail cache");
}

// A package is costed by what it unpacks to, not by its packed size, and so is a package inside
// a ZIP; a video walked where it lies costs a few MB whatever its size.
TEST(Kinds, MemoryCostFollowsWhatAFileUnpacksTo) {
    ScratchFolder scratch;
    const QString bomb = scratch / QStringLiteral("big.docx");
    const QString archive = scratch / QStringLiteral("sent.zip");
    runTool(QStringLiteral("python3"),
            {QStringLiteral("-c"),
             QStringLiteral("import sys, zipfile\n"
                            "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:\n"
                            "    z.writestr('[Content_Types].xml', '<Types/>')\n"
                            "    z.writestr('word/document.xml', ' ' * (64 << 20))\n"
                            "with zipfile.ZipFile(sys.argv[2], 'w', zipfile.ZIP_DEFLATED) as z:\n"
                            "    z.write(sys.argv[1], 'mail/big.docx')\n"),
             bomb, archive});
    for (const QString &path : {bomb, archive}) {
        Formats::ByteFile package(path.toStdString(), Formats::ByteFile::Mode::Read);
        ASSERT_LT(package.size(), 1u << 20);
        EXPECT_GE(Kinds::memoryCost(Kinds::forContent(package.readUpTo(0, 4096)), package),
                  3u * (64u << 20));
    }

    Formats::Bytes video(std::string("\0\0\0\x18"
                                     "ftypmp42",
                                     12) +
                         std::string(64 << 20, '\0'));
    Formats::ByteFile walked(video);
    EXPECT_LE(Kinds::memoryCost(Kinds::forExtension("mp4"), walked), 16u << 20);
}

// Drawings and books carry their files as base64, which any writer may wrap or pad.
TEST(Kinds, Base64OfEmbeddedFilesDecodesOrIsRefused) {
    const struct {
        QString text;
        std::optional<std::string> bytes;
    } cases[] = {
        {"", ""s},
        {"TWFu", "Man"s},
        {"TWE=", "Ma"s},
        {"TQ==", "M"s},
        {"TWE", "Ma"s},
        {" TW\r\nFu\tTQ == ", "ManM"s},
        {"/+/+", "\xFF\xEF\xFE"s},
        {"TWFu!", std::nullopt},
        {"TQ==TWFu", std::nullopt},
        {"TWFuT", std::nullopt},
        {"TQ=", std::nullopt},
        {QStringLiteral("TWF\u00FC"), std::nullopt},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(Formats::fromBase64(c.text), c.bytes) << c.text.toStdString();
    }
}

// A walk that reads bytes it wrote gets the new ones, also from the block it read ahead.
TEST(Kinds, AWorkingCopyReadsBackWhatWasWritten) {
    const ScratchFolder folder;
    const QString path = writeFile(folder / QStringLiteral("copy"), QByteArray(200000, 'a'));
    Formats::ByteFile file(path.toStdString(), Formats::ByteFile::Mode::ReadWrite);
    const struct {
        std::uint64_t at;
        std::size_t length;
    } writes[] = {{100, 8}, {65530, 12}, {150000, 4}};
    for (const auto &w : writes) {
        file.read(w.at, w.length);
        file.write(w.at, std::string(w.length, 'b'));
        EXPECT_EQ(file.read(w.at - 2, w.length + 4), "aa" + std::string(w.length, 'b') + "aa");
    }
}

// Each long step of a walk looks at the stop flag: a stopped batch's walk ends at its next look.
TEST(Kinds, AStoppedWalkEndsAtItsNextLook) {
    const std::atomic<bool> stop{true};
    const Formats::StopWatch watch(stop);
    Formats::Bytes large(20 << 20, 'a');
    std::string xml = "<a>";
    for (int i = 0; i < 3000; ++i) {
        xml += "<b/>";
    }
    xml += "</a>";
    const std::function<void()> steps[] = {
        [&] { Formats::ByteFile(std::as_const(large)).read(0, large.size()); },
        [&] { Formats::ByteFile(large).zero(0, large.size()); },
        [&] {
            Formats::XmlBytesReader reader(xml);
            while (reader.next()) {
            }
        },
    };
    for (const auto &step : steps) {
        EXPECT_THROW(step(), Formats::Stopped);
    }
}
