#include "help/Help.h"

#include "MakerAddresses.h"
#include "platform/Desktop.h"

#include <QTime>

#include <random>

namespace Help {

QString HelpMessage() {
    return QStringLiteral(
               "Please backup your files before using this software in case you "
               "need to restore them.\r\n\r\nQuestions? Please contact Team Tarnwick "
               "at ") +
           QString::fromLatin1(MakerAddresses::ContactPage);
}

int DrawOneToHundred() {
    std::mt19937 generator(
        static_cast<std::mt19937::result_type>(QTime::currentTime().msecsSinceStartOfDay()));
    return std::uniform_int_distribution<int>(1, 100)(generator);
}

void VisitHomePage(Desktop &desktop, const std::function<int()> &drawOneToHundred) {
    if (drawOneToHundred() == WinningDraw) {
        desktop.openAddress(QString::fromLatin1(MakerAddresses::HomePage));
    }
}

}  // namespace Help
