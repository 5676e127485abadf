#pragma once

#include "app/Form1.h"
#include "platform/SettingsStore.h"
#include "support/FakeDesktop.h"
#include "support/TestFiles.h"

#include <memory>

// A main window wired to a fake desktop, the real settings store (emptied first) and the
// program folder the build lays out, with the desktop in a temporary folder.
struct TestWindow {
    explicit TestWindow(QString programFolder = QStringLiteral(PARCHWIPE_BIN_DIR)) {
        clearSettings();
        Services services{desktop, settings, std::move(programFolder)};
        services.desktopLocation = [this] { return desktopLocation; };
        services.endProgram = [this] { ++endProgramCalls; };
        services.drawOneToHundred = [this] { return homePageDraw; };
        form = std::make_unique<Form1>(services);
    }

    Form1 &load() {
        form->Form_Load();
        return *form;
    }

    FakeDesktop desktop;
    SettingsStore settings;
    ScratchFolder scratch;
    QString desktopLocation = makeFolder(scratch / QStringLiteral("Desktop"));
    int endProgramCalls = 0;
    // The start-up draw; 7 opens the home page.
    int homePageDraw = 1;
    std::unique_ptr<Form1> form;
};
