#pragma once

#include "engine/RemovalBatchPlan.h"

#include <QString>
#include <QStringList>

#include <vector>

// What the closing message says: every listed file, in list order.
namespace RemovalBatchReport {

// How one file came through the batch.
struct Outcome {
    enum class Kind { NotCleaned, Cleaned, CopiedAsItIs };
    Kind kind = Kind::NotCleaned;
    QString reason;        // why it was not cleaned
    QStringList findings;  // what the source held, as its route's check names it
};

// The reason of a file the batch never finished.
QString StoppedReason();

// The findings grouped as a person thinks of them: "place (GPS position); device (camera model);
// other metadata (Exif)".
QString GroupedFindings(const QStringList &findings);

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
