#pragma once

#include <QString>

// The optional skin: a Qt style sheet kept in the program folder as "x/o.cjs".
namespace Skin {

QString SkinFile(const QString &programFolder);

// True when the skin file is there as an ordinary file (not hidden, not a folder).
bool IsPresent(const QString &path);

// The style sheet text. Throws AppError when the file cannot be read.
QString ReadStyleSheet(const QString &path);

}  // namespace Skin
