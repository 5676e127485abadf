#pragma once

#include <QString>

// What the process runner and the batch need of a progress bar: a text shown on the bar and a
// value, 0 to 100 on the main window.
class ProgressBar {
  public:
    virtual ~ProgressBar() = default;
    virtual QString text() const = 0;
    virtual void setText(const QString &text) = 0;
    virtual double value() const = 0;
    virtual void setValue(double value) = 0;
};
