#pragma once

#include <functional>

// SIGTERM, SIGINT and SIGHUP, which ask the program to end, handled like a closed window.
namespace ExitSignals {

// From now on such a signal makes the event loop call onSignal, as soon as it next runs. Call once,
// after the application object exists.
void Watch(std::function<void()> onSignal);

}  // namespace ExitSignals
