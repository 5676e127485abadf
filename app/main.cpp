#include "app/Form1.h"
#include "platform/QtDesktop.h"
#include "platform/SettingsStore.h"

#include <QApplication>

int main(int argc, char *argv[]) {
    QApplication application(argc, argv);
    QtDesktop desktop;
    SettingsStore settings;
    Services services{desktop, settings, QCoreApplication::applicationDirPath()};
    services.endProgram = [] { QCoreApplication::exit(0); };
    Form1 form(services);
    form.Form_Load();
    form.show();
    return QApplication::exec();
}
