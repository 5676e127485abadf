// Runs one batch per route through the real window code and prints the seconds each took:
// "<route> <files> <seconds>". Offscreen, or with --window shown on the X server of DISPLAY, so
// that every repaint of the progress bar and the pointer reaches a real display.

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

#include <cstdio>
#include <cstring>

namespace {

double runBatch(Form1 &form, FakeDesktop &desktop, const QString &corpus, const QString &route) {
    const QDir folder(corpus + QLatin1Char('/') + route);
    for (const QString &name : folder.entryList(QDir::Files, QDir::Name)) {
        form.FileList().AddFileRow(folder.filePath(name));
    }
    // The output folder holds the last round's files.
    desktop.buttonAnswers = {QStringLiteral("Replace")};
    QElapsedTimer timer;
    timer.start();
    form.PushButton2_Click();
    const double seconds = timer.nsecsElapsed() / 1e9;
    std::printf("%s %d %.3f\n", qPrintable(route), form.FileList().FileRowCount(), seconds);
    form.FileList().RemoveAllRows();
    desktop.buttonAnswers.clear();
    return seconds;
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
    if (argc < 5) {
        std::fprintf(stderr,
                     "Usage: batch_bench [--window] PROGRAM_FOLDER CORPUS OUTPUT ROUTE...\n");
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
    for (int route = 4; route < argc; ++route) {
        runBatch(form, desktop, QString::fromLocal8Bit(argv[2]),
                 QString::fromLocal8Bit(argv[route]));
        if (desktop.messages.back().text.contains(QStringLiteral("not cleaned"))) {
            std::fprintf(stderr, "%s\n", qPrintable(desktop.messages.back().text));
            return 1;
        }
    }
    return 0;
}
