#pragma once

#include <QString>

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

}  // namespace Shell32
