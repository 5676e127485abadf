#pragma once

#include <QString>

class Desktop;

namespace Metadata {

// Writes the file anew: its bytes go block by block into a fresh scratch file beside it, which then
// replaces it. A failure is reported once and leaves the file as it was.
void StripFile(Desktop &desktop, const QString &path);

}  // namespace Metadata
