#include "platform/ErrorTrap.h"

#include "MakerAddresses.h"
#include "platform/Desktop.h"

ErrorTrap::ErrorTrap(Desktop &desktop, QString location, QString prefix)
    : desktop_(desktop), location_(std::move(location)), prefix_(std::move(prefix)) {}

void ErrorTrap::report(const AppError &error) {
    errorNumber_ = error.number();
    if (error.number() == ErrorNumber::UserInterrupt) {
        return;
    }
    desktop_.messageBox(dialogText(error.description(), prefix_, location_, line_),
                        QStringLiteral("Application Error"), MessageIcon::Warning,
                        MessageButtons::Ok);
}

QString ErrorTrap::dialogText(const QString &description, const QString &prefix,
                              const QString &location, int line) {
    return description + QStringLiteral("\r\n") + prefix + location + QStringLiteral(" at line ") +
           QString::number(line) +
           QStringLiteral("\r\rPlease email screenshot of this message to ") +
           QLatin1String(MakerAddresses::SupportEmail);
}
