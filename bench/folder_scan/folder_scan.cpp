// Runs the real "Add All File(s) In Folder" handler with "*" on one folder, in a shown window,
// with a desktop that answers the two questions. Prints the time, the rows, and how often and how
// regularly the event loop got a turn during the scan.
#include "app/Form1.h"
#include "filelist/FileListModel.h"
#include "platform/Desktop.h"
#include "platform/SettingsStore.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSet>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

class AnsweringDesktop : public Desktop {
  public:
    explicit AnsweringDesktop(QString folder) : folder_(std::move(folder)) {}

    MessageAnswer messageBox(const QString &, const QString &, MessageIcon,
                             MessageButtons) override {
        ++messages;
        return MessageAnswer::Ok;
    }
    int detailedMessageBox(const DetailedMessage &) override {
        ++messages;
        return 0;
    }
    QString inputBox(const QString &, const QString &, const QString &) override {
        return QStringLiteral("*");
    }
    QString openFileDialog(QWidget *, const OpenFileRequest &) override { return {}; }
    QString browseForFolder(QWidget *, const QString &, const QString &) override {
        return folder_;
    }
    bool openFolder(const QString &) override { return false; }
    bool openAddress(const QString &) override { return true; }

    int messages = 0;

  private:
    QString folder_;
};

// Sees every turn of the event loop through a zero timer.
struct LoopWatch {
    QElapsedTimer clock;
    qint64 lastTurnMs = 0;
    qint64 longestGapMs = 0;
    long turns = 0;
    bool busyAtEveryTurn = true;
};

}  // namespace

int main(int argc, char *argv[]) {
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: folder_scan FOLDER\n");
        return 2;
    }
    const QTemporaryDir settingsFolder;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsFolder.path());

    AnsweringDesktop desktop(QString::fromLocal8Bit(argv[1]));
    SettingsStore settings;
    Form1 form(Services{desktop, settings, QCoreApplication::applicationDirPath()});
    form.Form_Load();
    form.show();
    QCoreApplication::processEvents();

    LoopWatch watch;
    QTimer ticker;
    ticker.setInterval(0);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = watch.clock.elapsed();
        watch.longestGapMs = std::max(watch.longestGapMs, now - watch.lastTurnMs);
        watch.lastTurnMs = now;
        ++watch.turns;
        watch.busyAtEveryTurn = watch.busyAtEveryTurn && form.MousePointer() == Form1::BusyPointer;
    });
    ticker.start();
    watch.clock.start();
    form.PushButton3_Click();
    const qint64 elapsedMs = watch.clock.elapsed();
    ticker.stop();
    watch.longestGapMs = std::max(watch.longestGapMs, elapsedMs - watch.lastTurnMs);

    QSet<QString> unique;
    for (int position = 1; position <= form.FileList().FileRowCount(); ++position) {
        unique.insert(form.FileList().RowText(position));
    }
    std::printf(
        "add_all_ms=%lld rows=%d unique_rows=%lld loop_turns=%ld longest_gap_ms=%lld "
        "busy_at_every_turn=%s error_dialogs=%d\n",
        static_cast<long long>(elapsedMs), form.FileList().FileRowCount(),
        static_cast<long long>(unique.size()), watch.turns,
        static_cast<long long>(watch.longestGapMs), watch.busyAtEveryTurn ? "yes" : "no",
        desktop.messages);
    return 0;
}
