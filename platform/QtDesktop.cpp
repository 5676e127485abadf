#include "platform/QtDesktop.h"

#include "platform/AppError.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTextEdit>
#include <QUrl>

namespace {

QWidget *dialogParent() {
    return QApplication::activeWindow();
}

bool isInside(const QString &file, const QString &folder) {
    return file.startsWith(folder.endsWith(QChar(u'/')) ? folder : folder + QChar(u'/'));
}

// The deepest folder that holds every file: the files' own folder when they share one.
QString sharedFolder(const QStringList &files) {
    QString folder = QFileInfo(files.first()).absolutePath();
    for (const QString &file : files) {
        while (!isInside(file, folder)) {
            folder = QFileInfo(folder).absolutePath();
        }
    }
    return folder;
}

// The open-file dialog's result text: one path, or a folder and then each file's path below it.
// Files typed in from several folders keep their own sub-folders, so each names what was picked.
QString openFileResult(const QStringList &files) {
    if (files.size() == 1) {
        return QDir::toNativeSeparators(files.first());
    }
    const QDir folder(sharedFolder(files));
    QString result = QDir::toNativeSeparators(folder.path());
    for (const QString &file : files) {
        result += QChar(u'\0') + QDir::toNativeSeparators(folder.relativeFilePath(file));
    }
    return result;
}

QMessageBox::Icon boxIcon(MessageIcon icon) {
    return icon == MessageIcon::Warning    ? QMessageBox::Warning
           : icon == MessageIcon::Question ? QMessageBox::Question
                                           : QMessageBox::NoIcon;
}

// Qt's message box fixes its size each time it lays itself out. This one lets go of its size once
// the pointer is over it, so that the user can drag it larger and its details take the room;
// showing or hiding the details fixes it again until the pointer moves.
class ResizableMessageBox : public QMessageBox {
  public:
    using QMessageBox::QMessageBox;

  protected:
    void showEvent(QShowEvent *event) override {
        fitButtonsToCaptions();
        QMessageBox::showEvent(event);
    }

    bool event(QEvent *event) override {
        if (event->type() == QEvent::LayoutRequest) {
            fitButtonsToCaptions();
            if (maximumWidth() == QWIDGETSIZE_MAX && isVisible()) {
                return QDialog::event(event);
            }
        }
        const bool handled = QMessageBox::event(event);
        if (event->type() == QEvent::Enter || event->type() == QEvent::MouseMove) {
            setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        }
        return handled;
    }

  private:
    // Under a style sheet a button's least width is less than its caption needs, and the box
    // takes the least width it can: long captions such as "Keep Only the Files Not Cleaned" were
    // cut. The details button learns its font late, so this runs again at every layout.
    void fitButtonsToCaptions() {
        for (QPushButton *button : findChildren<QPushButton *>()) {
            button->setMinimumWidth(button->sizeHint().width());
        }
    }
};

}  // namespace

QString QtDesktop::displayText(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QChar(u'\r'), QChar(u'\n'));
    return text;
}

MessageAnswer QtDesktop::messageBox(const QString &text, const QString &title, MessageIcon icon,
                                    MessageButtons buttons) {
    QMessageBox box(dialogParent());
    box.setWindowTitle(title);
    box.setText(displayText(text));
    box.setIcon(boxIcon(icon));
    if (buttons == MessageButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        return box.exec() == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return MessageAnswer::Ok;
}

int QtDesktop::detailedMessageBox(const DetailedMessage &message) {
    ResizableMessageBox box(dialogParent());
    box.setSizeGripEnabled(true);
    box.setWindowTitle(message.title);
    box.setText(displayText(message.text));
    box.setIcon(boxIcon(message.icon));
    box.setDetailedText(displayText(message.detailedText));
    // Room for a few files at a time, within a small screen: the details scroll, and take the
    // room of a box made larger.
    if (auto *details = box.findChild<QTextEdit *>()) {
        details->setMinimumSize(560, 240);
        details->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        details->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    }
    QList<QAbstractButton *> buttons;
    for (const QString &caption : message.buttons) {
        // One role for all keeps them in the order given.
        buttons << box.addButton(caption, QMessageBox::ActionRole);
    }
    box.setDefaultButton(qobject_cast<QPushButton *>(buttons.value(message.defaultButton)));
    box.setEscapeButton(buttons.value(message.escapeButton));
    box.exec();
    const int pressed = static_cast<int>(buttons.indexOf(box.clickedButton()));
    return pressed < 0 ? message.escapeButton : pressed;
}

QString QtDesktop::inputBox(const QString &prompt, const QString &title,
                            const QString &defaultText) {
    bool accepted = false;
    const QString answer = QInputDialog::getText(dialogParent(), title, displayText(prompt),
                                                 QLineEdit::Normal, defaultText, &accepted);
    return accepted ? answer : QString();
}

QString QtDesktop::openFileDialog(QWidget *owner, const OpenFileRequest &request) {
    const QStringList files =
        request.multiSelect
            ? QFileDialog::getOpenFileNames(owner, request.title, QString(), request.filter)
            : QStringList{
                  QFileDialog::getOpenFileName(owner, request.title, QString(), request.filter)};
    if (files.isEmpty() || files.first().isEmpty()) {
        return QString();
    }
    const QString result = openFileResult(files);
    if (result.size() > request.resultLimit) {
        throw AppError(ErrorNumber::BufferTooSmall, QStringLiteral("Buffer too small"));
    }
    return result;
}

QString QtDesktop::browseForFolder(QWidget *owner, const QString &title,
                                   const QString &startFolder) {
    const QString start = QFileInfo(startFolder).isDir() ? startFolder : QString();
    const QString chosen = QFileDialog::getExistingDirectory(owner, title, start);
    return QDir::toNativeSeparators(chosen);
}

bool QtDesktop::openFolder(const QString &path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

bool QtDesktop::openAddress(const QString &address) {
    return QDesktopServices::openUrl(QUrl(address));
}
