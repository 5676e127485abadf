#pragma once

#include "fsutil/Main.h"
#include "help/Help.h"

#include <QString>

#include <functional>

class Desktop;
class SettingsStore;

// What the window needs from outside itself; main.cpp wires the real ones, tests their own.
struct Services {
    Services(Desktop &desktop_, SettingsStore &settings_, QString programFolder_)
        : desktop(desktop_), settings(settings_), programFolder(std::move(programFolder_)) {}

    Desktop &desktop;
    SettingsStore &settings;
    // Holds exiv2, pdftk, the pointer pictures, the skin and the sample files.
    QString programFolder;
    std::function<QString()> desktopLocation = Main::PlatformDesktopLocation;
    // The start-up draw that decides whether the home page is visited.
    std::function<int()> drawOneToHundred = Help::DrawOneToHundred;
    // Ends the process once the window has been unloaded.
    std::function<void()> endProgram;
};
