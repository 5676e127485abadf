#pragma once

#include "engine/Failure.h"

#include <QString>

struct RouteContext;

namespace Exiv2Tool {

// Runs "exiv2 rm" from the program folder on the copy; ends it when the batch stops. Nothing when
// it succeeded, else why not: Damaged when exiv2 judged the file, Internal when it could not run.
StepResult removeAll(RouteContext &context, const QString &copy);

}  // namespace Exiv2Tool
