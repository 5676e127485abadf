#include "engine/RemovalBatchReport.h"

#include <QMap>

#include <algorithm>

namespace RemovalBatchReport {

namespace {

constexpr int ListedFailures = 20;
const QString LineBreak = QStringLiteral("\r\n");
const QString Paragraph = LineBreak + LineBreak;
const QString OtherMetadata = QStringLiteral("other metadata");

using Kind = Outcome::Kind;

struct Group {
    QString name;
    QStringList keywords;  // a finding whose name holds one of them belongs to the group
};

// In the order the details name them; a finding joins the first group it matches.
const std::vector<Group> &groups() {
    static const std::vector<Group> table = {
        {QStringLiteral("place"), {"gps", "location", "position", "place"}},
        {QStringLiteral("device"), {"make", "model", "serial", "camera", "device", "lens"}},
        {QStringLiteral("people"),
         {"author", "creator", "editor", "company", "manager", "artist", "user", "person", "people",
          "owner"}},
        {QStringLiteral("dates"), {"date", "time"}},
        {QStringLiteral("software"),
         {"software", "application", "generator", "encoder", "producer", "tool"}},
        {QStringLiteral("descriptions and comments"),
         {"title", "subject", "description", "comment", "keyword", "caption", "text"}},
        {QStringLiteral("thumbnails"), {"thumbnail", "preview", "cover"}},
        {QStringLiteral("revision history"), {"revision", "version", "history", "rsid"}},
    };
    return table;
}

QString groupOf(const QString &finding) {
    const QString lower = finding.toLower();
    for (const Group &group : groups()) {
        for (const QString &keyword : group.keywords) {
            if (lower.contains(keyword)) {
                return group.name;
            }
        }
    }
    return OtherMetadata;
}

int countOf(const std::vector<Outcome> &outcomes, Kind kind) {
    return static_cast<int>(std::count_if(outcomes.begin(), outcomes.end(),
                                          [kind](const Outcome &o) { return o.kind == kind; }));
}

QString cleanedPart(int cleaned, int fileCount, const QString &outputFolder, bool stopped) {
    return Paragraph +
           QStringLiteral("%1 of %2 files were cleaned into %3")
               .arg(QString::number(cleaned), QString::number(fileCount),
                    outputFolder + (stopped ? QStringLiteral(" before the stop") : QString()));
}

QString failuresPart(const std::vector<RemovalBatchPlan::File> &files,
                     const std::vector<Outcome> &outcomes) {
    QStringList lines;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (outcomes[i].kind == Kind::NotCleaned) {
            lines << files[i].name + QStringLiteral(": ") + outcomes[i].reason;
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

QString copiedPart(const std::vector<RemovalBatchPlan::File> &files,
                   const std::vector<Outcome> &outcomes) {
    QMap<QString, int> byExtension;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (outcomes[i].kind == Kind::CopiedAsItIs) {
            ++byExtension[files[i].extension.toLower()];
        }
    }
    if (byExtension.isEmpty()) {
        return {};
    }
    QString lines;
    for (auto kind = byExtension.cbegin(); kind != byExtension.cend(); ++kind) {
        lines += LineBreak + QStringLiteral(".%1: %2").arg(kind.key()).arg(kind.value());
    }
    return Paragraph +
           QStringLiteral(
               "%1 files were copied as they are (Parchwipe cannot remove metadata "
               "from them yet):")
               .arg(countOf(outcomes, Kind::CopiedAsItIs)) +
           lines;
}

QString renamedPart(const std::vector<RemovalBatchPlan::File> &files,
                    const std::vector<Outcome> &outcomes) {
    int renamed = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        renamed += files[i].number > 1 && outcomes[i].kind != Kind::NotCleaned ? 1 : 0;
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
    if (outcome.kind == Kind::NotCleaned) {
        return text + QStringLiteral("not cleaned: ") + outcome.reason;
    }
    text += (outcome.kind == Kind::Cleaned ? QStringLiteral("cleaned into ")
                                           : QStringLiteral("copied as it is into ")) +
            file.output;
    if (file.number > 1) {
        text += QStringLiteral(" (another listed file has its name)");
    }
    if (outcome.kind == Kind::CopiedAsItIs) {
        return text + indent + QStringLiteral("it still carries its metadata");
    }
    return text + indent +
           (outcome.findings.isEmpty()
                ? QStringLiteral("it held no metadata that Parchwipe knows of")
                : QStringLiteral("it held: ") + GroupedFindings(outcome.findings));
}

}  // namespace

QString StoppedReason() {
    return QStringLiteral("stopped before it was cleaned");
}

QString GroupedFindings(const QStringList &findings) {
    QMap<QString, QStringList> grouped;
    for (const QString &finding : findings) {
        grouped[groupOf(finding)] << finding;
    }
    QStringList names;
    for (const Group &group : groups()) {
        names << group.name;
    }
    names << OtherMetadata;
    QStringList parts;
    for (const QString &name : names) {
        if (grouped.contains(name)) {
            parts << name + QStringLiteral(" (") + grouped[name].join(QStringLiteral(", ")) +
                         QLatin1Char(')');
        }
    }
    return parts.join(QStringLiteral("; "));
}

QString ClosingMessage(const std::vector<RemovalBatchPlan::File> &files,
                       const std::vector<Outcome> &outcomes, const QString &outputFolder,
                       bool stopped) {
    return QStringLiteral("Done.") +
           cleanedPart(countOf(outcomes, Kind::Cleaned), static_cast<int>(files.size()),
                       outputFolder, stopped) +
           failuresPart(files, outcomes) + copiedPart(files, outcomes) +
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
