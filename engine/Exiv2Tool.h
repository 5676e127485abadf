#pragma once

#include <QString>

struct RouteContext;

namespace Exiv2Tool {

// Runs "exiv2 rm" from the program folder on the copy while the progress bar follows it. Empty
// when it succeeded, else the reason.
QString removeAll(RouteContext &context, const QString &copy);

}  // namespace Exiv2Tool
