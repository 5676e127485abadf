#include "formats/ByteOrder.h"
#include "formats/CompoundFile.h"
#include "formats/CompoundFileReader.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using Formats::Bytes;

// Values make_compound_files.py and wordNames() plant: none may remain in a cleaned file, in
// single-byte or wide characters.
const std::vector<std::string> Planted = {
    "Ann Author",     "Ed Editor",      "Secret Title",    "Secret Subject",  "secretkeywords",
    "Secret Comment", "Carl Company",   "Mia Manager",     "Secret Category", "Secret Client",
    "Sam Saver",      "Secret\\letter", "Secret Template", "Secret Name"};

Bytes wide(const std::string &text) {
    Bytes bytes;
    for (const char character : text) {
        bytes += {character, '\0'};
    }
    return bytes;
}

// A string table as Word writes them: wide strings, each a count and its characters.
Bytes stringTable(const std::vector<std::string> &strings) {
    Bytes table("\xFF\xFF\0\0\0\0", 6);
    table[2] = static_cast<char>(strings.size());
    for (const std::string &text : strings) {
        table += {static_cast<char>(text.size()), '\0'};
        table += wide(text);
    }
    return table;
}

// The file with the first stream of that name changed in place; the whole file without a name.
Bytes withStream(Bytes file, const std::string &name, const std::function<void(Bytes &)> &edit) {
    if (name.empty()) {
        edit(file);
        return file;
    }
    CompoundFile::Reader reader(file);
    for (const CompoundFile::Stream &stream : reader.streams()) {
        if (stream.name == name) {
            Bytes bytes = reader.read(stream);
            edit(bytes);
            reader.overwrite(stream, bytes);
            return file;
        }
    }
    ADD_FAILURE() << "no stream " << name;
    return file;
}

constexpr std::size_t Pairs = 154;  // where the table pointers start in LibreOffice's documents

void setPointer(Bytes &document, std::size_t pair, std::uint32_t offset, std::uint32_t length) {
    Formats::putLittleEndian32(document, Pairs + 8 * pair, offset);
    Formats::putLittleEndian32(document, Pairs + 8 * pair + 4, length);
}

// Where the document's own settings lie in its table stream.
std::uint32_t settingsOffset(const Bytes &document) {
    std::uint32_t offset = 0;
    withStream(document, "WordDocument",
               [&](Bytes &fib) { offset = Formats::littleEndian32(fib, Pairs + 8 * 31); });
    return offset;
}

// LibreOffice writes neither a saved-by list nor associated names: these go into the tail of the
// document's own settings, which Word and LibreOffice read with defaults when it is zeroed.
Bytes wordNames(const Bytes &document) {
    const Bytes names = stringTable({"", "Secret Template", "Secret Name", "", "", "", "", "", "",
                                     "", "", "", "", "", "", "", "", ""});
    const Bytes savedBy = stringTable({"Sam Saver", "C:\\Secret\\letter.doc"});
    const std::uint32_t settings = settingsOffset(document);
    Bytes planted = withStream(document, "WordDocument", [&](Bytes &fib) {
        setPointer(fib, 32, settings + 0x100, static_cast<std::uint32_t>(names.size()));
        setPointer(fib, 71, settings + 0x180, static_cast<std::uint32_t>(savedBy.size()));
    });
    return withStream(planted, "1Table", [&](Bytes &table) {
        table.replace(settings + 0x100, names.size(), names);
        table.replace(settings + 0x180, savedBy.size(), savedBy);
    });
}

class CompoundFiles : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        folder = new ScratchFolder;
        runTool(QStringLiteral("python3"),
                {QStringLiteral(PARCHWIPE_TESTS_DIR "/formats/make_compound_files.py"),
                 folder->path()});
        writeFile(*folder / QStringLiteral("names.doc"),
                  QByteArray::fromStdString(wordNames(fixture(QStringLiteral("letter.doc")))));
    }
    static void TearDownTestSuite() { delete folder; }

    static Bytes fixture(const QString &name) { return readFile(*folder / name).toStdString(); }

    static ScratchFolder *folder;
};

ScratchFolder *CompoundFiles::folder = nullptr;

// What LibreOffice shows of each file, as text, from one run for all of them.
std::map<QString, QString> textsOf(const QStringList &paths, const ScratchFolder &folder) {
    const QString out = makeFolder(folder / QStringLiteral("pdf"));
    runTool(QStringLiteral("soffice"),
            QStringList{"-env:UserInstallation=file://" + folder.path() + "/profile", "--headless",
                        "--convert-to", "pdf", "--outdir", out} +
                paths);
    std::map<QString, QString> texts;
    for (const QString &path : paths) {
        const QString name = QFileInfo(path).completeBaseName();
        texts[path] = QString::fromUtf8(
            runTool(QStringLiteral("pdftotext"), {out + "/" + name + ".pdf", QStringLiteral("-")}));
    }
    return texts;
}

}  // namespace

TEST_F(CompoundFiles, CleaningLeavesNoPersonalDataAndKeepsTheDocument) {
    const QStringList names = {"letter.doc", "names.doc", "figures.xls", "slides.ppt"};
    QStringList paths;
    for (const QString &name : names) {
        SCOPED_TRACE(name.toStdString());
        const Bytes source = fixture(name);
        EXPECT_NE(CompoundFile::remainingMetadata(source), "");
        const Bytes cleaned = CompoundFile::clean(source);
        EXPECT_EQ(CompoundFile::remainingMetadata(cleaned), "");
        EXPECT_EQ(cleaned.size(), source.size());
        for (const std::string &value : Planted) {
            EXPECT_EQ(cleaned.find(value), Bytes::npos) << value;
            EXPECT_EQ(cleaned.find(wide(value)), Bytes::npos) << value;
        }
        const QString path =
            writeFile(*folder / ("cleaned-" + name), QByteArray::fromStdString(cleaned));
        const QString report = QString::fromUtf8(runTool(QStringLiteral("exiftool"), {path}));
        for (const QString &left :
             QStringList{"2021", "Calc", "Current User", "Author", "Company"}) {
            EXPECT_FALSE(report.contains(": " + left)) << report.toStdString();
        }
        paths << *folder / name << path;
    }
    const std::map<QString, QString> texts = textsOf(paths, *folder);
    for (int i = 0; i < paths.size(); i += 2) {
        EXPECT_TRUE(texts.at(paths[i]).contains("The quick")) << texts.at(paths[i]).toStdString();
        EXPECT_EQ(texts.at(paths[i + 1]), texts.at(paths[i])) << paths[i].toStdString();
    }
}

TEST_F(CompoundFiles, TheCheckFindsWhatACleanFileMustNotHold) {
    const auto restored = [](const QString &source, const std::string &stream) {
        Bytes original;
        withStream(fixture(source), stream, [&](Bytes &bytes) { original = bytes; });
        return [original](Bytes &bytes) { bytes = original; };
    };
    const std::uint32_t settings = settingsOffset(fixture("letter.doc"));
    const struct {
        QString source;
        std::string stream;
        std::function<void(Bytes &)> edit;
        std::string reason;
    } cases[] = {
        {"letter.doc", "\005SummaryInformation", restored("letter.doc", "\005SummaryInformation"),
         "still holds title, subject, author, keywords, comments, last saved by, revision "
         "number, edit time, printing date, creation date, saving date"},
        {"slides.ppt", "\005SummaryInformation", restored("slides.ppt", "\005SummaryInformation"),
         "still holds title, subject, author, keywords, comments, last saved by, revision "
         "number, edit time, printing date, creation date, saving date, thumbnail"},
        {"figures.xls", "\005DocumentSummaryInformation",
         restored("figures.xls", "\005DocumentSummaryInformation"),
         "still holds custom properties"},
        {"names.doc", "WordDocument",
         [](Bytes &fib) { Formats::putLittleEndian32(fib, Pairs + 8 * 71 + 4, 2); },
         "still holds a saved-by list"},
        {"names.doc", "1Table",
         [=](Bytes &table) {  // one string fewer, so that the last one fits with a character
             table[settings + 0x100 + 2] = 17;
             table[settings + 0x100 + 6 + 2 * 16] = 1;
         },
         "still holds template or author names"},
        {"letter.doc", "1Table", [=](Bytes &table) { table[settings + 0x20] = 3; },
         "still holds document dates"},
        {"figures.xls", "Workbook",
         [](Bytes &book) { book.replace(book.find("\x5C\0", 0, 2) + 7, 3, "Uma"); },
         "still holds user name"},
        {"slides.ppt", "Current User", [](Bytes &user) { user.replace(28, 3, "Uma"); },
         "still holds user name"},
        {"letter.doc", "",
         [](Bytes &file) {
             const std::size_t root = (Formats::littleEndian32(file, 0x30) + 1) * 512;
             file[root + 0x6C] = 1;
         },
         "still holds storage dates"},
    };
    for (const auto &test : cases) {
        SCOPED_TRACE(test.stream + ": " + test.reason);
        const Bytes changed =
            withStream(CompoundFile::clean(fixture(test.source)), test.stream, test.edit);
        EXPECT_EQ(CompoundFile::remainingMetadata(changed), test.reason);
    }
}

TEST_F(CompoundFiles, DamagedFilesAreRefusedWithAReason) {
    const Bytes letter = fixture("letter.doc");
    const std::size_t directory = Formats::littleEndian32(letter, 0x30);
    const std::size_t fat = (Formats::littleEndian32(letter, 0x4C) + 1) * 512;
    const struct {
        std::string name;
        Bytes file;
        std::string reason;
    } cases[] = {
        {"truncated", letter.substr(0, letter.size() / 2),
         "damaged compound file: a sector lies past the end"},
        {"looping sector table",
         withStream(letter, "",
                    [&](Bytes &file) {
                        Formats::putLittleEndian32(file, fat + 4 * directory,
                                                   static_cast<std::uint32_t>(directory));
                    }),
         "damaged compound file: the directory runs in a loop"},
        {"looping directory",
         withStream(letter, "",
                    [&](Bytes &file) {
                        Formats::putLittleEndian32(file, (directory + 1) * 512 + 0x4C, 0);
                    }),
         "damaged compound file: the directory runs in a loop"},
        {"not a compound file", fixture("figures.xls").substr(8), "not a compound file"},
        {"encrypted document",
         withStream(letter, "WordDocument", [](Bytes &fib) { fib[0x0B] |= 0x01; }),
         "password-protected Word document"},
        {"encrypted workbook",
         withStream(fixture("figures.xls"), "Workbook",
                    [](Bytes &book) { book.replace(book.find("\x5C\0", 0, 2), 2, "\x2F\0", 2); }),
         "password-protected Excel workbook"},
        {"broken properties",
         withStream(letter, "\005SummaryInformation", [](Bytes &set) { set[24] = 100; }),
         "damaged document properties"},
    };
    for (const auto &test : cases) {
        SCOPED_TRACE(test.name);
        try {
            CompoundFile::clean(test.file);
            ADD_FAILURE() << "cleaned";
        } catch (const Formats::Refused &refused) {
            EXPECT_EQ(refused.what(), test.reason);
        }
        EXPECT_EQ(CompoundFile::remainingMetadata(test.file), "damaged compound file");
    }
}
