#pragma once

#include <QString>

#include <functional>

class ProgressBar;

// Runs an external tool and waits for its end while the window keeps handling its events.
namespace Shell32 {

inline constexpr int DefaultPollMs = 100;
inline constexpr int OmittedWindowState = -1;
inline constexpr int HiddenWindow = 0;
inline constexpr int MinimizedNoFocus = 6;

// A window state outside 0 to 6, or an omitted one, becomes 6 (minimized, not activated).
int NormalWindowState(int windowState);

// The text in double quotes, as one argument of a command line; splitting the command line gives
// the text back, whatever quotes and blanks it holds.
QString Quoted(const QString &text);

// The tool's exit code, or the start failure's error number - 2147221504.
int RunAndWait(const QString &commandLine, int windowState = OmittedWindowState,
               int pollMs = DefaultPollMs);

// The same, also giving the last line the tool wrote to its error output (empty when none).
int RunAndWait(const QString &commandLine, int windowState, QString &errorLine);

// The same, animating the bar while the tool runs; a null bar behaves like RunAndWait.
int RunAndWaitWithProgress(const QString &commandLine, int windowState, ProgressBar *bar,
                           const QString &caption, int startValue, int itemCount,
                           int pollMs = DefaultPollMs);

// For worker threads, which must not touch the window: waits for the tool without handling any
// events, asking keepGoing (when given) about every 50 ms. When it says stop, the tool is ended
// (asked to terminate, killed when it does not) and AppError 18 is thrown. Gives the tool's last
// error line.
int RunAndWaitUnlessStopped(const QString &commandLine, int windowState,
                            const std::function<bool()> &keepGoing, QString &errorLine);

// Keeps the user aware that slow work is still going on: after about five seconds of polls the
// bar's text counts them ("caption, Please wait.. 37") and its value creeps, about every fifteen
// seconds, a tenth of one file's share further, never past that share.
class WaitingBar {
  public:
    WaitingBar(ProgressBar &bar, const QString &caption, int startValue, int itemCount)
        : bar_(bar), caption_(caption), startValue_(startValue), itemCount_(itemCount) {}

    // Called once per poll of about 100 ms.
    void afterPoll();
    // Puts the caption back, or "Progress Bar" for an empty one.
    void restoreCaption();

  private:
    ProgressBar &bar_;
    QString caption_;
    int startValue_;
    int itemCount_;
    int polls_ = 0;
};

}  // namespace Shell32
