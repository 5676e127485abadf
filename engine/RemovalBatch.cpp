#include "engine/RemovalBatch.h"

#include "engine/BatchWindow.h"
#include "engine/Routes.h"
#include "fsutil/Main.h"
#include "platform/ErrorTrap.h"
#include "platform/EventPump.h"
#include "process/ProgressBar.h"

namespace {

constexpr int ListedFailures = 20;
const QString LineBreak = QStringLiteral("\r\n");

// The text after the last occurrence of separator; the whole text when there is none.
QString lastPiece(const QString &text, QChar separator) {
    return text.mid(text.lastIndexOf(separator) + 1);
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
    const QString outputName = lastPiece(path, QLatin1Char('/'));
    const QString extension = lastPiece(path, QLatin1Char('.'));
    const QString copy = workingFolder_.path() + QStringLiteral("/temp.") + extension;
    QString reason;
    bool cleaned = false;
    // The working copy is overwritten by the next file of its extension and goes with the
    // working folder at the end; a new file per row would only cost time.
    if (!Main::CopyFileQuietly(path, copy, FileSystem::CopyMode::InPlace)) {
        reason = QStringLiteral("could not be copied to the working folder");
    } else {
        EventPump::processEvents();
        cleaned = !abandoned_ && Clean(trap, extension, copy, reason);
    }
    if (cleaned &&
        !Main::CopyFileQuietly(copy, window_.OutputFolderText() + QLatin1Char('/') + outputName)) {
        reason = QStringLiteral("could not be written to the output folder");
    }
    if (!reason.isEmpty()) {
        failures_ << name + QStringLiteral(": ") + reason;
    }
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

bool RemovalBatch::Clean(ErrorTrap &trap, const QString &extension, const QString &copy,
                         QString &reason) {
    const Route &route = Routes::forExtension(extension);
    const QString workingFolder = workingFolder_.path();
    RouteContext context{desktop_, window_, programFolder_, workingFolder};
    reason = QStringLiteral("its metadata could not be removed");
    trap.step(128, [&] { reason = Routes::remove(route, context, copy); });
    if (reason.isEmpty() && !abandoned_) {
        reason = QStringLiteral("its result could not be checked");
        trap.step(130, [&] { reason = Routes::check(route, copy); });
    }
    return reason.isEmpty() && !abandoned_;
}

void RemovalBatch::Finish(ErrorTrap &trap) {
    trap.step(138, [&] {
        window_.SetMousePointer(BatchWindow::DefaultPointer);
        window_.Progress().setValue(0);
        window_.Progress().setText(QStringLiteral("Progress Bar"));
        window_.ShowPlainMessage(ClosingMessage(failures_, fileCount_));
    });
}

QString RemovalBatch::ClosingMessage(const QStringList &failures, int fileCount) {
    QString message = QStringLiteral("Done.");
    if (failures.isEmpty()) {
        return message;
    }
    message +=
        LineBreak + LineBreak +
        QStringLiteral("%1 of %2 files were not cleaned:").arg(failures.size()).arg(fileCount);
    for (const QString &line : failures.mid(0, ListedFailures)) {
        message += LineBreak + line;
    }
    if (failures.size() > ListedFailures) {
        message +=
            LineBreak + QStringLiteral("\u2026 and %1 more").arg(failures.size() - ListedFailures);
    }
    return message;
}
