// Runs one batch per route through the real window code and prints the seconds each took:
// "<route> <files> <seconds>". Offscreen, or with --window shown on the X server of DISPLAY, so
// that every repaint of the progress bar and the pointer reaches a real display.
// With --stop-after SECONDS it presses Stop that long after each batch starts and prints how long
// the batch took from there to its closing message: "<route> stop <seconds> <milliseconds>", or
// "<route> done" when the batch ended first.

#include "app/Form1.h"
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
    if (shown) {
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
                     "Usage: batch_bench [--window] [--stop-after SECONDS] PROGRAM_FOLDER "
                     "CORPUS OUTPUT ROUTE...\n");
        return 2;
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
