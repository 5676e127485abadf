#include "app/Form1.h"
#include "engine/WorkingFolder.h"
#include "platform/ExitSignals.h"
#include "platform/QtDesktop.h"
#include "platform/SettingsStore.h"

#include <QApplication>

int main(int argc, char *argv[]) {
    QApplication application(argc, argv);
    // A Parchwipe that was killed left the users' uncleaned copies behind.
    WorkingFolder::RemoveLeftOvers(Main::TemporaryFolder());
    QtDesktop desktop;
    SettingsStore settings;
    Services services{desktop, settings, QCoreApplication::applicationDirPath()};
    services.endProgram = [] { QCoreApplication::exit(0); };
    Form1 form(services);
    ExitSignals::Watch([&form] { form.Form_Unload(); });
    form.Form_Load();
    form.show();
    return QApplication::exec();
}
