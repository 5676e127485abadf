#include "support/FileDrag.h"

#include <QUrl>

std::unique_ptr<QMimeData> fileDrag(const QStringList &paths) {
    auto data = std::make_unique<QMimeData>();
    QList<QUrl> urls;
    for (const QString &path : paths) {
        urls.append(QUrl::fromLocalFile(path));
    }
    data->setUrls(urls);
    return data;
}
