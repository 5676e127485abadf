#include "engine/Exiv2Tool.h"

#include "engine/Routes.h"
#include "process/Shell32.h"

namespace Exiv2Tool {

namespace {

// exiv2's own last word on a failure, without the working copy's path, which means nothing to the
// user and must not reach the closing message.
QString ownWords(QString line, const QString &copy) {
    line.remove(copy + QStringLiteral(": "));
    line.replace(copy, QStringLiteral("the file"));
    return line.trimmed();
}

}  // namespace

StepResult removeAll(RouteContext &context, const QString &copy) {
    const QString commandLine = Shell32::Quoted(context.programFolder + QStringLiteral("/exiv2")) +
                                QStringLiteral(" rm ") + Shell32::Quoted(copy);
    QString errorLine;
    const int exitCode = Shell32::RunAndWaitUnlessStopped(commandLine, Shell32::HiddenWindow,
                                                          context.keepGoing, errorLine);
    if (exitCode == 0) {
        return std::nullopt;
    }
    const QString failure = QStringLiteral("exiv2 failed with exit code %1").arg(exitCode);
    const QString words = ownWords(errorLine, copy);
    // A negative code is the system's: exiv2 never ran.
    return Failure{exitCode > 0 ? Formats::Cause::Damaged : Formats::Cause::Internal,
                   words.isEmpty() ? failure : failure + QStringLiteral(": ") + words};
}

}  // namespace Exiv2Tool
