#pragma once

#include "app/Services.h"
#include "engine/BatchWindow.h"
#include "platform/Desktop.h"

#include <QCursor>
#include <QPersistentModelIndex>
#include <QWidget>

#include <optional>

class FileListModel;
class ProgressBarWidget;
class QGroupBox;
class QLineEdit;
class QMimeData;
class QPushButton;
class QTreeView;
class RemovalBatch;

// The main window. Its handlers are named after control and event; each reads the window, calls
// a module and writes the window.
class Form1 : public QWidget, public BatchWindow {
    Q_OBJECT

  public:
    explicit Form1(Services services, QWidget *parent = nullptr);
    ~Form1() override;

    void Form_Load();
    void Form_Unload();
    void Form_MouseMove();
    void Form_Escape();
    void Form_Undo();

    void PushButton1_Click();
    void PushButton2_Click();
    void PushButton3_Click();
    void PushButton4_Click();
    void PushButton5_Click();
    void PushButton6_Click();
    void PushButton7_Click();
    void Text1_Change();

    void ListView1_KeyDown(int key);
    void ListView1_DblClick();
    void ListView1_MouseDown();
    void ListView1_ItemClick();
    void ListView1_MouseMove(const QPoint &position);
    void ListView1_MouseUp();
    // effect is what the drag proposes; it becomes Qt::IgnoreAction when the drop is refused.
    void ListView1_OLEDragOver(const QMimeData *dragData, Qt::DropAction &effect);
    void ListView1_OLEDragDrop(const QMimeData *dragData);

    int MousePointer() const { return mousePointer_; }
    void SetMousePointer(int pointer) override;

    int FileRowCount() const override;
    QString RowText(int position) const override;
    QString OutputFolderText() const override;
    ProgressBar &Progress() override;
    void ShowPlainMessage(const QString &text) override;
    bool Ask(const QString &question) override;
    int ShowDetailedMessage(DetailedMessage message) override;
    void SetBatchRunning(bool running) override;
    void RemoveRows(const std::vector<int> &positions) override;

    const QString &ApplicationTitle() const { return applicationTitle_; }
    FileListModel &FileList() { return *fileList_; }

    // The controls, under the names the handlers use.
    QPushButton *PushButton1;
    QPushButton *PushButton2;
    QPushButton *PushButton3;
    QPushButton *PushButton4;
    QPushButton *PushButton5;
    QPushButton *PushButton6;
    QPushButton *PushButton7;
    QTreeView *ListView1;
    QGroupBox *Frame1;
    QLineEdit *Text1;
    ProgressBarWidget *ProgressBar1;

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;

  private:
    void createControls();
    void placeInTabOrder();
    void placeControls();
    void RestoreSize();
    void connectHandlers();
    void SetApplicationTitle();
    void LoadHandPointer();
    void ApplySkin();
    void VisitHomePage();
    void SnapshotSampleFiles();
    void AddSampleFiles();
    void FillOutputFolder();
    MessageAnswer ShowMessage(const QString &text, MessageButtons buttons = MessageButtons::Ok);
    bool listViewEvent(QEvent *event);
    bool listMouseEvent(QEvent *event);
    bool listViewDragEvent(QEvent *event);
    void ApplyPointerRule(int pointer);
    void SetListPointer(const QCursor &pointer);
    void ShowOwnPointers();
    bool IsBusy() const { return mousePointer_ == BusyPointer; }
    bool pressFocusedButton(QObject *watched, QEvent *event);
    void RemoveSelectedRows();

    Services services_;
    FileListModel *fileList_;
    QString applicationTitle_;
    std::optional<QCursor> handPointer_;
    int mousePointer_ = DefaultPointer;
    // The list's own pointer, the drag picture or the arrow; the hourglass covers it while busy.
    QCursor listPointer_{Qt::ArrowCursor};
    RemovalBatch *runningBatch_ = nullptr;
    // What Clear List removed, until the list changes again.
    QStringList clearedRows_;

    // Row reordering: a button is down on the list; the row whose path travels with the pointer
    // (a persistent index, so it lapses when its row is removed or the list cleared).
    bool DragArmed = false;
    QPersistentModelIndex DragRow;
};
