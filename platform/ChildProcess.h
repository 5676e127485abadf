#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>

// One started command line. Its standard output goes to ours, its error output is kept for its
// last line; it reads nothing. It is killed when this process dies, so that a killed Parchwipe
// leaves no tool running.
class ChildProcess {
  public:
    // Splits the command line as a shell would and starts it. Throws AppError: 53 when the
    // program is not found, 70 when it may not be run, 5 for an empty command line.
    // windowState is the initial window of a Windows program (0 hidden, 1 normal, 2 minimized,
    // 3 maximized, 4 normal and 6 minimized without focus); console tools on POSIX have none.
    explicit ChildProcess(const QString &commandLine, int windowState = 6);

    ~ChildProcess();

    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    // Waits at most timeoutMs for the process to end; true once it has ended.
    bool waitForEnd(int timeoutMs);

    // The process's own exit code once it has ended; -1 when it was killed by a signal.
    int exitCode() const;

    // The last line the process wrote to its error output so far; empty when none.
    QString lastErrorLine() const;

    // Asks the process to terminate and kills it when it has not ended after graceMs.
    void end(int graceMs = DefaultGraceMs);

    // Ends every tool this thread started that is still running, as end() does; tools of other
    // threads are ended by the thread that waits for them.
    static void EndAll(int graceMs = DefaultGraceMs);

    static constexpr int DefaultGraceMs = 300;

  private:
    QProcess process_;
    QByteArray errorTail_;
};
