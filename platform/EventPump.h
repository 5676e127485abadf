#pragma once

#include <QPoint>

namespace EventPump {

// Lets the window repaint and handle input while a long task runs on its thread.
void processEvents();

// The pointer's position on the screen.
QPoint pointerPosition();

}  // namespace EventPump
