#pragma once

#include "engine/Failure.h"
#include "platform/FileSystem.h"

#include <QByteArray>
#include <QString>

class Desktop;

namespace PDF_Metadata {

// The info file that empties the eight document information keys.
QByteArray InfoFileText();

// Cleans the PDF at path through the pdftk of the program folder, working with the info file and
// the rewritten copy in workingFolder's namesakes. Nothing when path now holds the toolkit's
// result; otherwise why not (the toolkit's own reason when it gave one, with the cause its exit
// code tells), and path is left as it was or, when the replacement failed, gone. The toolkit is
// ended when keepGoing says stop.
StepResult RemovePDFMetadata(Desktop &desktop, const QString &programFolder,
                             const QString &workingFolder, const QString &path,
                             const FileSystem::KeepGoing &keepGoing);

}  // namespace PDF_Metadata
