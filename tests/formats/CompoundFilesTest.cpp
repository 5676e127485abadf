#include "formats/core/ByteOrder.h"
#include "formats/office/CompoundFile.h"
#include "formats/office/CompoundFileReader.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>

namespace {

using Formats::Bytes;

// Values make_compound_files.py and wordNames() plant, in the files themselves and in the files
// they carry: none may remain in a cleaned file, in single-byte or wide characters.
const std::vector<std::string> Planted = {
    "Ann Author",     "Ed Editor",      "Secret Title",    "Secret Subject",  "secretkeywords",
    "Secret Comment", "Carl Company",   "Mia Manager",     "Secret Category", "Secret Client",
    "Sam Saver",      "Secret\\letter", "Secret Template", "Secret Name",     "Cora Commenter",
    "Rita Reviewer",  "Dora Creator",   "Luke Modifier",   "Paula Packaged",  "Olga Object",
    "Hidden\\report", "Hidden\\Temp",   "Fern Sharer",     "Linked\\budget",  "Gus Camera",
    "Gus Comment",    "Xena Creator",   "Pia Painter",     "Cal Currentuser", "QZXQ",
    "Hal\\Secret",    "Nell\\Desktop",  "Logos\\Firm",     "Old Slacker",     "Old Editor",
    "Hal/Secret"};

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

// The file with the first stream of that name or path changed, in place when it keeps its size; the
// whole file without a name.
Bytes withStream(Bytes file, const std::string &name, const std::function<void(Bytes &)> &edit) {
    if (name.empty()) {
        edit(file);
        return file;
    }
    CompoundFile::Reader reader(file);
    for (const CompoundFile::Stream &stream : reader.streams()) {
        if (stream.name == name || stream.path == name) {
            Bytes bytes = reader.read(stream);
            edit(bytes);
            reader.overwrite(stream, bytes);
            reader.finish();
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

// Where a table pointer of the document points in its table stream; 31 is its own settings.
std::uint32_t pointedAt(const Bytes &document, std::size_t pair = 31) {
    std::uint32_t offset = 0;
    withStream(document, "WordDocument",
               [&](Bytes &fib) { offset = Formats::littleEndian32(fib, Pairs + 8 * pair); });
    return offset;
}

// The file with a stream's directory entry renamed.
Bytes renamed(Bytes file, const std::string &from, const std::string &to) {
    const std::size_t at = file.find(wide(from) + Bytes(2, '\0'));
    file.replace(at, 2 * from.size(), wide(to) + Bytes(2 * (from.size() - to.size()), '\0'));
    file[at + 0x40] = static_cast<char>(2 * to.size() + 2);
    return file;
}

// LibreOffice writes neither a saved-by list nor associated names: these go into the tail of the
// document's own settings, which Word and LibreOffice read with defaults when it is zeroed.
Bytes wordNames(const Bytes &document) {
    const Bytes names = stringTable({"", "Secret Template", "Secret Name", "", "", "", "", "", "",
                                     "", "", "", "", "", "", "", "", ""});
    const Bytes savedBy = stringTable({"Sam Saver", "C:\\Secret\\letter.doc"});
    const std::uint32_t settings = pointedAt(document);
    Bytes planted = withStream(document, "WordDocument", [&](Bytes &fib) {
        setPointer(fib, 32, settings + 0x100, static_cast<std::uint32_t>(names.size()));
        setPointer(fib, 71, settings + 0x180, static_cast<std::uint32_t>(savedBy.size()));
        setPointer(fib, 87, 0x8FC9FA00, 0x01D79777);  // saved 2021-08-22 17:03
    });
    return withStream(planted, "1Table", [&](Bytes &table) {
        table.replace(settings + 0x100, names.size(), names);
        table.replace(settings + 0x180, savedBy.size(), savedBy);
    });
}

constexpr std::uint32_t End = 0xFFFFFFFE;

// A compound file laid out anew: the same streams (of the root storage) with sectors of the given
// size, the small ones in a mini stream, and a filler stream of zeros that can make the sector
// table long enough to need list sectors beyond the header's. With a storage name, the streams
// lie in that storage, as an embedded document's do.
Bytes repacked(Bytes file, std::size_t sectorSize, std::size_t filler,
               const std::string &storage = "") {
    CompoundFile::Reader reader(file);
    std::vector<std::pair<std::string, Bytes>> streams{{"Filler", Bytes(filler, '\0')}};
    for (const CompoundFile::Stream &stream : reader.streams()) {
        const auto taken = [&](const auto &other) { return other.first == stream.name; };
        if (std::none_of(streams.begin(), streams.end(), taken)) {  // one of each name
            streams.emplace_back(stream.name, reader.read(stream));
        }
    }
    std::sort(streams.begin(), streams.end(), [](const auto &a, const auto &b) {
        return std::make_pair(a.first.size(), a.first) < std::make_pair(b.first.size(), b.first);
    });
    const std::size_t perSector = sectorSize / 4;
    std::vector<std::uint32_t> fat, miniFat;
    const std::size_t first = storage.empty() ? 1 : 2;  // the first stream's entry
    Bytes body, mini, directory(128 * (streams.size() + first), '\0');
    const auto chainOf = [](std::vector<std::uint32_t> &table, std::size_t units) {
        const auto start = static_cast<std::uint32_t>(units ? table.size() : End);
        for (std::size_t i = 1; i <= units; ++i) {
            table.push_back(i < units ? static_cast<std::uint32_t>(table.size() + 1) : End);
        }
        return start;
    };
    const auto place = [&](Bytes &into, std::vector<std::uint32_t> &table, const Bytes &bytes,
                           std::size_t unit) {
        const std::size_t units = (bytes.size() + unit - 1) / unit;
        into += bytes + Bytes(units * unit - bytes.size(), '\0');
        return chainOf(table, units);
    };
    const auto entry = [&](std::size_t index, const std::string &name, char type,
                           std::uint32_t start, std::size_t size) {
        const std::size_t at = 128 * index;
        directory.replace(at, 2 * name.size(), wide(name));
        directory[at + 0x40] = static_cast<char>(2 * name.size() + 2);
        directory[at + 0x42] = type;
        directory[at + 0x43] = 1;
        for (const std::size_t link : {0x44, 0x48, 0x4C}) {
            Formats::putLittleEndian32(directory, at + link, 0xFFFFFFFF);
        }
        Formats::putLittleEndian32(directory, at + 0x74, start);
        Formats::putLittleEndian32(directory, at + 0x78, static_cast<std::uint32_t>(size));
    };
    for (std::size_t i = 0; i < streams.size(); ++i) {
        const Bytes &bytes = streams[i].second;
        entry(i + first, streams[i].first, 2,
              bytes.size() < 4096 ? place(mini, miniFat, bytes, 64)
                                  : place(body, fat, bytes, sectorSize),
              bytes.size());
        Formats::putLittleEndian32(
            directory, 128 * (i + first) + 0x48,  // the next is greater
            i + 1 < streams.size() ? static_cast<std::uint32_t>(i + first + 1) : 0xFFFFFFFF);
    }
    entry(0, "Root Entry", 5, place(body, fat, mini, sectorSize), mini.size());
    Formats::putLittleEndian32(directory, 0x4C, 1);
    if (!storage.empty()) {
        entry(1, storage, 1, 0, 0);
        Formats::putLittleEndian32(directory, 128 + 0x4C, 2);
    }
    Bytes miniTable;
    for (const std::uint32_t next : miniFat) {
        miniTable += Bytes(4, '\0');
        Formats::putLittleEndian32(miniTable, miniTable.size() - 4, next);
    }
    const std::uint32_t miniFatStart = place(body, fat, miniTable, sectorSize);
    const std::uint32_t directoryStart = place(body, fat, directory, sectorSize);
    std::size_t fatCount = 0, listCount = 0;
    while (fatCount * perSector < fat.size() + fatCount + listCount) {
        ++fatCount;
        listCount = fatCount > 109 ? (fatCount - 109 + perSector - 2) / (perSector - 1) : 0;
    }
    const auto firstFat = static_cast<std::uint32_t>(fat.size());
    fat.insert(fat.end(), fatCount, 0xFFFFFFFD);
    fat.insert(fat.end(), listCount, 0xFFFFFFFC);
    fat.resize(fatCount * perSector, 0xFFFFFFFF);
    Bytes header(sectorSize, '\0'), lists(listCount * sectorSize, '\xFF');
    header.replace(0, 8, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1");
    for (const auto &[at, value] : std::vector<std::pair<std::size_t, std::uint32_t>>{
             {0x18, 0x3E},
             {0x1A, sectorSize == 512 ? 3 : 4},
             {0x1C, 0xFFFE},
             {0x1E, sectorSize == 512 ? 9 : 12},
             {0x20, 6},
             {0x28, sectorSize == 512 ? 0 : (directory.size() + sectorSize - 1) / sectorSize},
             {0x2C, fatCount},
             {0x30, directoryStart},
             {0x38, 4096},
             {0x3C, miniFatStart},
             {0x40, (miniTable.size() + sectorSize - 1) / sectorSize},
             {0x44, listCount ? firstFat + fatCount : End},
             {0x48, listCount}}) {
        Formats::putLittleEndian32(header, at, value);  // in order, so each spills only zeros
    }
    for (std::size_t i = 0; i < fatCount; ++i) {
        const auto sector = static_cast<std::uint32_t>(firstFat + i);
        const std::size_t slot =
            i < 109 ? 0x4C + 4 * i
                    : (i - 109) / (perSector - 1) * sectorSize + (i - 109) % (perSector - 1) * 4;
        Formats::putLittleEndian32(i < 109 ? header : lists, slot, sector);
    }
    for (std::size_t i = 0; i < listCount; ++i) {
        Formats::putLittleEndian32(
            lists, (i + 1) * sectorSize - 4,
            i + 1 < listCount ? static_cast<std::uint32_t>(firstFat + fatCount + i + 1) : End);
    }
    for (std::size_t i = fatCount; i < 109; ++i) {
        Formats::putLittleEndian32(header, 0x4C + 4 * i, 0xFFFFFFFF);
    }
    Bytes table;
    for (const std::uint32_t next : fat) {
        table += Bytes(4, '\0');
        Formats::putLittleEndian32(table, table.size() - 4, next);
    }
    return header + body + table + lists;
}

Bytes counted(const Bytes &text, std::size_t count) {
    Bytes bytes(4, '\0');
    Formats::putLittleEndian32(bytes, 0, static_cast<std::uint32_t>(count));
    return bytes + text;
}

// A packaged file as Windows' packager writes it, its paths in both kinds of characters, and
// bytes after its last field that some writers leave.
Bytes package(std::size_t trailing = 0) {
    const std::string path = "C:\\Secret\\letter.txt", name = "letter.txt";
    const Bytes header = Bytes("\2\0", 2) + name + '\0' + path + '\0' + Bytes("\0\0\3\0", 4) +
                         counted(path + '\0', path.size() + 1) + counted("data", 4) +
                         counted(wide(path), path.size()) + counted(wide(name), name.size()) +
                         counted(wide(path), path.size()) + Bytes(trailing, '\0');
    return counted(header, header.size());
}

class CompoundFiles : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        folder = new ScratchFolder;
        runTool(QStringLiteral("python3"),
                {QStringLiteral(PARCHWIPE_TESTS_DIR "/formats/make_compound_files.py"),
                 folder->path()});
        const Bytes letter = fixture(QStringLiteral("letter.doc"));
        writeFile(*folder / QStringLiteral("names.doc"),
                  QByteArray::fromStdString(wordNames(letter)));
        writeFile(*folder / QStringLiteral("package.xls"),
                  QByteArray::fromStdString(withStream(
                      renamed(fixture("figures.xls"), "\005SummaryInformation", "\001Ole10Native"),
                      "\001Ole10Native",
                      [](Bytes &bytes) { bytes.replace(0, package().size(), package()); })));
        writeFile(*folder / QStringLiteral("package-tail.xls"),
                  QByteArray::fromStdString(withStream(
                      fixture("package.xls"), "\001Ole10Native",
                      [](Bytes &bytes) { bytes.replace(0, package(2).size(), package(2)); })));
        // Slack after the workbook's last substream, and a show's last save cut short.
        writeFile(*folder / QStringLiteral("slack.xls"),
                  QByteArray::fromStdString(
                      withStream(fixture("figures.xls"), "Workbook", [](Bytes &book) {
                          book += "\x01\x02\xFF\xFFOld Slacker" + Bytes(2250, '\xEE');
                      })));
        writeFile(*folder / QStringLiteral("cut.ppt"),
                  QByteArray::fromStdString(withStream(
                      fixture("slides.ppt"), "PowerPoint Document",
                      [](Bytes &show) { show += Bytes("\0\0\xF5\x0F\x1C\0\0\0Old Editor", 18); })));
        writeFile(*folder / QStringLiteral("large-sectors.doc"),
                  QByteArray::fromStdString(repacked(letter, 4096, 0)));
        writeFile(*folder / QStringLiteral("embedded.bin"),
                  QByteArray::fromStdString(repacked(wordNames(letter), 512, 0, "_1234")));
        writeFile(*folder / QStringLiteral("table-lists.doc"),  // 110 table sectors
                  QByteArray::fromStdString(repacked(letter, 512, 110 * 128 * 512)));
        // Written anew when its PDF changes size: in large sectors, and with table lists.
        writeFile(*folder / QStringLiteral("large-object.doc"),
                  QByteArray::fromStdString(repacked(fixture("object.doc"), 4096, 0)));
        writeFile(*folder / QStringLiteral("object-lists.doc"),
                  QByteArray::fromStdString(repacked(fixture("object.doc"), 512, 110 * 128 * 512)));
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
    // LibreOffice reads no file of 4096-byte sectors and no document inside a storage. Files that
    // carry others are written anew when those change size.
    const struct {
        QString name;
        bool libreOffice;
        bool sameSize = true;
    } files[] = {{"letter.doc", true},
                 {"names.doc", true},
                 {"table-lists.doc", true},
                 {"figures.xls", true},
                 {"slides.ppt", true},
                 {"package.xls", true},
                 {"package-tail.xls", true},
                 {"slack.xls", true},
                 {"cut.ppt", true},
                 {"large-sectors.doc", false},
                 {"embedded.bin", false},
                 {"objects.xls", true, false},
                 {"object.doc", true, false},
                 {"large-object.doc", false, false},
                 {"object-lists.doc", true, false},
                 {"objects.ppt", true, false}};
    QStringList paths;
    for (const auto &[name, libreOffice, sameSize] : files) {
        SCOPED_TRACE(name.toStdString());
        const Bytes source = fixture(name);
        EXPECT_NE(CompoundFile::remainingMetadata(source), "");
        const Bytes cleaned = CompoundFile::clean(source);
        EXPECT_EQ(CompoundFile::remainingMetadata(cleaned), "");
        EXPECT_TRUE(!sameSize || cleaned.size() == source.size());
        for (const std::string &value : Planted) {
            EXPECT_EQ(cleaned.find(value), Bytes::npos) << value;
            EXPECT_EQ(cleaned.find(wide(value)), Bytes::npos) << value;
        }
        const QString path =
            writeFile(*folder / ("cleaned-" + name), QByteArray::fromStdString(cleaned));
        const QString report = QString::fromUtf8(runTool(QStringLiteral("exiftool"), {path}));
        EXPECT_TRUE(report.contains("Code Page")) << report.toStdString();
        for (const char *left :
             {"Ann Author", "Carl Company", "2021", ": Calc", ": Current User"}) {
            EXPECT_FALSE(report.contains(left)) << report.toStdString();
        }
        if (libreOffice) {
            paths << *folder / name << path;
        }
    }
    const std::map<QString, QString> texts = textsOf(paths, *folder);
    for (int i = 0; i < paths.size(); i += 2) {
        EXPECT_TRUE(texts.at(paths[i]).contains("The quick")) << texts.at(paths[i]).toStdString();
        EXPECT_EQ(texts.at(paths[i + 1]), texts.at(paths[i])) << paths[i].toStdString();
    }
    // A sector past the last in use, which the sector table gives as free, comes out zeroed.
    const Bytes freed = CompoundFile::clean(fixture("letter.doc") + Bytes(512, 'x'));
    EXPECT_EQ(freed.substr(freed.size() - 512), Bytes(512, '\0'));
}

TEST_F(CompoundFiles, TheCheckFindsWhatACleanFileMustNotHold) {
    const auto restored = [](const QString &source, const std::string &stream) {
        Bytes original;
        withStream(fixture(source), stream, [&](Bytes &bytes) { original = bytes; });
        return [original](Bytes &bytes) { bytes = original; };
    };
    const std::uint32_t settings = pointedAt(fixture("letter.doc"));
    const std::uint32_t owners = pointedAt(fixture("letter.doc"), 36);
    const std::uint32_t revisers = pointedAt(fixture("letter.doc"), 51);
    const std::uint32_t comments = pointedAt(fixture("letter.doc"), 4);
    const std::uint32_t commentDates = pointedAt(fixture("letter.doc"), 112);
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
        {"names.doc", "WordDocument", [](Bytes &fib) { fib[Pairs + 8 * 87 + 7] = 1; },
         "still holds document dates"},
        {"letter.doc", "1Table", [=](Bytes &table) { table[comments + 10] = 'Q'; },
         "still holds comment initials"},
        {"letter.doc", "1Table", [=](Bytes &table) { table[commentDates + 3] = 1; },
         "still holds comment dates"},
        {"letter.doc", "WordDocument", restored("letter.doc", "WordDocument"),
         "still holds tracked-change dates"},
        {"letter.doc", "\005SummaryInformation", [](Bytes &set) { set[set.size() - 1] = 1; },
         "still holds old data in document properties"},
        {"letter.doc", "", [](Bytes &file) { file[2 * 512 + 9] = 1; },  // sector 1 is free
         "still holds old data in unused space"},
        {"slack.xls", "Workbook", [](Bytes &book) { book[book.size() - 1] = 1; },
         "still holds old data after the workbook"},
        {"letter.doc", "1Table", [=](Bytes &table) { table[owners + 2] = 'C'; },
         "still holds comment or revision authors"},
        {"letter.doc", "1Table", [=](Bytes &table) { table[revisers + 8] = 'R'; },
         "still holds comment or revision authors"},
        {"letter.doc", "WordDocument", [=](Bytes &fib) { setPointer(fib, 27, settings, 4); },
         "still holds printer settings"},
        {"letter.doc", "WordDocument",  // a pointer of no length points nowhere
         [=](Bytes &fib) { setPointer(fib, 28, 0x14000000, 0); }, ""},
        {"figures.xls", "Workbook", restored("figures.xls", "Workbook"),
         "still holds user name, comment authors"},
        {"slides.ppt", "PowerPoint Document", restored("slides.ppt", "PowerPoint Document"),
         "still holds comment authors, comment dates"},
        {"figures.xls", "",
         [](Bytes &file) { file = renamed(file, "\005DocumentSummaryInformation", "User Names"); },
         "still holds shared-workbook user names"},
        {"package.xls", "\001Ole10Native", restored("package.xls", "\001Ole10Native"),
         "still holds a packaged file's path"},
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
        // A file it carries that is damaged names where it lies; else the check says no more.
        std::string checkReason = "damaged compound file";
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
        {"directory running into the mini stream's sectors",  // the check reads on and finds
         withStream(CompoundFile::clean(letter), "",
                    [&](Bytes &file) {  // from its second and last sector to the root's first
                        Formats::putLittleEndian32(
                            file, fat + 4 * (directory + 1),
                            Formats::littleEndian32(file, (directory + 1) * 512 + 0x74));
                    }),
         "damaged compound file: two streams share a sector",
         "still holds old data in unused space"},
        {"not a compound file", fixture("figures.xls").substr(8), "not a compound file"},
        {"encrypted document",
         withStream(letter, "WordDocument", [](Bytes &fib) { fib[0x0B] |= 0x01; }),
         "password-protected Word document"},
        {"encrypted workbook",
         withStream(fixture("figures.xls"), "Workbook",
                    [](Bytes &book) { book.replace(book.find("\x5C\0", 0, 2), 2, "\x2F\0", 2); }),
         "password-protected Excel workbook"},
        {"package past its stream",
         withStream(fixture("package.xls"), "\001Ole10Native", [](Bytes &bytes) { bytes[3] = 1; }),
         "damaged packaged file"},
        {"broken properties",
         withStream(letter, "\005SummaryInformation", [](Bytes &set) { set[24] = 100; }),
         "damaged document properties"},
        {"linked path past its stream",
         withStream(fixture("object.doc"), "ObjectPool/_1234/Ole",
                    [](Bytes &ole) { ole[ole.find("C:\\") - 4] = 100; }),
         "damaged linked object"},
        {"show cut short in its only edit",
         withStream(fixture("slides.ppt"), "PowerPoint Document",
                    [](Bytes &show) { show.resize(show.size() - 8); }),
         "damaged PowerPoint show"},
        {"packed object that claims too much",
         withStream(fixture("objects.ppt"), "PowerPoint Document",
                    [](Bytes &show) {
                        const std::size_t packed = show.find("\x10\0\x11\x10", 0, 4);
                        Formats::putLittleEndian32(show, packed + 8, 0x80000000);
                    }),
         "PowerPoint objects that unpack to too much in PowerPoint Document object"},
        {"damaged package in a workbook",
         withStream(fixture("objects.xls"), "Package",
                    [](Bytes &package) { package.resize(package.size() / 2); }),
         "damaged ZIP package in MBD00000A01/Package",
         "damaged ZIP package in MBD00000A01/Package"},
        {"packed object that does not unpack",
         withStream(fixture("objects.ppt"), "PowerPoint Document",
                    [](Bytes &show) {
                        const std::size_t packed = show.find("\x10\0\x11\x10", 0, 4);
                        show.replace(packed + 14, 4, "junk");
                    }),
         "damaged PowerPoint object in PowerPoint Document object: does not unpack",
         "damaged PowerPoint object in PowerPoint Document object: does not unpack"},
    };
    for (const auto &test : cases) {
        SCOPED_TRACE(test.name);
        try {
            CompoundFile::clean(test.file);
            ADD_FAILURE() << "cleaned";
        } catch (const Formats::Refused &refused) {
            EXPECT_EQ(refused.what(), test.reason);
        }
        EXPECT_EQ(CompoundFile::remainingMetadata(test.file), test.checkReason);
    }
}

// Each case restores one stream of a cleaned file: the check names what it holds, and only that.
TEST_F(CompoundFiles, TheCheckNamesEachFindingInItsCategory) {
    using Formats::Category;
    const struct {
        QString file;
        std::string stream;
        std::vector<std::pair<Category, std::string>> found;
    } cases[] = {
        {"slides.ppt",
         "\005SummaryInformation",
         {{Category::Descriptions, "title"},
          {Category::Descriptions, "subject"},
          {Category::People, "author"},
          {Category::Descriptions, "keywords"},
          {Category::Descriptions, "comments"},
          {Category::People, "last saved by"},
          {Category::History, "revision number"},
          {Category::Dates, "edit time"},
          {Category::Dates, "printing date"},
          {Category::Dates, "creation date"},
          {Category::Dates, "saving date"},
          {Category::Thumbnails, "thumbnail"}}},
        {"objects.xls",
         "Package",
         {{Category::Dates, "file times in MBD00000A01/Package"},
          {Category::People, "author in MBD00000A01/Package"},
          {Category::People, "last editor in MBD00000A01/Package"}}},
        {"objects.xls",
         "\001Ole10Native",
         {{Category::People, "author in MBD00000A02/Ole10Native"},
          {Category::Software, "producing application in MBD00000A02/Ole10Native"},
          {Category::Other, "a packaged file's path"}}},
        {"objects.xls", "Current User", {{Category::People, "user name"}}},
        {"objects.xls",
         "Workbook",
         {{Category::People, "user name"},
          {Category::People, "comment authors"},
          {Category::Other, "Exif, XMP or comments in pictures"}}},
        {"objects.ppt",
         "PowerPoint Document",
         {{Category::Other, "paths of linked, played or pictured files"},
          {Category::Other, "custom properties in PowerPoint Document object"},
          {Category::Other, "old data in unused space in PowerPoint Document object"},
          {Category::People, "user name in PowerPoint Document object"},
          {Category::People, "comment authors in PowerPoint Document object"},
          {Category::Other, "Exif, XMP or comments in pictures in PowerPoint Document object"},
          {Category::People, "comment authors"},
          {Category::Dates, "comment dates"}}},
        {"object.doc",
         "CONTENTS",
         {{Category::People, "author in ObjectPool/_1234/CONTENTS"},
          {Category::Software, "producing application in ObjectPool/_1234/CONTENTS"}}},
        {"objects.ppt",
         "Pictures",
         {{Category::Other, "Exif, XMP or comments in pictures"},
          {Category::Other, "text, Exif or times in PNG pictures"}}},
        {"object.doc", "ObjectPool/_1234/Ole", {{Category::Other, "a linked file's path"}}},
    };
    for (const auto &test : cases) {
        SCOPED_TRACE(test.stream);
        Bytes original;
        withStream(fixture(test.file), test.stream, [&](Bytes &bytes) { original = bytes; });
        const Bytes restored = withStream(CompoundFile::clean(fixture(test.file)), test.stream,
                                          [&](Bytes &bytes) { bytes = original; });
        std::vector<std::pair<Category, std::string>> found;
        const Formats::Findings findings = CompoundFile::findings(restored, 0);
        for (const Formats::Finding &finding : findings.shown()) {
            found.emplace_back(finding.category, finding.name);
        }
        EXPECT_EQ(found, test.found);
    }
}

// The show's objects change size when cleaned: the current edit, its persist directory and every
// object the directory lists must still be found where the offsets say.
TEST_F(CompoundFiles, OffsetsInAShowMoveWithItsObjects) {
    const Bytes source = fixture("objects.ppt");
    const Bytes cleaned = CompoundFile::clean(source);
    // Carried PDFs get a fresh identifier each time; a show's objects come out the same.
    EXPECT_EQ(CompoundFile::clean(cleaned), cleaned);
    Bytes show, user, before;
    withStream(cleaned, "PowerPoint Document", [&](Bytes &bytes) { show = bytes; });
    withStream(cleaned, "Current User", [&](Bytes &bytes) { user = bytes; });
    withStream(source, "PowerPoint Document", [&](Bytes &bytes) { before = bytes; });
    ASSERT_NE(show.size(), before.size());
    // Paths are cut to the file's name, web addresses kept.
    EXPECT_NE(show.find(wide("budget.xls") + Bytes(2, '\0')), Bytes::npos);
    EXPECT_NE(show.find(wide("http://example.com/keep/budget.xls")), Bytes::npos);
    std::set<std::uint32_t> records;
    for (std::size_t at = 0; at + 8 <= show.size();
         at += 8 + Formats::littleEndian32(show, at + 4)) {
        records.insert(static_cast<std::uint32_t>(at));
    }
    const auto typeAt = [&](std::uint32_t offset) {
        return records.count(offset) ? Formats::littleEndian16(show, offset + 2) : 0;
    };
    const std::uint32_t edit = Formats::littleEndian32(user, 16);
    ASSERT_EQ(typeAt(edit), 0x0FF5);
    const std::uint32_t directory = Formats::littleEndian32(show, edit + 20);
    ASSERT_EQ(typeAt(directory), 0x1772);
    const std::size_t end = directory + 8 + Formats::littleEndian32(show, directory + 4);
    for (std::size_t entry = directory + 8; entry < end;) {
        const std::size_t count = Formats::littleEndian32(show, entry) >> 20;
        for (std::size_t i = 1; i <= count; ++i) {
            EXPECT_NE(typeAt(Formats::littleEndian32(show, entry + 4 * i)), 0) << i;
        }
        entry += 4 + 4 * count;
    }
}

// A package's end record must stay last, so a carried file that shrinks may not be padded.
TEST_F(CompoundFiles, CarriedFilesEndWhereTheirOwnEnd) {
    const struct {
        QString file;
        std::string stream;
        Bytes end;
        std::size_t endSize;
    } cases[] = {
        {"objects.xls", "Package", Bytes("PK\x05\x06", 4), 22},
        {"object.doc", "CONTENTS", "%%EOF", 6},
    };
    for (const auto &test : cases) {
        SCOPED_TRACE(test.stream);
        Bytes before, after;
        withStream(fixture(test.file), test.stream, [&](Bytes &bytes) { before = bytes; });
        withStream(CompoundFile::clean(fixture(test.file)), test.stream,
                   [&](Bytes &bytes) { after = bytes; });
        EXPECT_NE(after.size(), before.size());
        EXPECT_EQ(after.size() - after.rfind(test.end), test.endSize);
    }
}
