#include "app/ProgressBarWidget.h"

#include <algorithm>
#include <cmath>

ProgressBarWidget::ProgressBarWidget(QWidget *parent) : QProgressBar(parent) {
    setRange(0, 100);
    setTextVisible(true);
    setAlignment(Qt::AlignCenter);
}

// QProgressBar paints whatever text() returns, so the bar shows our text as it stands.
QString ProgressBarWidget::text() const {
    return text_;
}

void ProgressBarWidget::setText(const QString &text) {
    text_ = text;
    update();
}

double ProgressBarWidget::value() const {
    return value_;
}

void ProgressBarWidget::setValue(double value) {
    value_ = value;
    QProgressBar::setValue(static_cast<int>(std::clamp(std::round(value), 0.0, 100.0)));
}
