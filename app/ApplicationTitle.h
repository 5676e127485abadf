#pragma once

#include <QString>

// The product name shortened by whole words to at most 40 characters; the last word always goes,
// unless the name is a single word.
QString ApplicationTitleFor(const QString &productName);
