// Cleans and checks one file the way a batch does, for bench/walkers/run.sh: the file is copied
// into a folder of its own, its kind is told by Routes, Routes::remove cleans it (through pdftk
// for a PDF) and Routes::check reads the result. Prints "<kind> <clean s> <check s> <outcome>".

#include "engine/Routes.h"
#include "support/FakeDesktop.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>

namespace {

double seconds(QElapsedTimer &timer) {
    return timer.restart() / 1e3;
}

}  // namespace

int main(int argc, char *argv[]) {
    QCoreApplication application(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "Usage: walker_bench PROGRAM_FOLDER FILE\n");
        return 2;
    }
    const QFileInfo source(QString::fromLocal8Bit(argv[2]));
    const QTemporaryDir folder;
    const QString copy = folder.filePath(source.fileName());
    if (!folder.isValid() || !QFile::copy(source.filePath(), copy)) {
        std::fprintf(stderr, "Cannot copy %s into a temporary folder.\n", argv[2]);
        return 1;
    }
    const Kinds::Kind *kind = Routes::kindOf(source.fileName(), source.suffix(), copy);
    FakeDesktop desktop;
    const QString programFolder = QString::fromLocal8Bit(argv[1]);
    const QString workingFolder = folder.path();
    const FileSystem::KeepGoing keepGoing = [] { return true; };
    RouteContext context{desktop, programFolder, workingFolder, keepGoing};
    QElapsedTimer timer;
    timer.start();
    const StepResult removal = Routes::remove(kind, context, copy);
    const double cleaning = seconds(timer);
    const StepResult check = removal ? std::nullopt : Routes::check(kind, copy);
    const double checking = seconds(timer);
    const QString outcome = removal ? QStringLiteral("refused: ") + removal->reason
                            : check ? QStringLiteral("remains: ") + check->reason
                                    : QStringLiteral("clean");
    std::printf("%s\t%.2f\t%.2f\t%s\n", kind != nullptr ? kind->name : "unknown", cleaning,
                checking, qPrintable(outcome.left(120)));
    return 0;
}
