#pragma once

#include <QMimeData>
#include <QStringList>

#include <memory>

// Drag data as a file manager offers it: the local paths as a URL list.
std::unique_ptr<QMimeData> fileDrag(const QStringList &paths);
