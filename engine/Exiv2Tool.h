#pragma once

#include <QString>

struct RouteContext;

namespace Exiv2Tool {

// Runs "exiv2 rm" from the program folder on the copy; ends it when the batch stops. Empty when
// it succeeded, else the reason.
QString removeAll(RouteContext &context, const QString &copy);

}  // namespace Exiv2Tool
