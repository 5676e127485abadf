#pragma once

#include "platform/Desktop.h"

#include <QString>

#include <vector>

class ProgressBar;

// What the batch needs of the main window.
class BatchWindow {
  public:
    // The window's pointer values.
    enum Pointer { DefaultPointer = 0, ArrowPointer = 1, BusyPointer = 11, CustomPointer = 99 };

    virtual ~BatchWindow() = default;

    virtual int FileRowCount() const = 0;
    virtual QString RowText(int position) const = 0;  // 1-based
    virtual QString OutputFolderText() const = 0;
    virtual ProgressBar &Progress() = 0;
    virtual void SetMousePointer(int pointer) = 0;
    virtual void ShowPlainMessage(const QString &text) = 0;
    // A Yes / No question under the same title; true for Yes.
    virtual bool Ask(const QString &question) = 0;
    // Under the title plain messages have; the index of the button pressed.
    virtual int ShowDetailedMessage(DetailedMessage message) = 0;
    // While a batch runs, the list and the settings are locked and the start button stops it.
    virtual void SetBatchRunning(bool running) = 0;
    // Removes the rows at the positions given (1-based, ascending); the others keep their order.
    virtual void RemoveRows(const std::vector<int> &positions) = 0;
};
