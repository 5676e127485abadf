#include "app/ApplicationTitle.h"

namespace {

constexpr int TitleLimit = 40;

QString cutAtLastBlank(const QString &text) {
    return text.left(text.lastIndexOf(QChar(u' ')));
}

}  // namespace

QString ApplicationTitleFor(const QString &productName) {
    if (!productName.contains(QChar(u' '))) {
        return productName;
    }
    QString title = cutAtLastBlank(productName);
    while (title.size() > TitleLimit && title.contains(QChar(u' '))) {
        title = cutAtLastBlank(title);
    }
    return title;
}
