#pragma once

#include <QProcess>
#include <QString>

// One started command line. Its output goes to ours; it reads nothing.
class ChildProcess {
  public:
    // Splits the command line as a shell would and starts it. Throws AppError: 53 when the
    // program is not found, 70 when it may not be run, 5 for an empty command line.
    explicit ChildProcess(const QString &commandLine);

    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    // Waits at most timeoutMs for the process to end; true once it has ended.
    bool waitForEnd(int timeoutMs);

    // The process's own exit code once it has ended; -1 when it was killed by a signal.
    int exitCode() const;

  private:
    QProcess process_;
};
