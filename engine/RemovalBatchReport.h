#pragma once

#include "engine/Failure.h"
#include "engine/RemovalBatchPlan.h"
#include "formats/core/Findings.h"

#include <QString>
#include <QStringList>

#include <vector>

// What the closing message says: every listed file, in list order.
namespace RemovalBatchReport {

// How one file came through the batch.
struct Outcome {
    // Copied as it is: of a kind known to carry metadata that no pass removes yet, or of a kind
    // Parchwipe does not know. Not started: the batch stopped before its turn.
    enum class Kind { NotCleaned, Cleaned, CopiedAsItIs, CopiedUnknown, NotStarted };
    Kind kind = Kind::NotCleaned;
    Failure failure;                         // why it was not cleaned; unused when it was
    std::vector<Formats::Finding> findings;  // what the source held, as its kind's check names it
    QStringList notes;                       // what its cleaning kept as it is inside it
    // Where it went when a file took its planned name during the batch; empty otherwise.
    QString sidestep = {};
    // The folder whose disk was full, when that ended its cleaning (its cause is DiskFull).
    QString fullDisk = {};
};

// The outcome of a file the batch stopped before its turn.
Outcome NotStarted();

// True when the file was not written.
bool Failed(const Outcome &outcome);

// How a batch ended early: by the Stop button, or by a full disk (whose folder it names).
struct Ending {
    bool stopped = false;
    QString fullDisk;
};

// "about 2 min left": a rough time, rounded to what a person waiting reads.
QString TimeLeft(qint64 ms);

// The findings grouped by what they tell: "place (GPS position); device (camera model);
// other (Exif)".
QString GroupedFindings(const std::vector<Formats::Finding> &findings);

// "Done.", how many files were cleaned and where (or how far a stopped batch came), the files
// that were not with their reasons (twenty at most; those never started are only counted), the
// kinds copied as they are, and the files written under numbered names.
QString ClosingMessage(const std::vector<RemovalBatchPlan::File> &files,
                       const std::vector<Outcome> &outcomes, const QString &outputFolder,
                       const Ending &ending = {});

// Every file: where it went and what it held, or why it was not cleaned.
QString Details(const std::vector<RemovalBatchPlan::File> &files,
                const std::vector<Outcome> &outcomes);

}  // namespace RemovalBatchReport
