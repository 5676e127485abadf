#include "support/FakeDesktop.h"

namespace {

template <typename T>
T takeFront(std::deque<T> &queue, T fallback) {
    if (queue.empty()) {
        return fallback;
    }
    T front = std::move(queue.front());
    queue.pop_front();
    return front;
}

}  // namespace

MessageAnswer FakeDesktop::messageBox(const QString &text, const QString &title, MessageIcon icon,
                                      MessageButtons buttons) {
    messages.push_back({text, title, icon, buttons});
    if (onMessage) {
        onMessage(messages.back());
    }
    const MessageAnswer fallback =
        buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
    return takeFront(messageAnswers, fallback);
}

int FakeDesktop::detailedMessageBox(const DetailedMessage &message) {
    messages.push_back({message.text, message.title, message.icon, MessageButtons::Ok,
                        message.buttons, message.detailedText,
                        message.buttons.value(message.defaultButton),
                        message.buttons.value(message.escapeButton)});
    if (onMessage) {
        onMessage(messages.back());
    }
    const int pressed = message.buttons.indexOf(takeFront(buttonAnswers, QString()));
    return pressed < 0 ? message.escapeButton : pressed;
}

QString FakeDesktop::inputBox(const QString &prompt, const QString &title,
                              const QString &defaultText) {
    inputRequests.push_back({prompt, title, defaultText});
    return takeFront(inputAnswers, QString());
}

QString FakeDesktop::openFileDialog(QWidget *, const OpenFileRequest &request) {
    openFileRequests.push_back(request);
    if (openFileError) {
        throw *openFileError;
    }
    return takeFront(openFileAnswers, QString());
}

QString FakeDesktop::browseForFolder(QWidget *, const QString &title, const QString &startFolder) {
    folderRequests.push_back({title, startFolder});
    return takeFront(folderAnswers, QString());
}

bool FakeDesktop::openFolder(const QString &path) {
    openedFolders.push_back(path);
    return folderOpens;
}

bool FakeDesktop::openAddress(const QString &address) {
    openedAddresses.push_back(address);
    return addressOpens;
}
