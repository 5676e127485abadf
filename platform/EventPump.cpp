#include "platform/EventPump.h"

#include <QCoreApplication>
#include <QCursor>

namespace EventPump {

void processEvents() {
    QCoreApplication::processEvents();
}

QPoint pointerPosition() {
    return QCursor::pos();
}

}  // namespace EventPump
