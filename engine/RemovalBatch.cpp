#include "engine/RemovalBatch.h"

#include "engine/BatchWindow.h"
#include "engine/FailureReason.h"
#include "engine/Routes.h"
#include "fsutil/Main.h"
#include "platform/ChildProcess.h"
#include "platform/ErrorTrap.h"
#include "platform/EventPump.h"
#include "process/ProgressBar.h"

namespace {

constexpr int ListedFailures = 20;
constexpr int WorkingExtensionLength = 32;
const QString LineBreak = QStringLiteral("\r\n");

// The text after the last occurrence of separator; the whole text when there is none.
QString lastPiece(const QString &text, QChar separator) {
    return text.mid(text.lastIndexOf(separator) + 1);
}

// The files that were not written, each with its reason; empty when there are none.
QString failuresPart(const QStringList &failures, int fileCount) {
    if (failures.isEmpty()) {
        return {};
    }
    QString part =
        LineBreak + LineBreak +
        QStringLiteral("%1 of %2 files were not cleaned:").arg(failures.size()).arg(fileCount);
    for (const QString &line : failures.mid(0, ListedFailures)) {
        part += LineBreak + line;
    }
    if (failures.size() > ListedFailures) {
        part +=
            LineBreak + QStringLiteral("\u2026 and %1 more").arg(failures.size() - ListedFailures);
    }
    return part;
}

// How many files of each kind were copied as they are; empty when there were none.
QString copiedPart(const QMap<QString, int> &copiedAsTheyAre) {
    if (copiedAsTheyAre.isEmpty()) {
        return {};
    }
    int copied = 0;
    QString lines;
    for (auto kind = copiedAsTheyAre.cbegin(); kind != copiedAsTheyAre.cend(); ++kind) {
        copied += kind.value();
        lines += LineBreak + QStringLiteral(".%1: %2").arg(kind.key()).arg(kind.value());
    }
    return LineBreak + LineBreak +
           QStringLiteral(
               "%1 files were copied as they are (Parchwipe cannot remove "
               "metadata from them yet):")
               .arg(copied) +
           lines;
}

}  // namespace

RemovalBatch::RemovalBatch(BatchWindow &window, Desktop &desktop, QString programFolder)
    : window_(window), desktop_(desktop), programFolder_(std::move(programFolder)) {}

void RemovalBatch::Run() {
    ErrorTrap trap(desktop_, QStringLiteral("Form1.PushButton2_Click"));
    if (trap.test(100, [&] { return window_.FileRowCount() == 0; })) {
        trap.step(100, [&] { window_.ShowPlainMessage(QStringLiteral("No files added.")); });
        return;
    }
    if (trap.test(102, [&] { return !Main::FolderExists(window_.OutputFolderText()); })) {
        trap.step(102, [&] {
            window_.ShowPlainMessage(
                QStringLiteral("Folder does not exist. Please select another folder."));
        });
        return;
    }
    trap.step(104, [&] { window_.SetMousePointer(BatchWindow::BusyPointer); });
    trap.step(108, [&] { fileCount_ = window_.FileRowCount(); });
    ListSources(trap);
    if (StartWorking(trap)) {
        for (int position = 1; position <= fileCount_ && !abandoned_; ++position) {
            ProcessRow(trap, position);
        }
    }
    if (!abandoned_) {
        workingFolder_.remove();
        Finish(trap);
    }
}

void RemovalBatch::Abandon() {
    abandoned_ = true;
    ChildProcess::EndAll();
    workingFolder_.remove();
}

bool RemovalBatch::StartWorking(ErrorTrap &trap) {
    const QString temporaryFolder = Main::TemporaryFolder();
    if (workingFolder_.create(temporaryFolder)) {
        return true;
    }
    trap.step(138, [&] {
        window_.SetMousePointer(BatchWindow::DefaultPointer);
        window_.ShowPlainMessage(QStringLiteral("Done.") + LineBreak + LineBreak +
                                 QStringLiteral("No file was cleaned: a private working folder "
                                                "could not be made in \"%1\".")
                                     .arg(temporaryFolder));
    });
    abandoned_ = true;
    return false;
}

void RemovalBatch::ProcessRow(ErrorTrap &trap, int position) {
    QString path;
    trap.step(110, [&] { path = window_.RowText(position); });
    ShowProgress(trap, position, path);
    if (abandoned_) {
        return;
    }
    const QString name = Main::FileNameOf(path);
    const QString extension = lastPiece(path, QLatin1Char('.'));
    const QString output =
        window_.OutputFolderText() + QLatin1Char('/') + lastPiece(path, QLatin1Char('/'));
    // A long extension is cut, so that every working name fits the file system's limit.
    const QString copy =
        workingFolder_.path() + QStringLiteral("/temp.") + extension.left(WorkingExtensionLength);
    QString reason = SameNameConflict(path, output);
    if (reason.isEmpty()) {
        reason = WriteClean(trap, path, extension, copy, output);
    }
    // The working folder holds one file at a time.
    Main::DeleteFileQuietly(copy);
    if (abandoned_) {
        return;
    }
    if (!reason.isEmpty()) {
        failures_ << name + QStringLiteral(": ") + reason;
    } else if (Routes::leavesMetadata(extension)) {
        ++copiedAsTheyAre_[extension.toLower()];
    }
}

QString RemovalBatch::WriteClean(ErrorTrap &trap, const QString &path, const QString &extension,
                                 const QString &copy, const QString &output) {
    const int copied = Main::CopyFileQuietly(path, copy, FileSystem::CopyMode::InPlace, keepGoing_);
    if (copied != 0) {
        return FailureReason::ForError(copied,
                                       QStringLiteral("could not be copied to the working folder"));
    }
    EventPump::processEvents();
    const QString reason = abandoned_ ? QString() : Clean(trap, extension, copy);
    if (!reason.isEmpty() || abandoned_) {
        return reason;
    }
    const int written =
        Main::CopyFileQuietly(copy, output, FileSystem::CopyMode::Atomic, keepGoing_);
    if (written != 0) {
        return FailureReason::ForError(written,
                                       QStringLiteral("could not be written to the output folder"));
    }
    if (const auto identity = FileSystem::fileIdentity(output)) {
        writtenOutputs_.insert(*identity);
    }
    return {};
}

QString RemovalBatch::SameNameConflict(const QString &path, const QString &output) const {
    const auto target = FileSystem::fileIdentity(output);
    if (!target) {
        return {};
    }
    if (writtenOutputs_.count(*target) != 0) {
        return QStringLiteral(
            "another listed file of the same name was already written to the output folder");
    }
    if (*target != FileSystem::fileIdentity(path) && listedSources_.count(*target) != 0) {
        return QStringLiteral(
            "another listed file of the same name is in the output folder and stays as it is");
    }
    return {};
}

void RemovalBatch::ListSources(ErrorTrap &trap) {
    trap.step(108, [&] {
        for (int position = 1; position <= fileCount_; ++position) {
            if (const auto identity = FileSystem::fileIdentity(window_.RowText(position))) {
                listedSources_.insert(*identity);
            }
        }
    });
}

void RemovalBatch::ShowProgress(ErrorTrap &trap, int position, const QString &path) {
    trap.step(112, [&] {
        window_.Progress().setValue(position / static_cast<double>(window_.FileRowCount()) * 100);
    });
    trap.step(114, [&] {
        window_.Progress().setText(QStringLiteral("Processing: ") + Main::FileNameOf(path));
    });
    EventPump::processEvents();
    if (!abandoned_) {
        trap.step(118, [&] { window_.SetMousePointer(BatchWindow::BusyPointer); });
    }
}

QString RemovalBatch::Clean(ErrorTrap &trap, const QString &extension, const QString &copy) {
    QString reason;
    const Route &route = Routes::forExtension(extension);
    const QString workingFolder = workingFolder_.path();
    RouteContext context{desktop_, window_, programFolder_, workingFolder, keepGoing_};
    if (!trap.step(128, [&] { reason = Routes::remove(route, context, copy); })) {
        reason = FailureReason::ForError(trap.errorNumber(),
                                         QStringLiteral("its metadata could not be removed"));
    }
    if (reason.isEmpty() && !abandoned_) {
        reason = QStringLiteral("its result could not be checked");
        trap.step(130, [&] { reason = Routes::check(route, copy); });
    }
    return reason;
}

void RemovalBatch::Finish(ErrorTrap &trap) {
    trap.step(138, [&] {
        window_.SetMousePointer(BatchWindow::DefaultPointer);
        window_.Progress().setValue(0);
        window_.Progress().setText(QStringLiteral("Progress Bar"));
        window_.ShowPlainMessage(ClosingMessage(failures_, fileCount_, copiedAsTheyAre_));
    });
}

QString RemovalBatch::ClosingMessage(const QStringList &failures, int fileCount,
                                     const QMap<QString, int> &copiedAsTheyAre) {
    return QStringLiteral("Done.") + failuresPart(failures, fileCount) +
           copiedPart(copiedAsTheyAre);
}
