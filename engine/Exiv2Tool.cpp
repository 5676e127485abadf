#include "engine/Exiv2Tool.h"

#include "engine/BatchWindow.h"
#include "engine/Routes.h"
#include "process/ProgressBar.h"
#include "process/Shell32.h"

#include <cmath>

namespace Exiv2Tool {

QString removeAll(RouteContext &context, const QString &copy) {
    ProgressBar &bar = context.window.Progress();
    const QString commandLine = Shell32::Quoted(context.programFolder + QStringLiteral("/exiv2")) +
                                QStringLiteral(" rm ") + Shell32::Quoted(copy);
    const int exitCode = Shell32::RunAndWaitWithProgress(
        commandLine, Shell32::HiddenWindow, &bar, bar.text(),
        static_cast<int>(std::nearbyint(bar.value())), context.window.FileRowCount());
    return exitCode == 0 ? QString()
                         : QStringLiteral("exiv2 failed with exit code %1").arg(exitCode);
}

}  // namespace Exiv2Tool
