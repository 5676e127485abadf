#pragma once

#include "platform/FileSystem.h"

#include <QByteArray>
#include <QString>

class Desktop;

namespace PDF_Metadata {

// The info file that empties the eight document information keys.
QByteArray InfoFileText();

// The toolkit's exit code when the disk was too full for its result.
inline constexpr int ToolkitDiskFull = 3;

// Cleans the PDF at path through the pdftk of the program folder, working with the info file and
// the rewritten copy in workingFolder's namesakes. Empty when path now holds the toolkit's result;
// otherwise why not (the toolkit's own reason when it gave one), and path is left as it was or,
// when the replacement failed, gone. The toolkit is ended when keepGoing says stop.
QString RemovePDFMetadata(Desktop &desktop, const QString &programFolder,
                          const QString &workingFolder, const QString &path,
                          const FileSystem::KeepGoing &keepGoing);

}  // namespace PDF_Metadata
