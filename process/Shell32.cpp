#include "process/Shell32.h"

#include "platform/AppError.h"
#include "platform/ChildProcess.h"
#include "platform/EventPump.h"
#include "process/ProgressBar.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace Shell32 {

namespace {

// Added to the error number of a failed start, so that the result cannot pass for an exit code.
constexpr int StartFailureBase = -2147221504;

// The bar starts counting after this many polls (about five seconds) ...
constexpr int QuietPolls = 50;
// ... and creeps one step further every this many polls (about fifteen seconds).
constexpr int PollsPerStep = 150;

// Rounds halves to the even neighbour (the default rounding mode).
double nearest(double x) {
    return std::nearbyint(x);
}

QString waitingText(const QString &caption, int polls) {
    const QString separator = caption.isEmpty() ? QString() : QStringLiteral(", ");
    return caption + separator + QStringLiteral("Please wait.. ") + QString::number(polls);
}

// The bar's value after `steps` steps: a tenth of one file's share per step, never past the
// end of that share.
double barValue(int startValue, int itemCount, int steps) {
    const double share = 100.0 / std::max(itemCount, 1);
    const double step = nearest(share / 10);
    const double ceiling = nearest(share + startValue - step);
    return std::min(startValue + steps * step, ceiling);
}

// How often a worker's wait asks whether to go on.
constexpr int StopPollMs = 50;

// The started tool, or nothing with startFailure set: the start's error number moved below every
// exit code.
std::optional<ChildProcess> start(const QString &commandLine, int windowState, int &startFailure) {
    try {
        return std::optional<ChildProcess>(std::in_place, commandLine,
                                           NormalWindowState(windowState));
    } catch (const AppError &error) {
        startFailure = StartFailureBase + error.number();
        return std::nullopt;
    }
}

// Starts the tool and polls it until it ends, letting the window handle its events after every
// poll: a poll of a running tool lasts pollMs, a tool that has ended is noticed at once. A failed
// start gives its error number moved below every exit code, with no wait at all.
int run(const QString &commandLine, int windowState, int pollMs, WaitingBar *animation,
        QString *errorLine = nullptr) {
    int startFailure = 0;
    std::optional<ChildProcess> process = start(commandLine, windowState, startFailure);
    if (!process) {
        return startFailure;
    }
    bool ended = false;
    do {
        ended = process->waitForEnd(pollMs);
        EventPump::processEvents();
        if (animation != nullptr) {
            animation->afterPoll();
        }
    } while (!ended);
    if (animation != nullptr) {
        animation->restoreCaption();
    }
    if (errorLine != nullptr) {
        *errorLine = process->lastErrorLine();
    }
    return process->exitCode();
}

}  // namespace

void WaitingBar::afterPoll() {
    ++polls_;
    if (polls_ < QuietPolls) {
        return;
    }
    const int shown = polls_ - QuietPolls;
    bar_.setText(waitingText(caption_, shown));
    if (shown % PollsPerStep == 0) {
        bar_.setValue(barValue(startValue_, itemCount_, shown / PollsPerStep));
    }
    EventPump::processEvents();
}

void WaitingBar::restoreCaption() {
    bar_.setText(caption_.isEmpty() ? QStringLiteral("Progress Bar") : caption_);
}

int RunAndWaitUnlessStopped(const QString &commandLine, int windowState,
                            const std::function<bool()> &keepGoing, QString &errorLine) {
    int startFailure = 0;
    std::optional<ChildProcess> process = start(commandLine, windowState, startFailure);
    if (!process) {
        return startFailure;
    }
    while (!process->waitForEnd(StopPollMs)) {
        if (keepGoing && !keepGoing()) {
            process->end();
            throw AppError(ErrorNumber::UserInterrupt, QStringLiteral("stopped"));
        }
    }
    errorLine = process->lastErrorLine();
    return process->exitCode();
}

QString Quoted(const QString &text) {
    // The command-line splitting reads three quotes in a row as one literal quote.
    return QLatin1Char('"') + QString(text).replace(QLatin1Char('"'), QStringLiteral("\"\"\"")) +
           QLatin1Char('"');
}

int NormalWindowState(int windowState) {
    return windowState < 0 || windowState > MinimizedNoFocus ? MinimizedNoFocus : windowState;
}

int RunAndWait(const QString &commandLine, int windowState, int pollMs) {
    return run(commandLine, windowState, pollMs, nullptr);
}

int RunAndWait(const QString &commandLine, int windowState, QString &errorLine) {
    return run(commandLine, windowState, DefaultPollMs, nullptr, &errorLine);
}

int RunAndWaitWithProgress(const QString &commandLine, int windowState, ProgressBar *bar,
                           const QString &caption, int startValue, int itemCount, int pollMs) {
    if (bar == nullptr) {
        return RunAndWait(commandLine, windowState, pollMs);
    }
    WaitingBar animation(*bar, caption, startValue, itemCount);
    return run(commandLine, windowState, pollMs, &animation);
}

}  // namespace Shell32
