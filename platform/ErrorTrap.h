#pragma once

#include "platform/AppError.h"

#include <QString>

class Desktop;

// Runs a handler's numbered steps. A step that throws AppError is reported through the standard
// error dialog and the handler goes on with its next step, so one failure costs one step. A step
// interrupted because the program is ending shows no dialog.
class ErrorTrap {
  public:
    static inline const QString MainPrefix = QStringLiteral("in Quillstrip2021/08/31.");
    static inline const QString FolderWalkPrefix = QStringLiteral("in OrvaldTitle2021/08/31.");

    // location names the routine, for example "Form1.PushButton2_Click".
    ErrorTrap(Desktop &desktop, QString location, QString prefix = MainPrefix);

    // True when the step ran to its end.
    template <typename Body>
    bool step(int line, Body &&body) {
        line_ = line;
        try {
            body();
            return true;
        } catch (const AppError &error) {
            report(error);
            return false;
        }
    }

    // A decision whose test throws counts as holding.
    template <typename Test>
    bool test(int line, Test &&condition) {
        line_ = line;
        try {
            return condition();
        } catch (const AppError &error) {
            report(error);
            return true;
        }
    }

    // The number of the last error a step or test met; 0 while none failed.
    int errorNumber() const { return errorNumber_; }

    static QString dialogText(const QString &description, const QString &prefix,
                              const QString &location, int line);

  private:
    void report(const AppError &error);

    Desktop &desktop_;
    QString location_;
    QString prefix_;
    int line_ = 0;
    int errorNumber_ = 0;
};
