#include "filelist/AddFilesDialog.h"

#include "fsutil/Main.h"

namespace AddFilesDialog {

OpenFileRequest Request() {
    OpenFileRequest request;
    request.title = QStringLiteral("Add File(s) - Hold Ctrl to select multiple files");
    request.filter = QStringLiteral("All Files (*)");
    request.multiSelect = true;
    request.resultLimit = 30000;
    return request;
}

QStringList PathsFromResult(const QString &result) {
    if (result.isEmpty()) {
        return {};
    }
    const QStringList parts = result.split(QChar(u'\0'));
    if (parts.size() == 1) {
        return parts;
    }
    QStringList paths;
    paths.reserve(parts.size() - 1);
    for (auto name = parts.cbegin() + 1; name != parts.cend(); ++name) {
        paths << Main::JoinPath(parts.first(), *name);
    }
    return paths;
}

}  // namespace AddFilesDialog
