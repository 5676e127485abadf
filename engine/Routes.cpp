#include "engine/Routes.h"

#include "engine/JpegRoute.h"
#include "engine/Metadata.h"
#include "engine/PDF_Metadata.h"
#include "engine/WorkingCopy.h"
#include "formats/Jpeg.h"
#include "formats/Pdf.h"

#include <QHash>

namespace Routes {

namespace {

QString removePdfInformation(RouteContext &context, const QString &copy) {
    return PDF_Metadata::RemovePDFMetadata(context.desktop, context.programFolder,
                                           context.workingFolder, copy);
}

QString writeAnew(RouteContext &context, const QString &copy) {
    return Metadata::StripFile(context.desktop, copy, context.keepGoing);
}

}  // namespace

// A new kind of file gets a route here: its removal (in a file of its own under engine/ when it is
// more than a call) and its check from formats/, then its extensions in the table.
const Route &forExtension(const QString &extension) {
    static const Route jpeg{JpegRoute::removeMetadata, Jpeg::remainingMetadata};
    static const Route pdf{removePdfInformation, Pdf::remainingMetadata};
    static const Route generic{writeAnew, nullptr};
    static const QHash<QString, const Route *> routes{
        {QStringLiteral("JPG"), &jpeg},
        {QStringLiteral("JPEG"), &jpeg},
        {QStringLiteral("JPE"), &jpeg},
        {QStringLiteral("PDF"), &pdf},
    };
    return *routes.value(extension.toUpper(), &generic);
}

QString remove(const Route &route, RouteContext &context, const QString &copy) {
    try {
        return route.remove(context, copy);
    } catch (const Formats::Refused &refused) {
        return QString::fromStdString(refused.what());
    }
}

QString check(const Route &route, const QString &copy) {
    return route.check ? QString::fromStdString(route.check(WorkingCopy::read(copy))) : QString();
}

}  // namespace Routes
