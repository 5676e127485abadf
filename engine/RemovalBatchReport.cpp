#include "engine/RemovalBatchReport.h"

#include <QMap>

#include <algorithm>
#include <map>

namespace RemovalBatchReport {

namespace {

constexpr int ListedFailures = 20;
const QString LineBreak = QStringLiteral("\r\n");
const QString Paragraph = LineBreak + LineBreak;

using Kind = Outcome::Kind;

int countOf(const std::vector<Outcome> &outcomes, Kind kind) {
    return static_cast<int>(std::count_if(outcomes.begin(), outcomes.end(),
                                          [kind](const Outcome &o) { return o.kind == kind; }));
}

QString cleanedPart(const std::vector<Outcome> &outcomes, const QString &outputFolder,
                    const Ending &ending) {
    const int cleaned = countOf(outcomes, Kind::Cleaned);
    const int files = static_cast<int>(outcomes.size());
    if (!ending.fullDisk.isEmpty()) {
        const int failed =
            static_cast<int>(std::count_if(outcomes.begin(), outcomes.end(), Failed));
        return Paragraph +
               QStringLiteral(
                   "The disk holding %1 is full: %2 files were cleaned, %3 "
                   "were not; free space and press Start again.")
                   .arg(ending.fullDisk, QString::number(cleaned), QString::number(failed));
    }
    QString part =
        Paragraph + QStringLiteral("%1 of %2 files were cleaned into %3")
                        .arg(QString::number(cleaned), QString::number(files), outputFolder);
    if (ending.stopped) {
        part += QStringLiteral(" before the stop; %1 were not started")
                    .arg(countOf(outcomes, Kind::NotStarted));
    }
    return part;
}

QString failuresPart(const std::vector<RemovalBatchPlan::File> &files,
                     const std::vector<Outcome> &outcomes) {
    QStringList lines;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (outcomes[i].kind == Kind::NotCleaned) {
            lines << files[i].name + QStringLiteral(": ") + outcomes[i].failure.reason;
        }
    }
    if (lines.isEmpty()) {
        return {};
    }
    QString part =
        Paragraph +
        QStringLiteral("%1 of %2 files were not cleaned:").arg(lines.size()).arg(files.size());
    for (const QString &line : lines.mid(0, ListedFailures)) {
        part += LineBreak + line;
    }
    if (lines.size() > ListedFailures) {
        part += LineBreak + QStringLiteral("\u2026 and %1 more").arg(lines.size() - ListedFailures);
    }
    return part;
}

// The files copied as they are, one line per extension with its count, under `heading`.
QString copiedPart(const std::vector<RemovalBatchPlan::File> &files,
                   const std::vector<Outcome> &outcomes, Kind copied, const QString &heading) {
    QMap<QString, int> byExtension;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (outcomes[i].kind == copied) {
            ++byExtension[files[i].extension.toLower()];
        }
    }
    if (byExtension.isEmpty()) {
        return {};
    }
    QString lines;
    for (auto kind = byExtension.cbegin(); kind != byExtension.cend(); ++kind) {
        const QString extension =
            kind.key().isEmpty() ? QStringLiteral("(no extension)") : QLatin1Char('.') + kind.key();
        lines += LineBreak + QStringLiteral("%1: %2").arg(extension).arg(kind.value());
    }
    return Paragraph + heading.arg(countOf(outcomes, copied)) + lines;
}

QString renamedPart(const std::vector<RemovalBatchPlan::File> &files,
                    const std::vector<Outcome> &outcomes) {
    int renamed = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        renamed += files[i].number > 1 && !Failed(outcomes[i]) ? 1 : 0;
    }
    if (renamed == 0) {
        return {};
    }
    return Paragraph + QStringLiteral(
                           "Written under numbered names, because other listed files "
                           "have the same names: %1 (Show Details names them).")
                           .arg(renamed);
}

QString fileDetails(const RemovalBatchPlan::File &file, const Outcome &outcome) {
    const QString indent = LineBreak + QStringLiteral("    ");
    QString text = file.source + indent;
    if (Failed(outcome)) {
        return text + QStringLiteral("not cleaned: ") + outcome.failure.reason;
    }
    text += (outcome.kind == Kind::Cleaned ? QStringLiteral("cleaned into ")
                                           : QStringLiteral("copied as it is into "));
    if (!outcome.sidestep.isEmpty()) {
        text += outcome.sidestep + QStringLiteral(
                                       " (a file took the name %1 in the output folder during the "
                                       "batch; it stays as it was)")
                                       .arg(file.output);
    } else {
        text += file.output;
    }
    if (file.number > 1) {
        text += QStringLiteral(" (another listed file has its name)");
    }
    if (outcome.kind == Kind::CopiedAsItIs) {
        return text + indent + QStringLiteral("it still carries its metadata");
    }
    if (outcome.kind == Kind::CopiedUnknown) {
        return text + indent +
               QStringLiteral("its kind is unknown to Parchwipe: whatever metadata it holds stays");
    }
    text += indent + (outcome.findings.empty()
                          ? QStringLiteral("it held no metadata that Parchwipe knows of")
                          : QStringLiteral("it held: ") + GroupedFindings(outcome.findings));
    for (const QString &note : outcome.notes) {
        text += indent + QStringLiteral("it ") + note;
    }
    return text;
}

}  // namespace

Outcome NotStarted() {
    return {Kind::NotStarted,
            {Formats::Cause::Stopped, QStringLiteral("not started before the stop")},
            {},
            {}};
}

bool Failed(const Outcome &outcome) {
    return outcome.kind == Kind::NotCleaned || outcome.kind == Kind::NotStarted;
}

QString TimeLeft(qint64 ms) {
    const qint64 seconds = (ms + 999) / 1000;
    if (seconds < 60) {
        return QStringLiteral("about %1 s left").arg(std::max<qint64>(5, (seconds + 4) / 5 * 5));
    }
    const qint64 minutes = (seconds + 30) / 60;
    if (minutes < 60) {
        return QStringLiteral("about %1 min left").arg(minutes);
    }
    return QStringLiteral("about %1 h %2 min left").arg(minutes / 60).arg(minutes % 60);
}

QString GroupedFindings(const std::vector<Formats::Finding> &findings) {
    // In the order of the categories.
    std::map<Formats::Category, QStringList> grouped;
    for (const Formats::Finding &finding : findings) {
        grouped[finding.category] << QString::fromStdString(finding.name);
    }
    QStringList parts;
    for (const auto &[category, names] : grouped) {
        parts << QString::fromLatin1(Formats::categoryName(category)) + QStringLiteral(" (") +
                     names.join(QStringLiteral(", ")) + QLatin1Char(')');
    }
    return parts.join(QStringLiteral("; "));
}

QString ClosingMessage(const std::vector<RemovalBatchPlan::File> &files,
                       const std::vector<Outcome> &outcomes, const QString &outputFolder,
                       const Ending &ending) {
    return QStringLiteral("Done.") + cleanedPart(outcomes, outputFolder, ending) +
           failuresPart(files, outcomes) +
           copiedPart(files, outcomes, Kind::CopiedAsItIs,
                      QStringLiteral("%1 files were copied as they are (Parchwipe cannot remove "
                                     "metadata from them yet):")) +
           copiedPart(files, outcomes, Kind::CopiedUnknown,
                      QStringLiteral("%1 files of kinds Parchwipe does not know were copied as "
                                     "they are:")) +
           renamedPart(files, outcomes);
}

QString Details(const std::vector<RemovalBatchPlan::File> &files,
                const std::vector<Outcome> &outcomes) {
    QStringList blocks;
    for (std::size_t i = 0; i < files.size(); ++i) {
        blocks << fileDetails(files[i], outcomes[i]);
    }
    return blocks.join(Paragraph);
}

}  // namespace RemovalBatchReport
