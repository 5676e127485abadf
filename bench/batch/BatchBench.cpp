// Runs one batch per route through the real window code and prints the seconds each took:
// "<route> <files> <seconds>". Offscreen, or with --window shown on the X server of DISPLAY, so
// that every repaint of the progress bar and the pointer reaches a real display.
// With --breakdown it instead takes each route's files one at a time through the steps a worker
// runs and prints the milliseconds per file each step took: "<route> <files> copy-in <ms> ...".
// With --stop-after SECONDS it presses Stop that long after each batch starts and prints how long
// the batch took from there to its closing message: "<route> stop <seconds> <milliseconds>", or
// "<route> done" when the batch ended first.

#include "app/Form1.h"
#include "engine/RemovalBatchPlan.h"
#include "engine/Routes.h"
#include "filelist/FileListModel.h"
#include "platform/SettingsStore.h"
#include "support/FakeDesktop.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Lists the route's files; the output folder holds the last round's, which they replace.
void listRoute(Form1 &form, FakeDesktop &desktop, const QString &corpus, const QString &route) {
    const QDir folder(corpus + QLatin1Char('/') + route);
    for (const QString &name : folder.entryList(QDir::Files, QDir::Name)) {
        form.FileList().AddFileRow(folder.filePath(name));
    }
    desktop.buttonAnswers = {QStringLiteral("Replace")};
}

double runBatch(Form1 &form, FakeDesktop &desktop, const QString &corpus, const QString &route) {
    listRoute(form, desktop, corpus, route);
    QElapsedTimer timer;
    timer.start();
    form.PushButton2_Click();
    const double seconds = timer.nsecsElapsed() / 1e9;
    std::printf("%s %d %.3f\n", qPrintable(route), form.FileList().FileRowCount(), seconds);
    form.FileList().RemoveAllRows();
    desktop.buttonAnswers.clear();
    return seconds;
}

// Where a small file's time goes, step by step, as one worker takes it: no window, one file at
// a time, new outputs synced once at the end.
void breakDown(FakeDesktop &desktop, const QString &programFolder, const QString &corpus,
               const QString &output, const QString &route) {
    const QDir folder(corpus + QLatin1Char('/') + route);
    const QStringList names = folder.entryList(QDir::Files, QDir::Name);
    const QTemporaryDir working;
    const QString out = output + QStringLiteral("/breakdown-") + route;
    QDir(out).removeRecursively();
    QDir().mkpath(out);
    const FileSystem::KeepGoing keepGoing = [] { return true; };
    const char *steps[] = {"copy-in", "kind", "findings", "pass", "check", "write", "sync"};
    double ms[std::size(steps)] = {};
    QElapsedTimer timer;
    const auto lap = [&](int step) {
        ms[step] += timer.nsecsElapsed() / 1e6;
        timer.restart();
    };
    for (const QString &name : names) {
        const QFileInfo source(folder.filePath(name));
        const QString copy = working.filePath(RemovalBatchPlan::WorkingName(source.suffix()));
        timer.start();
        FileSystem::copyFile(source.filePath(), copy, FileSystem::CopyMode::InPlace);
        lap(0);
        const Kinds::Kind *kind = Routes::kindOf(name, source.suffix(), copy);
        lap(1);
        Routes::findings(kind, copy);
        lap(2);
        RouteContext context{desktop, programFolder, working.path(), keepGoing};
        Routes::remove(kind, context, copy);
        lap(3);
        Routes::check(kind, copy);
        lap(4);
        FileSystem::copyFile(copy, out + QLatin1Char('/') + name, FileSystem::CopyMode::AtomicNew);
        QFile::remove(copy);
        lap(5);
    }
    timer.start();
    FileSystem::syncFileSystemOf(out);
    lap(6);
    std::printf("%s %lld", qPrintable(route), static_cast<long long>(names.size()));
    for (std::size_t step = 0; step < std::size(steps); ++step) {
        std::printf(" %s %.3f", steps[step], ms[step] / std::max<qsizetype>(1, names.size()));
    }
    std::printf("\n");
}

// The Stop button, pressed `after` seconds into the batch: the time from when the press was due
// (so that it includes the wait for the window's next look at its events) to the closing message.
void stopBatch(Form1 &form, FakeDesktop &desktop, const QString &corpus, const QString &route,
               double after) {
    listRoute(form, desktop, corpus, route);
    const int dueMs = static_cast<int>(after * 1000);
    bool pressed = false;
    QElapsedTimer clock;
    // Gone with this batch, should it end first.
    QTimer stopper;
    stopper.setSingleShot(true);
    stopper.setTimerType(Qt::PreciseTimer);
    QObject::connect(&stopper, &QTimer::timeout, [&] {
        pressed = true;
        form.PushButton2_Click();
    });
    double shownMs = 0;
    desktop.onMessage = [&](const FakeDesktop::Message &) { shownMs = clock.nsecsElapsed() / 1e6; };
    stopper.start(dueMs);
    clock.start();
    form.PushButton2_Click();
    desktop.onMessage = nullptr;
    if (pressed && desktop.messages.back().text.contains(QStringLiteral("the stop"))) {
        std::printf("%s stop %.1f %.0f\n", qPrintable(route), after, shownMs - dueMs);
    } else {
        std::printf("%s done\n", qPrintable(route));
    }
    std::fflush(stdout);
    form.FileList().RemoveAllRows();
    desktop.buttonAnswers.clear();
}

}  // namespace

int main(int argc, char *argv[]) {
    const bool shown = argc > 1 && std::strcmp(argv[1], "--window") == 0;
    const bool breakdown = argc > 1 && std::strcmp(argv[1], "--breakdown") == 0;
    if (breakdown) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        --argc;
        ++argv;
    } else if (shown) {
        qputenv("QT_QPA_PLATFORM", "xcb");
        --argc;
        ++argv;
    } else {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    double stopAfter = -1;
    if (argc > 2 && std::strcmp(argv[1], "--stop-after") == 0) {
        stopAfter = std::atof(argv[2]);
        argc -= 2;
        argv += 2;
    }
    if (argc < 5) {
        std::fprintf(stderr,
                     "Usage: batch_bench [--window | --breakdown] [--stop-after SECONDS] "
                     "PROGRAM_FOLDER CORPUS OUTPUT ROUTE...\n");
        return 2;
    }
    if (breakdown) {
        FakeDesktop desktop;
        for (int route = 4; route < argc; ++route) {
            breakDown(desktop, QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]),
                      QString::fromLocal8Bit(argv[3]), QString::fromLocal8Bit(argv[route]));
        }
        return 0;
    }
    const QTemporaryDir settingsFolder;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsFolder.path());
    FakeDesktop desktop;
    SettingsStore settings;
    Services services(desktop, settings, QString::fromLocal8Bit(argv[1]));
    Form1 form(services);
    form.Form_Load();
    form.Text1->setText(QString::fromLocal8Bit(argv[3]));
    if (shown) {
        form.show();
        if (!QTest::qWaitForWindowExposed(&form)) {
            std::fprintf(stderr, "The window did not show on the display.\n");
            return 1;
        }
    }
    for (int route = 4; route < argc && stopAfter >= 0; ++route) {
        stopBatch(form, desktop, QString::fromLocal8Bit(argv[2]),
                  QString::fromLocal8Bit(argv[route]), stopAfter);
    }
    for (int route = 4; route < argc && stopAfter < 0; ++route) {
        runBatch(form, desktop, QString::fromLocal8Bit(argv[2]),
                 QString::fromLocal8Bit(argv[route]));
        if (desktop.messages.back().text.contains(QStringLiteral("not cleaned"))) {
            std::fprintf(stderr, "%s\n", qPrintable(desktop.messages.back().text));
            return 1;
        }
    }
    return 0;
}
