#pragma once

#include <QString>
#include <QStringList>

#include <vector>

// What a batch will do with each listed file, settled before the first file so that every file
// can be cleaned on its own, in any order, with the outcome of a one-at-a-time run.
namespace RemovalBatchPlan {

struct File {
    QString source;
    QString name;       // the source's file name
    QString extension;  // what follows the last dot of the name; empty when it has none
    QString output;     // where the clean copy goes
    int number = 1;     // above 1 when another listed file took the name first
    qint64 size = 0;    // of the source, 0 when it cannot be read
    // The user let its output replace the file there when the batch began; otherwise a file
    // that appears there meanwhile stays, and the output takes the next free number.
    bool mayReplace = false;
};

// What follows the last dot of the file name: a name without a dot has no extension.
QString ExtensionOf(const QString &path);

// The working copy's name: fixed per extension, cut so that it fits the file system's limit.
QString WorkingName(const QString &extension);

// "IMG_0001 (2).jpg" for number 2; the name itself for number 1.
QString NumberedName(const QString &name, int number);

// Names every row's output in the folder. The first row of a name keeps it, the others take the
// next number that no earlier row took and that names no listed file; a name is never given to a
// row when it names another row's source, which keeps its own name. Where the folder folds case,
// names that differ only in letter case count as the same name.
std::vector<File> Plan(const QStringList &rows, const QString &outputFolder, bool foldsCase);

// The rows whose outputs would replace files already in the output folder.
struct Replacements {
    std::vector<int> originals;  // the listed files themselves
    std::vector<int> others;
    int files() const { return static_cast<int>(originals.size() + others.size()); }
};
Replacements WouldReplace(const std::vector<File> &files);

// The question asked before such a batch starts; it names the files, the originals first.
QString ReplaceQuestion(const Replacements &replacements, const std::vector<File> &files,
                        const QString &outputFolder);

// What the user allowed: those rows' outputs may replace what is there.
void AllowReplacing(std::vector<File> &files, const Replacements &replacements);

}  // namespace RemovalBatchPlan
