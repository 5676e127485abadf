#pragma once

#include <QByteArray>
#include <QString>

class Desktop;

namespace PDF_Metadata {

// The info file that empties the eight document information keys.
QByteArray InfoFileText();

// Empties the document information of the PDF at path through the pdftk of the program folder,
// working with the info file and the rewritten copy in workingFolder's namesakes. True when path
// now holds the toolkit's result; false leaves it as it was or, when the replacement failed, gone.
bool RemovePDFMetadata(Desktop &desktop, const QString &programFolder, const QString &workingFolder,
                       const QString &path);

}  // namespace PDF_Metadata
