#pragma once

#include "engine/Failure.h"

#include <QString>

struct RouteContext;

namespace JpegRoute {

// exiv2 removes what it knows; a segment pass then drops what it leaves (further application
// segments, comments, anything after the picture) and puts back the orientation alone.
StepResult removeMetadata(RouteContext &context, const QString &copy);

}  // namespace JpegRoute
