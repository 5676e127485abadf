#include "engine/JpegRoute.h"

#include "engine/Exiv2Tool.h"
#include "engine/WorkingCopy.h"
#include "formats/pictures/Jpeg.h"

namespace JpegRoute {

QString removeMetadata(RouteContext &context, const QString &copy) {
    // exiv2 takes the orientation with the rest, so it is read first.
    const int orientation = Jpeg::orientation(WorkingCopy::read(copy));
    const QString failure = Exiv2Tool::removeAll(context, copy);
    if (!failure.isEmpty()) {
        return failure;
    }
    WorkingCopy::write(copy, Jpeg::clean(WorkingCopy::read(copy), orientation));
    return {};
}

}  // namespace JpegRoute
