#include "engine/JpegRoute.h"

#include "engine/Exiv2Tool.h"
#include "engine/WorkingCopy.h"
#include "formats/pictures/Jpeg.h"

namespace JpegRoute {

StepResult removeMetadata(RouteContext &context, const QString &copy) {
    // exiv2 takes the orientation with the rest, so it is read first.
    const int orientation = Jpeg::orientation(WorkingCopy::read(copy));
    if (StepResult failure = Exiv2Tool::removeAll(context, copy)) {
        return failure;
    }
    WorkingCopy::write(copy, Jpeg::clean(WorkingCopy::read(copy), orientation));
    return std::nullopt;
}

}  // namespace JpegRoute
