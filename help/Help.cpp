#include "help/Help.h"

#include "MakerAddresses.h"
#include "platform/AppError.h"
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
    return DrawOneToHundredWithSeed(
        static_cast<unsigned>(QTime::currentTime().msecsSinceStartOfDay()));
}

int DrawOneToHundredWithSeed(unsigned seed) {
    std::mt19937 generator(seed);
    return std::uniform_int_distribution<int>(1, 100)(generator);
}

void VisitHomePage(Desktop &desktop, const std::function<int()> &drawOneToHundred) {
    if (drawOneToHundred() != WinningDraw) {
        return;
    }
    const QString address = QString::fromLatin1(MakerAddresses::HomePage);
    if (!desktop.openAddress(address)) {
        // The number a command that cannot be started raises.
        throw AppError(ErrorNumber::FileNotFound,
                       QStringLiteral("The home page could not be opened: %1").arg(address));
    }
}

}  // namespace Help
