// Runs one batch in a window of its own and ends as Parchwipe does on SIGTERM, SIGINT and SIGHUP,
// so that tests can signal a real process:
//   batch_host PROGRAM_FOLDER OUTPUT_FOLDER FILE...
#include "app/Form1.h"
#include "filelist/FileListModel.h"
#include "platform/ExitSignals.h"
#include "platform/SettingsStore.h"
#include "support/FakeDesktop.h"

#include <QApplication>
#include <QLineEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

int main(int argc, char *argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const QTemporaryDir settingsFolder;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsFolder.path());
    FakeDesktop desktop;
    SettingsStore settings;
    Services services{desktop, settings, QString::fromLocal8Bit(argv[1])};
    services.endProgram = [] { QCoreApplication::exit(0); };
    services.drawOneToHundred = [] { return 1; };
    Form1 form(services);
    ExitSignals::Watch([&form] { form.Form_Unload(); });
    form.Form_Load();
    form.Text1->setText(QString::fromLocal8Bit(argv[2]));
    for (int i = 3; i < argc; ++i) {
        form.FileList().AddFileRow(QString::fromLocal8Bit(argv[i]));
    }
    QTimer::singleShot(0, &form, &Form1::PushButton2_Click);
    return QApplication::exec();
}
