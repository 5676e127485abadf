#pragma once

#include "platform/Desktop.h"

#include <QString>
#include <QStringList>

// The "Add File(s)" button's open-file dialog: how it is set up and how its result is read.
namespace AddFilesDialog {

// Shown instead when the picked files do not fit in the dialog's result.
inline const QString TooManyFilesMessage = QStringLiteral(
    "You've selected too many files to add.\r\rPlease try adding via the "
    "\"Add All\" button.");

OpenFileRequest Request();

// The picked files' paths: a single path exactly as the dialog gave it; otherwise the folder
// joined with each name, in the dialog's order. Empty when the dialog was cancelled.
QStringList PathsFromResult(const QString &result);

}  // namespace AddFilesDialog
