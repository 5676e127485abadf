#pragma once

#include "platform/Desktop.h"

// The real desktop: Qt's dialogs and QDesktopServices.
class QtDesktop : public Desktop {
  public:
    MessageAnswer messageBox(const QString &text, const QString &title, MessageIcon icon,
                             MessageButtons buttons) override;
    int detailedMessageBox(const DetailedMessage &message) override;
    QString inputBox(const QString &prompt, const QString &title,
                     const QString &defaultText) override;
    QString openFileDialog(QWidget *owner, const OpenFileRequest &request) override;
    QString browseForFolder(QWidget *owner, const QString &title,
                            const QString &startFolder) override;
    bool openFolder(const QString &path) override;
    bool openAddress(const QString &address) override;

    // Message texts use CR LF and lone CRs as line breaks; Qt's labels want LF.
    static QString displayText(QString text);
};
