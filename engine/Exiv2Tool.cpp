#include "engine/Exiv2Tool.h"

#include "engine/Routes.h"
#include "process/Shell32.h"

namespace Exiv2Tool {

QString removeAll(RouteContext &context, const QString &copy) {
    const QString commandLine = Shell32::Quoted(context.programFolder + QStringLiteral("/exiv2")) +
                                QStringLiteral(" rm ") + Shell32::Quoted(copy);
    QString errorLine;
    const int exitCode = Shell32::RunAndWaitUnlessStopped(commandLine, Shell32::HiddenWindow,
                                                          context.keepGoing, errorLine);
    return exitCode == 0 ? QString()
                         : QStringLiteral("exiv2 failed with exit code %1").arg(exitCode);
}

}  // namespace Exiv2Tool
