#pragma once

#include <QString>
#include <QStringList>

class QWidget;

enum class MessageIcon { None, Warning, Question };
enum class MessageButtons { Ok, YesNo };
enum class MessageAnswer { Ok, Yes, No };

// What the open-file dialog is set up with before it is shown.
struct OpenFileRequest {
    QString title;
    QString filter;  // Qt filter text, for example "All Files (*)"
    bool multiSelect = true;
    int resultLimit = 30000;  // characters the result text may hold
};

// A message with buttons of its own and, when detailedText is not empty, a "Show Details" button
// that shows it in a scrollable box whose text can be selected.
struct DetailedMessage {
    QString text;
    QString title;
    QStringList buttons;    // captions, left to right
    int defaultButton = 0;  // the one Return presses
    int escapeButton = 0;   // the answer to Escape and to closing the box without a button
    QString detailedText;
    MessageIcon icon = MessageIcon::None;
};

// What to say when openFolder gives false.
inline QString noFileManagerMessage(const QString &folder) {
    return QStringLiteral("No file manager could be started to show %1.").arg(folder);
}

// Every modal dialog and every hand-over to the desktop goes through here, so that tests can
// script the user's answers.
class Desktop {
  public:
    virtual ~Desktop() = default;

    virtual MessageAnswer messageBox(const QString &text, const QString &title, MessageIcon icon,
                                     MessageButtons buttons) = 0;

    // The index of the button pressed.
    virtual int detailedMessageBox(const DetailedMessage &message) = 0;

    // The text entered, or an empty text when the user cancels.
    virtual QString inputBox(const QString &prompt, const QString &title,
                             const QString &defaultText) = 0;

    // One full path, or the folder followed by each name, NUL separated; empty on cancel.
    // Throws AppError 20476 when the result would not fit in request.resultLimit.
    virtual QString openFileDialog(QWidget *owner, const OpenFileRequest &request) = 0;

    // The chosen folder, or an empty text on cancel.
    virtual QString browseForFolder(QWidget *owner, const QString &title,
                                    const QString &startFolder) = 0;

    // False when no file manager could be started to show it.
    virtual bool openFolder(const QString &path) = 0;
    // False when the desktop could not hand the address to a browser.
    virtual bool openAddress(const QString &address) = 0;
};
