#include "engine/PDF_Metadata.h"

#include "engine/FailureReason.h"
#include "fsutil/Main.h"
#include "platform/AppError.h"
#include "platform/ErrorTrap.h"
#include "platform/FileSystem.h"
#include "process/Shell32.h"

namespace PDF_Metadata {

namespace {

// The toolkit says "pdftk: IN: reason" and tells the cause by its exit code; the working copy's
// path means nothing to the user.
Failure toolkitFailure(int exitCode, const QString &line, const QString &input) {
    const QString prefix = QStringLiteral("pdftk: ") + input + QStringLiteral(": ");
    if (line.isEmpty()) {
        return {Formats::Cause::Internal, QStringLiteral("the PDF toolkit wrote no result")};
    }
    return {Formats::causeOfToolExit(exitCode),
            line.startsWith(prefix) ? line.mid(prefix.size()) : line};
}

}  // namespace

QByteArray InfoFileText() {
    QByteArray text;
    for (const char *key : {"Title", "Subject", "Author", "Keywords", "Creator", "Producer",
                            "CreationDate", "ModDate"}) {
        text += QByteArray("InfoKey: ") + key + "\r\nInfoValue: \r\n";
    }
    return text + "\r\n";
}

StepResult RemovePDFMetadata(Desktop &desktop, const QString &programFolder,
                             const QString &workingFolder, const QString &path,
                             const FileSystem::KeepGoing &keepGoing) {
    ErrorTrap trap(desktop, QStringLiteral("PDF_Metadata.RemovePDFMetadata"));
    const QString infoPath = workingFolder + QStringLiteral("/info.txt");
    const QString rewritten = path + QLatin1Char('2');
    trap.step(104, [&] { FileSystem::writeFile(infoPath, InfoFileText()); });
    const QString commandLine =
        QStringList{Shell32::Quoted(programFolder + QStringLiteral("/pdftk")),
                    Shell32::Quoted(path),
                    QStringLiteral("update_info"),
                    Shell32::Quoted(infoPath),
                    QStringLiteral("output"),
                    Shell32::Quoted(rewritten),
                    QStringLiteral("dont_ask")}
            .join(QLatin1Char(' '));
    QString toolkitLine;
    int exitCode = 0;
    trap.step(108, [&] {
        exitCode = Shell32::RunAndWaitUnlessStopped(commandLine, Shell32::HiddenWindow, keepGoing,
                                                    toolkitLine);
    });
    if (!trap.test(110, [&] { return Main::PathExists(rewritten); })) {
        const Failure failure = toolkitFailure(exitCode, toolkitLine, path);
        const bool full = failure.cause == Formats::Cause::DiskFull;
        return FailureReason::ForError(full ? ErrorNumber::DiskFull : trap.errorNumber(), failure);
    }
    trap.step(112, [&] { FileSystem::clearReadOnly(path); });
    if (trap.step(114, [&] { FileSystem::replaceFile(rewritten, path); })) {
        return std::nullopt;
    }
    // Neither the old copy nor a half-made one may reach the output.
    trap.step(116, [&] { Main::DeleteFileQuietly(path); });
    trap.step(118, [&] { Main::DeleteFileQuietly(rewritten); });
    return FailureReason::ForError(
        trap.errorNumber(), {Formats::Cause::Internal,
                             QStringLiteral("the PDF toolkit's result could not be put in place")});
}

}  // namespace PDF_Metadata
