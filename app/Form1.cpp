#include "app/Form1.h"

#include "app/ApplicationTitle.h"
#include "app/ProgressBarWidget.h"
#include "app/SettingNames.h"
#include "app/Skin.h"
#include "engine/RemovalBatch.h"
#include "filelist/AddFilesDialog.h"
#include "filelist/FileListModel.h"
#include "filelist/FileListOperations.h"
#include "filelist/FolderFiles.h"
#include "filelist/RowReorder.h"
#include "filelist/SampleFiles.h"
#include "fsutil/AddFolder.h"
#include "fsutil/Main.h"
#include "help/Help.h"
#include "platform/ErrorTrap.h"
#include "platform/EventPump.h"
#include "platform/FileSystem.h"
#include "platform/SettingsStore.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QShortcut>
#include <QTreeView>

#include <algorithm>
#include <limits>
#include <utility>

namespace {

const QString ProductName = QStringLiteral("Parchwipe");
const QString FolderPrompt = QStringLiteral("Please select folder:");
const QString ExtensionPrompt = QStringLiteral(
    "Enter file extension to load:\r\r(* for all files, txt for all txt files, doc "
    "for all doc files, etc.)");

// The layout is designed in twips, 15 to a pixel.
int px(int twips) {
    return qRound(twips / 15.0);
}

const QSize DesignedSize(px(8040), px(6180));

// "1024x768", as the size is stored.
QString sizeText(const QSize &size) {
    return QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
}

// An invalid size for a text that names none.
QSize sizeFromText(const QString &text) {
    const QStringList parts = text.split(QLatin1Char('x'));
    return parts.size() == 2 ? QSize(parts[0].toInt(), parts[1].toInt()) : QSize();
}

// A window that opens for the first time shows at least this many rows, where the screen allows.

QRect twipsRect(int left, int top, int width, int height) {
    return QRect(px(left), px(top), px(width), px(height));
}

QFont arialBold(qreal points) {
    QFont font(QStringLiteral("Arial"));
    font.setBold(true);
    font.setPointSizeF(points);
    return font;
}

// A .CUR file keeps the hot spot where an .ICO keeps planes and bit count.
QPoint curHotSpot(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QByteArray header = file.read(14);
    if (header.size() < 14) {
        return {};
    }
    const auto word = [&header](int at) {
        return static_cast<uchar>(header[at]) | (static_cast<uchar>(header[at + 1]) << 8);
    };
    return QPoint(word(10), word(12));
}

void setBackground(QWidget *widget, const QColor &colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

}  // namespace

Form1::Form1(Services services, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                          Qt::WindowCloseButtonHint),
      services_(std::move(services)),
      fileList_(new FileListModel(this)) {
    createControls();
    placeInTabOrder();
    placeControls();
    connectHandlers();
}

Form1::~Form1() = default;

void Form1::createControls() {
    setFont(arialBold(9));
    // As designed at the least; larger, the list takes the room.
    setMinimumSize(DesignedSize);
    resize(DesignedSize);
    // White as designed; only the background, so the controls keep the platform's colours.
    setBackground(this, Qt::white);
    setMouseTracking(true);

    const auto button = [this](const QString &caption, QWidget *parent) {
        auto *pushButton = new QPushButton(caption, parent);
        pushButton->setFont(arialBold(11.25));
        pushButton->setMouseTracking(true);
        pushButton->installEventFilter(this);
        // The hand set over a button must not be taken back by the parent's move handler.
        pushButton->setAttribute(Qt::WA_NoMousePropagation);
        return pushButton;
    };
    PushButton5 = button(QStringLiteral("Help"), this);
    ListView1 = new QTreeView(this);
    PushButton4 = button(QStringLiteral("Add File(s)"), this);
    PushButton3 = button(QStringLiteral("Add All File(s) In Folder"), this);
    PushButton6 = button(QStringLiteral("Clear List"), this);
    PushButton7 = button(QStringLiteral("Load Sample/Example Files"), this);
    Frame1 = new QGroupBox(QStringLiteral("Save Results To This Folder"), this);
    Text1 = new QLineEdit(Frame1);
    PushButton1 = button(QStringLiteral("..."), Frame1);
    PushButton2 = button(QStringLiteral("Start Removing Metadata"), this);
    // The skin singles out the start button by its name.
    PushButton2->setObjectName(QStringLiteral("PushButton2"));
    ProgressBar1 = new ProgressBarWidget(this);
    ProgressBar1->setText(QStringLiteral("Progress Bar"));
    // The bar has no pointer handler of its own: the pointer keeps the shape it came with.
    ProgressBar1->setAttribute(Qt::WA_NoMousePropagation);

    ListView1->setModel(fileList_);
    ListView1->setRootIsDecorated(false);
    ListView1->setItemsExpandable(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // The name and the start of the path tell files apart; the tool tip shows the whole path.
    ListView1->setTextElideMode(Qt::ElideMiddle);
    ListView1->header()->setStretchLastSection(false);
    ListView1->setToolTip(
        QStringLiteral("Drag and drop files here. Double-click item to remove it. Move | line to "
                       "right and out of window to reveal full names."));
    ListView1->installEventFilter(this);
    ListView1->viewport()->installEventFilter(this);
    ListView1->viewport()->setMouseTracking(true);
    ListView1->viewport()->setAcceptDrops(true);
    Frame1->setMouseTracking(true);
    Frame1->installEventFilter(this);
    Text1->setMouseTracking(true);
    Text1->installEventFilter(this);
    // A stored folder longer than the usual limit would be cut and written back at start.
    Text1->setMaxLength(std::numeric_limits<int>::max());
}

// The designed layout, with the room the window has beyond its designed size given to the list
// (down) and to every control's width (across); the paired buttons share theirs.
void Form1::placeControls() {
    const int wider = width() - DesignedSize.width();
    const int taller = height() - DesignedSize.height();
    const int half = wider / 2;
    const auto below = [taller](const QRect &designed) { return designed.translated(0, taller); };
    PushButton5->setGeometry(twipsRect(120, 120, 7800, 405).adjusted(0, 0, wider, 0));
    ListView1->setGeometry(twipsRect(120, 630, 7800, 2535).adjusted(0, 0, wider, taller));
    ListView1->setColumnWidth(0, px(7000) + wider);
    PushButton4->setGeometry(below(twipsRect(120, 3255, 3840, 405).adjusted(0, 0, half, 0)));
    PushButton3->setGeometry(below(twipsRect(4080, 3255, 3840, 405).adjusted(half, 0, wider, 0)));
    PushButton6->setGeometry(below(twipsRect(120, 3765, 3840, 405).adjusted(0, 0, half, 0)));
    PushButton7->setGeometry(below(twipsRect(4080, 3765, 3840, 405).adjusted(half, 0, wider, 0)));
    Frame1->setGeometry(below(twipsRect(120, 4230, 7800, 795).adjusted(0, 0, wider, 0)));
    Text1->setGeometry(twipsRect(240, 300, 6660, 345).adjusted(0, 0, wider, 0));
    PushButton1->setGeometry(twipsRect(6960, 300, 600, 345).translated(wider, 0));
    PushButton2->setGeometry(below(twipsRect(120, 5145, 7800, 405).adjusted(0, 0, wider, 0)));
    ProgressBar1->setGeometry(below(twipsRect(120, 5670, 7800, 405).adjusted(0, 0, wider, 0)));
}

void Form1::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    placeControls();
}

void Form1::placeInTabOrder() {
    // Top to bottom as the user reads the window, Help last.
    const QList<QWidget *> tabOrder = {ListView1,   PushButton4, PushButton3,
                                       PushButton6, PushButton7, Text1,
                                       PushButton1, PushButton2, PushButton5};
    for (int i = 1; i < tabOrder.size(); ++i) {
        QWidget::setTabOrder(tabOrder[i - 1], tabOrder[i]);
    }
    // The first in the tab order has the keyboard at start, so a stray key cannot press Help.
    ListView1->setFocus();
}

void Form1::connectHandlers() {
    connect(PushButton1, &QPushButton::clicked, this, &Form1::PushButton1_Click);
    connect(PushButton2, &QPushButton::clicked, this, &Form1::PushButton2_Click);
    connect(PushButton3, &QPushButton::clicked, this, &Form1::PushButton3_Click);
    connect(PushButton4, &QPushButton::clicked, this, &Form1::PushButton4_Click);
    connect(PushButton5, &QPushButton::clicked, this, &Form1::PushButton5_Click);
    connect(PushButton6, &QPushButton::clicked, this, &Form1::PushButton6_Click);
    connect(PushButton7, &QPushButton::clicked, this, &Form1::PushButton7_Click);
    connect(Text1, &QLineEdit::textChanged, this, &Form1::Text1_Change);
    connect(ListView1, &QTreeView::pressed, this, &Form1::ListView1_ItemClick);
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this,
            &Form1::Form_Escape);
    connect(new QShortcut(QKeySequence::Undo, this), &QShortcut::activated, this,
            &Form1::Form_Undo);
    // Any change to the list ends the chance to undo a clear.
    const auto forgetCleared = [this] { clearedRows_.clear(); };
    connect(fileList_, &QAbstractItemModel::rowsInserted, this, forgetCleared);
    connect(fileList_, &QAbstractItemModel::rowsRemoved, this, forgetCleared);
    connect(fileList_, &QAbstractItemModel::rowsMoved, this, forgetCleared);
    connect(fileList_, &QAbstractItemModel::dataChanged, this, forgetCleared);
    connect(fileList_, &QAbstractItemModel::modelReset, this, forgetCleared);
}

// Ctrl+Z brings back the rows Clear List removed, as long as the list has not changed since.
void Form1::Form_Undo() {
    if (IsBusy() || runningBatch_ != nullptr) {
        return;
    }
    const QStringList rows = std::exchange(clearedRows_, {});
    fileList_->AddFileRows(rows);
}

// Escape stops a running batch, as its Stop button does; otherwise it does nothing.
void Form1::Form_Escape() {
    if (runningBatch_ != nullptr) {
        runningBatch_->Stop();
    }
}

void Form1::Form_Load() {
    ErrorTrap trap(services_.desktop, QStringLiteral("Form1.Form_Load"));
    trap.step(100, [this] { ApplySkin(); });
    trap.step(102, [this] { setWindowTitle(ProductName); });
    trap.step(104, [this] { setWindowIcon(QIcon(QStringLiteral(":/parchwipe.ico"))); });
    trap.step(106, [this] { SetApplicationTitle(); });
    trap.step(108, [this] { LoadHandPointer(); });
    trap.step(110, [this] { VisitHomePage(); });
    for (const int line : {112, 114}) {
        if (trap.test(line, [this] {
                return services_.settings.read(SettingNames::Snapshot, QString()).isEmpty();
            })) {
            trap.step(line, [this] { SnapshotSampleFiles(); });
        }
    }
    trap.step(116, [this] { fileList_->setHeader(QStringLiteral("File(s)")); });
    trap.step(118, [this] { FillOutputFolder(); });
    trap.step(120, [this] { RestoreSize(); });
    if (const QScreen *screen = this->screen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
}

// The size it had when it last closed; the first time, the designed size, where every control
// sits where the design and the tools that drive the window expect it.
void Form1::RestoreSize() {
    const QSize stored = sizeFromText(services_.settings.read(SettingNames::WindowSize, {}));
    QSize size = stored.isValid() ? stored : DesignedSize;
    if (const QScreen *screen = this->screen()) {
        size = size.boundedTo(screen->availableGeometry().size());
    }
    resize(size.expandedTo(DesignedSize));
    // A hidden window hears of its new size only when it is shown.
    placeControls();
}

void Form1::SetApplicationTitle() {
    applicationTitle_ = ApplicationTitleFor(ProductName);
}

void Form1::LoadHandPointer() {
    const QString path = services_.programFolder + QStringLiteral("/HAND-M.CUR");
    if (!Main::PathExists(path)) {
        return;
    }
    const QPixmap picture(path);
    if (!picture.isNull()) {
        const QPoint hotSpot = curHotSpot(path);
        handPointer_ = QCursor(picture, hotSpot.x(), hotSpot.y());
    }
}

void Form1::ApplySkin() {
    const QString path = Skin::SkinFile(services_.programFolder);
    if (!Skin::IsPresent(path)) {
        return;
    }
    const QColor buttonFace = QApplication::palette().color(QPalette::Button);
    setBackground(this, buttonFace);
    setBackground(Frame1, buttonFace);
    setStyleSheet(Skin::ReadStyleSheet(path));
}

// Nobody asked for the visit: a browser that does not start is only logged.
void Form1::VisitHomePage() {
    try {
        Help::VisitHomePage(services_.desktop, services_.drawOneToHundred);
    } catch (const AppError &error) {
        qWarning("%s", qUtf8Printable(error.description()));
    }
}

void Form1::SnapshotSampleFiles() {
    services_.settings.write(SettingNames::Snapshot,
                             SampleFiles::Snapshot(services_.programFolder));
}

void Form1::FillOutputFolder() {
    const QString desktopDefault = Main::GetDesktopFolder(services_.desktopLocation());
    Text1->setText(services_.settings.read(SettingNames::OutputFolder, desktopDefault));
}

void Form1::Text1_Change() {
    Text1->setToolTip(Text1->text());
    try {
        services_.settings.write(SettingNames::OutputFolder, Text1->text());
    } catch (const AppError &) {
        // The box keeps what was typed; the next change tries to store it again.
    }
}

// A running batch ends first: nothing may reach the output folder once the window is closing.
void Form1::Form_Unload() {
    if (runningBatch_ != nullptr) {
        runningBatch_->Abandon();
    }
    try {
        services_.settings.write(SettingNames::WindowSize, sizeText(size()));
    } catch (const AppError &) {
        // The next start opens at the size it would have the first time.
    }
    if (services_.endProgram) {
        services_.endProgram();
    }
}

void Form1::closeEvent(QCloseEvent *event) {
    event->accept();
    Form_Unload();
}

void Form1::mouseMoveEvent(QMouseEvent *event) {
    Form_MouseMove();
    QWidget::mouseMoveEvent(event);
}

void Form1::Form_MouseMove() {
    ApplyPointerRule(DefaultPointer);
}

// Hover feedback never replaces the busy pointer.
void Form1::ApplyPointerRule(int pointer) {
    if (!IsBusy()) {
        SetMousePointer(pointer);
    }
}

void Form1::SetMousePointer(int pointer) {
    const bool wasBusy = IsBusy();
    mousePointer_ = pointer;
    switch (pointer) {
        case BusyPointer:
            setCursor(Qt::WaitCursor);
            break;
        case CustomPointer:
            setCursor(handPointer_.value_or(QCursor(Qt::PointingHandCursor)));
            break;
        default:
            setCursor(Qt::ArrowCursor);
            break;
    }
    if (IsBusy() != wasBusy) {
        ShowOwnPointers();
    }
}

void Form1::SetListPointer(const QCursor &pointer) {
    listPointer_ = pointer;
    ShowOwnPointers();
}

// The text box and the list's rows have pointers of their own, which would hide the hourglass.
void Form1::ShowOwnPointers() {
    const QCursor hourglass(Qt::WaitCursor);
    Text1->setCursor(IsBusy() ? hourglass : QCursor(Qt::IBeamCursor));
    ListView1->viewport()->setCursor(IsBusy() ? hourglass : listPointer_);
}

bool Form1::eventFilter(QObject *watched, QEvent *event) {
    if (watched == ListView1->viewport() && listMouseEvent(event)) {
        return true;
    }
    if (watched == ListView1 || watched == ListView1->viewport()) {
        return listViewEvent(event);
    }
    if (pressFocusedButton(watched, event)) {
        return true;
    }
    if (event->type() == QEvent::MouseMove) {
        const bool overButton = qobject_cast<QPushButton *>(watched) != nullptr;
        ApplyPointerRule(overButton ? CustomPointer : DefaultPointer);
    }
    return false;
}

// Return presses the button that has the keyboard, as Space does.
bool Form1::pressFocusedButton(QObject *watched, QEvent *event) {
    auto *button = qobject_cast<QPushButton *>(watched);
    if (button == nullptr || event->type() != QEvent::KeyPress) {
        return false;
    }
    const int key = static_cast<QKeyEvent *>(event)->key();
    if (key != Qt::Key_Return && key != Qt::Key_Enter) {
        return false;
    }
    button->click();
    return true;
}

bool Form1::listViewEvent(QEvent *event) {
    if (listViewDragEvent(event)) {
        return true;
    }
    if (event->type() == QEvent::KeyPress) {
        ListView1_KeyDown(static_cast<QKeyEvent *>(event)->key());
    } else if (event->type() == QEvent::MouseButtonDblClick) {
        ListView1_DblClick();
    }
    return false;
}

// Mouse events of the list's rows area, in the list's own coordinates. Moves with a button down
// carry a row and are not passed on: Qt would select whatever row a scroll brought under the
// pointer. Returns true when the event is used up.
bool Form1::listMouseEvent(QEvent *event) {
    switch (event->type()) {
        case QEvent::MouseButtonPress:
            ListView1_MouseDown();
            return false;
        case QEvent::MouseMove:
            ListView1_MouseMove(static_cast<QMouseEvent *>(event)->position().toPoint());
            return DragArmed;
        case QEvent::MouseButtonRelease:
            ListView1_MouseUp();
            return false;
        default:
            return false;
    }
}

// File drops reach the list's viewport as Qt drag events. The list only reads the dropped paths,
// so it answers with a copy or a link, never a move: the source would delete the files.
bool Form1::listViewDragEvent(QEvent *event) {
    const auto type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop) {
        return false;
    }
    auto *drop = static_cast<QDropEvent *>(event);
    const Qt::DropActions possible = drop->possibleActions();
    Qt::DropAction effect = possible.testFlag(Qt::CopyAction)   ? Qt::CopyAction
                            : possible.testFlag(Qt::LinkAction) ? Qt::LinkAction
                                                                : Qt::IgnoreAction;
    ListView1_OLEDragOver(drop->mimeData(), effect);
    drop->setDropAction(effect);
    drop->setAccepted(effect != Qt::IgnoreAction);
    if (type == QEvent::Drop && drop->isAccepted()) {
        ListView1_OLEDragDrop(drop->mimeData());
    }
    return true;
}

MessageAnswer Form1::ShowMessage(const QString &text, MessageButtons buttons) {
    return services_.desktop.messageBox(text, applicationTitle_, MessageIcon::None, buttons);
}

void Form1::PushButton1_Click() {
    ErrorTrap trap(services_.desktop, QStringLiteral("Form1.PushButton1_Click"));
    QString start;
    QString chosen;
    // The folder in the box when there is one, else the last one picked.
    trap.step(100, [&] {
        const QString current = OutputFolderText();
        start = Main::FolderExists(current)
                    ? FileSystem::withoutTrailingSeparators(current)
                    : services_.settings.read(SettingNames::LastFolderDot, QString());
    });
    trap.step(102, [&] {
        chosen = AddFolder::BrowseForFolder(services_.desktop, this, FolderPrompt, start);
    });
    if (chosen.isEmpty()) {
        return;
    }
    trap.step(106, [&] { services_.settings.write(SettingNames::LastFolderDot, chosen); });
    trap.step(
        108, [&] { Text1->setText(chosen.endsWith(QChar(u'/')) ? chosen : chosen + QChar(u'/')); });
}

void Form1::PushButton2_Click() {
    // While a batch runs the button reads "Stop".
    if (runningBatch_ != nullptr) {
        runningBatch_->Stop();
        return;
    }
    RemovalBatch batch(*this, services_.desktop, services_.programFolder);
    runningBatch_ = &batch;
    batch.Run();
    runningBatch_ = nullptr;
}

int Form1::FileRowCount() const {
    return fileList_->FileRowCount();
}

QString Form1::RowText(int position) const {
    return fileList_->RowText(position);
}

// "~" stands for the home folder, as in a shell.
QString Form1::OutputFolderText() const {
    const QString text = Text1->text();
    const bool home = text == QStringLiteral("~") || text.startsWith(QStringLiteral("~/"));
    return home ? QDir::homePath() + text.mid(1) : text;
}

ProgressBar &Form1::Progress() {
    return *ProgressBar1;
}

void Form1::ShowPlainMessage(const QString &text) {
    ShowMessage(text);
}

bool Form1::Ask(const QString &question) {
    return ShowMessage(question, MessageButtons::YesNo) == MessageAnswer::Yes;
}

int Form1::ShowDetailedMessage(DetailedMessage message) {
    message.title = applicationTitle_;
    return services_.desktop.detailedMessageBox(message);
}

void Form1::SetBatchRunning(bool running) {
    const QList<QWidget *> locked = {ListView1,   PushButton4, PushButton3, PushButton6,
                                     PushButton7, Text1,       PushButton1};
    for (QWidget *control : locked) {
        control->setEnabled(!running);
    }
    PushButton2->setText(running ? QStringLiteral("Stop")
                                 : QStringLiteral("Start Removing Metadata"));
}

void Form1::RemoveRows(const std::vector<int> &positions) {
    for (auto position = positions.rbegin(); position != positions.rend(); ++position) {
        fileList_->RemoveRow(*position);
    }
}

void Form1::PushButton3_Click() {
    ErrorTrap trap(services_.desktop, QStringLiteral("Form1.PushButton3_Click"));
    QString extension;
    trap.step(100, [&] {
        extension = services_.desktop.inputBox(
            ExtensionPrompt, applicationTitle_,
            services_.settings.read(SettingNames::Extension, QStringLiteral("*")));
    });
    if (extension.isEmpty()) {
        return;
    }
    QString folder;
    trap.step(106, [&] {
        folder = AddFolder::BrowseForFolder(
            services_.desktop, this, FolderPrompt,
            services_.settings.read(SettingNames::LastFolder, QString()));
    });
    if (folder.isEmpty()) {
        return;
    }
    trap.step(110, [&] { services_.settings.write(SettingNames::LastFolder, folder); });
    trap.step(112, [&] { SetMousePointer(BusyPointer); });
    const QStringList patterns = FolderFiles::PatternsForExtensions(extension);
    const FolderFiles::Found found = FolderFiles::AddAllFilesInFolder(
        {*fileList_, services_.desktop, trap, 114}, folder, patterns);
    trap.step(118, [&] { SetMousePointer(DefaultPointer); });
    // A search that found nothing is not offered again as the next default.
    if (found.added > 0) {
        trap.step(104, [&] { services_.settings.write(SettingNames::Extension, extension); });
    }
    const QString message = FolderFiles::ScanMessage(found, patterns, folder);
    if (!message.isEmpty()) {
        trap.step(120, [&] { ShowMessage(message); });
    }
}

void Form1::PushButton4_Click() {
    ErrorTrap trap(services_.desktop, QStringLiteral("Form1.PushButton4_Click"));
    QString picked;
    trap.step(100, [&] {
        try {
            picked = services_.desktop.openFileDialog(this, AddFilesDialog::Request());
        } catch (const AppError &error) {
            if (error.number() != ErrorNumber::BufferTooSmall) {
                throw;
            }
            ShowMessage(AddFilesDialog::TooManyFilesMessage);
        }
    });
    trap.step(102, [&] {
        for (const QString &path : AddFilesDialog::PathsFromResult(picked)) {
            fileList_->AddFileRow(path);
        }
    });
}

void Form1::PushButton5_Click() {
    ErrorTrap trap(services_.desktop, QStringLiteral("Form1.PushButton5_Click"));
    trap.step(100, [this] { ShowMessage(Help::HelpMessage()); });
}

void Form1::PushButton6_Click() {
    ErrorTrap trap(services_.desktop, QStringLiteral("Form1.PushButton6_Click"));
    trap.step(100, [this] {
        QStringList cleared = FileListOperations::ClearFileList(*fileList_, IsBusy());
        if (!cleared.isEmpty()) {
            clearedRows_ = std::move(cleared);
        }
    });
}

void Form1::PushButton7_Click() {
    ErrorTrap trap(services_.desktop, QStringLiteral("Form1.PushButton7_Click"));
    trap.step(100, [this] { AddSampleFiles(); });
}

void Form1::AddSampleFiles() {
    SampleFiles::AddRecordedSamples(*fileList_,
                                    services_.settings.read(SettingNames::Snapshot, QString()));
    const QString folder = SampleFiles::SampleFolder(services_.programFolder) + QStringLiteral("/");
    if (ShowMessage(SampleFiles::Question, MessageButtons::YesNo) == MessageAnswer::Yes &&
        !services_.desktop.openFolder(folder)) {
        ShowMessage(noFileManagerMessage(folder));
    }
}

void Form1::ListView1_KeyDown(int key) {
    if (key == Qt::Key_Delete) {
        RemoveSelectedRows();
    }
}

void Form1::ListView1_DblClick() {
    RemoveSelectedRows();
}

void Form1::RemoveSelectedRows() {
    FileListOperations::RemoveSelectedRows(*fileList_, *ListView1->selectionModel(),
                                           IsBusy() || runningBatch_ != nullptr);
}

void Form1::ListView1_MouseDown() {
    DragArmed = true;
}

void Form1::ListView1_ItemClick() {
    // Read afresh on every click; without the picture the list keeps its normal pointer.
    const QPixmap picture(services_.programFolder + QStringLiteral("/drag.ico"));
    SetListPointer(picture.isNull() ? QCursor(Qt::ArrowCursor) : QCursor(picture));
    // The row pressed, which need not be the first of several selected.
    DragRow = ListView1->currentIndex();
}

void Form1::ListView1_MouseMove(const QPoint &position) {
    ApplyPointerRule(DefaultPointer);
    // A running batch reads the rows by position: moving them then would skip a file.
    if (!DragArmed || IsBusy()) {
        return;
    }
    const QModelIndex HitRow = ListView1->indexAt(position);
    if (!HitRow.isValid() || !DragRow.isValid()) {
        return;
    }
    const int hitPosition = HitRow.row() + 1;
    if (!RowReorder::CarryRow(*fileList_, DragRow.row() + 1, hitPosition)) {
        return;
    }
    ListView1->setCurrentIndex(HitRow);
    DragRow = HitRow;
    const int reveal = RowReorder::RowToReveal(hitPosition, fileList_->FileRowCount(),
                                               EventPump::pointerPosition().y());
    if (reveal > 0) {
        ListView1->scrollTo(fileList_->index(reveal - 1));
    }
}

void Form1::ListView1_MouseUp() {
    DragArmed = false;
    SetListPointer(QCursor(Qt::ArrowCursor));
}

void Form1::ListView1_OLEDragOver(const QMimeData *dragData, Qt::DropAction &effect) {
    // A running batch has read the list already.
    if (runningBatch_ != nullptr || dragData == nullptr ||
        FolderFiles::DroppedPaths(*dragData).isEmpty()) {
        effect = Qt::IgnoreAction;
    }
}

void Form1::ListView1_OLEDragDrop(const QMimeData *dragData) {
    if (dragData == nullptr || runningBatch_ != nullptr) {
        return;
    }
    ErrorTrap trap(services_.desktop, QStringLiteral("Form1.ListView1_OLEDragDrop"));
    FolderFiles::AddDroppedPaths({*fileList_, services_.desktop, trap, 100},
                                 FolderFiles::DroppedPaths(*dragData));
}
