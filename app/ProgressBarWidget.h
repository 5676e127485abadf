#pragma once

#include "process/ProgressBar.h"

#include <QProgressBar>

// The window's progress bar: a text of its own on the bar, and a value that may run past 100
// (the bar then shows full).
class ProgressBarWidget : public QProgressBar, public ProgressBar {
    Q_OBJECT

  public:
    explicit ProgressBarWidget(QWidget *parent = nullptr);

    QString text() const override;
    void setText(const QString &text) override;
    double value() const override;
    void setValue(double value) override;

  private:
    QString text_;
    double value_ = 0;
};
