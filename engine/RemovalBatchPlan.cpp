#include "engine/RemovalBatchPlan.h"

#include "fsutil/Main.h"
#include "platform/FileSystem.h"

#include <QFileInfo>
#include <QSet>

#include <functional>

#include <map>
#include <optional>
#include <set>

namespace RemovalBatchPlan {

namespace {

// Names the file system allows are at most this long; longer extensions are cut.
constexpr int WorkingExtensionLength = 32;

// The replace question names this many files and counts the rest.
constexpr int NamedReplacements = 10;

using Identity = std::optional<FileSystem::FileIdentity>;

// The rows whose source lies in the output folder under its own name: they keep that name, so
// that no other row's output replaces them. The first row of such a source wins.
std::map<QString, int> ownNames(const std::vector<File> &files, const std::vector<Identity> &ids,
                                const std::function<QString(const QString &)> &key) {
    std::map<QString, int> owners;
    for (int row = 0; row < static_cast<int>(files.size()); ++row) {
        if (ids[row] && *ids[row] == FileSystem::fileIdentity(files[row].output)) {
            owners.emplace(key(files[row].name), row);
        }
    }
    return owners;
}

}  // namespace

QString ExtensionOf(const QString &path) {
    const QString name = Main::FileNameOf(path);
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot + 1);
}

QString WorkingName(const QString &extension) {
    return extension.isEmpty() ? QStringLiteral("temp")
                               : QStringLiteral("temp.") + extension.left(WorkingExtensionLength);
}

QString NumberedName(const QString &name, int number) {
    if (number == 1) {
        return name;
    }
    const QString suffix = QStringLiteral(" (%1)").arg(number);
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    return dot <= 0 ? name + suffix : name.left(dot) + suffix + name.mid(dot);
}

std::vector<File> Plan(const QStringList &rows, const QString &outputFolderText, bool foldsCase) {
    const auto key = [foldsCase](const QString &name) {
        return foldsCase ? name.toCaseFolded() : name;
    };
    const QString outputFolder = FileSystem::withoutTrailingSeparators(outputFolderText);
    std::vector<File> files;
    std::vector<Identity> ids;
    std::set<FileSystem::FileIdentity> sources;
    for (const QString &row : rows) {
        const QString name = Main::FileNameOf(row);
        files.push_back({row, name, ExtensionOf(row), Main::JoinPath(outputFolder, name), 1,
                         QFileInfo(row).size()});
        ids.push_back(FileSystem::fileIdentity(row));
        if (ids.back()) {
            sources.insert(*ids.back());
        }
    }
    const std::map<QString, int> owners = ownNames(files, ids, key);
    QSet<QString> taken;
    for (const auto &owner : owners) {
        taken.insert(owner.first);
    }
    for (int row = 0; row < static_cast<int>(files.size()); ++row) {
        File &file = files[row];
        const auto owner = owners.find(key(file.name));
        if (owner != owners.end() && owner->second == row) {
            continue;
        }
        // Each number tried is taken by a row or a listed file: the loop ends within rows tries.
        while (true) {
            const QString candidate = NumberedName(file.name, file.number);
            const QString path = Main::JoinPath(outputFolder, candidate);
            const Identity there = FileSystem::fileIdentity(path);
            // A name may replace an unlisted file (after asking), so that a batch run again gives
            // the same names, as an earlier run's numbered outputs are replaced too; it never
            // replaces a listed file.
            const bool free = !(there && sources.count(*there) != 0);
            if (!taken.contains(key(candidate)) && free) {
                taken.insert(key(candidate));
                file.output = path;
                break;
            }
            ++file.number;
        }
    }
    return files;
}

Replacements WouldReplace(const std::vector<File> &files) {
    Replacements replacements;
    for (int row = 0; row < static_cast<int>(files.size()); ++row) {
        if (const Identity there = FileSystem::fileIdentity(files[row].output)) {
            const bool original = *there == FileSystem::fileIdentity(files[row].source);
            (original ? replacements.originals : replacements.others).push_back(row);
        }
    }
    return replacements;
}

QString ReplaceQuestion(const Replacements &replacements, const std::vector<File> &files,
                        const QString &outputFolder) {
    const int count = replacements.files();
    const int originals = static_cast<int>(replacements.originals.size());
    QString question;
    if (count == 1) {
        const QString original =
            originals == 0
                ? QString()
                : QStringLiteral(
                      " (it is the original you listed; its metadata will be gone for good)");
        question =
            QStringLiteral("1 file in %1 will be replaced by its cleaned copy%2. Replace it?")
                .arg(outputFolder, original);
    } else {
        const QString ofThem = originals == 0 ? QString()
                                              : QStringLiteral(
                                                    " (%1 of them are the originals you listed; "
                                                    "their metadata will be gone for good)")
                                                    .arg(originals);
        question = QStringLiteral(
                       "%1 files in %2 will be replaced by their cleaned copies%3. Replace them?")
                       .arg(QString::number(count), outputFolder, ofThem);
    }
    QStringList names;
    for (const int row : replacements.originals) {
        names << Main::FileNameOf(files[row].output) + QStringLiteral(" (original)");
    }
    for (const int row : replacements.others) {
        names << Main::FileNameOf(files[row].output);
    }
    question +=
        QStringLiteral("\r\n\r\n") + names.mid(0, NamedReplacements).join(QStringLiteral("\r\n"));
    if (count > NamedReplacements) {
        question += QStringLiteral("\r\n\u2026 and %1 more").arg(count - NamedReplacements);
    }
    return question;
}

void AllowReplacing(std::vector<File> &files, const Replacements &replacements) {
    for (const std::vector<int> &rows : {replacements.originals, replacements.others}) {
        for (const int row : rows) {
            files[row].mayReplace = true;
        }
    }
}

}  // namespace RemovalBatchPlan
