#pragma once

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
    // Parchwipe does not know.
    enum class Kind { NotCleaned, Cleaned, CopiedAsItIs, CopiedUnknown };
    Kind kind = Kind::NotCleaned;
    QString reason;                          // why it was not cleaned
    std::vector<Formats::Finding> findings;  // what the source held, as its kind's check names it
    QStringList notes;                       // what its cleaning kept as it is inside it
};

// The reason of a file the batch never finished.
QString StoppedReason();

// The findings grouped by what they tell: "place (GPS position); device (camera model);
// other (Exif)".
QString GroupedFindings(const std::vector<Formats::Finding> &findings);

// "Done.", how many files were cleaned and where, the files that were not with
// their reasons (twenty at most), the kinds copied as they are, and the files written under
// numbered names.
QString ClosingMessage(const std::vector<RemovalBatchPlan::File> &files,
                       const std::vector<Outcome> &outcomes, const QString &outputFolder,
                       bool stopped);

// Every file: where it went and what it held, or why it was not cleaned.
QString Details(const std::vector<RemovalBatchPlan::File> &files,
                const std::vector<Outcome> &outcomes);

}  // namespace RemovalBatchReport
