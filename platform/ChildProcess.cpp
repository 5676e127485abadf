#include "platform/ChildProcess.h"

#include "platform/AppError.h"

#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>

#ifdef Q_OS_WIN
#include <windows.h>
#endif
#ifdef Q_OS_LINUX
#include <sys/prctl.h>
#include <unistd.h>

#include <csignal>
#endif

#include <algorithm>
#include <mutex>
#include <vector>

namespace {

// Enough for the last few lines of a tool's complaint, however much it writes.
constexpr int KeptErrorBytes = 4096;

QString resolveProgram(const QString &program) {
    if (program.contains(QChar(u'/'))) {
        return program;
    }
    return QStandardPaths::findExecutable(program);
}

void checkRunnable(const QString &program, const QString &resolved) {
    const QFileInfo info(resolved);
    if (resolved.isEmpty() || !info.exists()) {
        throw AppError(ErrorNumber::FileNotFound,
                       QStringLiteral("File not found: %1").arg(program));
    }
    if (info.isDir() || !info.isExecutable()) {
        throw AppError(ErrorNumber::PermissionDenied,
                       QStringLiteral("Permission denied: %1").arg(program));
    }
}

void applyWindowState(QProcess &process, int windowState) {
#ifdef Q_OS_WIN
    // State 6 means minimized without focus, which Windows calls SW_SHOWMINNOACTIVE.
    const WORD show = windowState == 6 ? SW_SHOWMINNOACTIVE : static_cast<WORD>(windowState);
    process.setCreateProcessArgumentsModifier([show](QProcess::CreateProcessArguments *arguments) {
        arguments->startupInfo->dwFlags |= STARTF_USESHOWWINDOW;
        arguments->startupInfo->wShowWindow = show;
    });
#else
    Q_UNUSED(process)
    Q_UNUSED(windowState)
#endif
}

// The tool leads a process group of its own, so that ending it ends what it started too (a
// script's sleep), and it dies with Parchwipe.
void ownGroupDyingWithParent(QProcess &process) {
#ifdef Q_OS_LINUX
    const pid_t parent = ::getpid();
    process.setChildProcessModifier([parent] {
        if (::setpgid(0, 0) != 0 || ::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 ||
            ::getppid() != parent) {
            ::_exit(127);
        }
    });
#else
    Q_UNUSED(process)
#endif
}

void signalGroup(const QProcess &process, int signal) {
#ifdef Q_OS_UNIX
    if (process.processId() > 0) {
        ::kill(-static_cast<pid_t>(process.processId()), signal);
    }
#else
    Q_UNUSED(process)
    Q_UNUSED(signal)
#endif
}

// The tools started and not yet ended, so that closing the program can end them. Tools run on
// several threads at once.
std::mutex runningLock;
std::vector<QProcess *> &running() {
    static std::vector<QProcess *> processes;
    return processes;
}

std::vector<QProcess *> startedByThisThread() {
    const std::lock_guard<std::mutex> lock(runningLock);
    std::vector<QProcess *> processes;
    std::copy_if(
        running().begin(), running().end(), std::back_inserter(processes),
        [](const QProcess *process) { return process->thread() == QThread::currentThread(); });
    return processes;
}

void terminate(QProcess &process) {
    signalGroup(process, SIGTERM);
    process.terminate();
}

// Whatever of the group is left after the grace time is killed, the tool's children included.
void killUnlessEnded(QProcess &process, int graceMs) {
    const qint64 group = process.processId();
    if (!process.waitForFinished(graceMs)) {
        process.kill();
        process.waitForFinished(graceMs);
    }
#ifdef Q_OS_UNIX
    if (group > 0) {
        ::kill(-static_cast<pid_t>(group), SIGKILL);
    }
#endif
}

}  // namespace

ChildProcess::ChildProcess(const QString &commandLine, int windowState) {
    QStringList arguments = QProcess::splitCommand(commandLine);
    if (arguments.isEmpty()) {
        throw AppError(ErrorNumber::InvalidArgument,
                       QStringLiteral("Invalid procedure call or argument"));
    }
    const QString program = arguments.takeFirst();
    const QString resolved = resolveProgram(program);
    checkRunnable(program, resolved);
    process_.setProcessChannelMode(QProcess::ForwardedOutputChannel);
    process_.setStandardInputFile(QProcess::nullDevice());
    applyWindowState(process_, windowState);
    ownGroupDyingWithParent(process_);
    process_.start(resolved, arguments, QIODevice::ReadOnly);
    if (!process_.waitForStarted(-1)) {
        throw AppError(ErrorNumber::PathFileAccess,
                       QStringLiteral("%1: %2").arg(program, process_.errorString()));
    }
    const std::lock_guard<std::mutex> lock(runningLock);
    running().push_back(&process_);
}

ChildProcess::~ChildProcess() {
    const std::lock_guard<std::mutex> lock(runningLock);
    auto &processes = running();
    processes.erase(std::remove(processes.begin(), processes.end(), &process_), processes.end());
}

void ChildProcess::end(int graceMs) {
    terminate(process_);
    killUnlessEnded(process_, graceMs);
}

void ChildProcess::EndAll(int graceMs) {
    const std::vector<QProcess *> processes = startedByThisThread();
    for (QProcess *process : processes) {
        terminate(*process);
    }
    for (QProcess *process : processes) {
        killUnlessEnded(*process, graceMs);
    }
}

bool ChildProcess::waitForEnd(int timeoutMs) {
    const bool ended =
        process_.state() == QProcess::NotRunning || process_.waitForFinished(timeoutMs);
    errorTail_ = (errorTail_ + process_.readAllStandardError()).right(KeptErrorBytes);
    return ended;
}

int ChildProcess::exitCode() const {
    return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
}

QString ChildProcess::lastErrorLine() const {
    const QByteArray text = errorTail_.trimmed();
    return QString::fromUtf8(text.mid(text.lastIndexOf('\n') + 1)).trimmed();
}
