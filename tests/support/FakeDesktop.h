#pragma once

#include "platform/AppError.h"
#include "platform/Desktop.h"

#include <QString>

#include <deque>
#include <functional>
#include <optional>
#include <vector>

// A desktop whose dialogs answer from scripted queues and record what they were asked.
class FakeDesktop : public Desktop {
  public:
    struct Message {
        QString text;
        QString title;
        MessageIcon icon;
        MessageButtons buttons;
        // Of a detailed message (whose buttons read Ok): its captions and its details, and the
        // captions that Return and Escape press.
        QStringList captions = {};
        QString details = {};
        QString defaultCaption = {};
        QString escapeCaption = {};
    };
    struct InputRequest {
        QString prompt;
        QString title;
        QString defaultText;
    };
    struct FolderRequest {
        QString title;
        QString startFolder;
    };

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

    // Answers, taken from the front; an empty queue answers Ok / No / cancel.
    std::deque<MessageAnswer> messageAnswers;
    // The captions pressed in detailed messages; an empty queue closes the box.
    std::deque<QString> buttonAnswers;
    std::deque<QString> inputAnswers;
    std::deque<QString> openFileAnswers;
    std::optional<AppError> openFileError;
    std::deque<QString> folderAnswers;
    bool addressOpens = true;
    bool folderOpens = true;

    // Called after each message is recorded, for tests that act while a dialog is up.
    std::function<void(const Message &)> onMessage;

    std::vector<Message> messages;
    std::vector<InputRequest> inputRequests;
    std::vector<OpenFileRequest> openFileRequests;
    std::vector<FolderRequest> folderRequests;
    std::vector<QString> openedFolders;
    std::vector<QString> openedAddresses;
};
