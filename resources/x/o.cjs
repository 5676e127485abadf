/* Parchwipe's skin: a Qt style sheet applied to the main window and its dialogs. */

Form1 {
    background-color: #f1f3f6;
}

QWidget {
    color: #1f2933;
}

QPushButton {
    background-color: #ffffff;
    border: 1px solid #c4cad3;
    border-radius: 6px;
    padding: 0 10px;
}

QPushButton:hover {
    background-color: #eef3fb;
    border-color: #8fa6c8;
}

QPushButton:pressed {
    background-color: #dde7f6;
}

QPushButton:focus {
    border-color: #7fa3e0;
}

QPushButton:disabled {
    color: #9aa3ae;
    background-color: #f5f6f8;
}

QPushButton#PushButton2 {
    background-color: #2f6fde;
    border-color: #2a63c7;
    color: #ffffff;
}

QPushButton#PushButton2:hover {
    background-color: #3b7cec;
}

QPushButton#PushButton2:pressed {
    background-color: #2559b5;
}

QTreeView {
    background-color: #ffffff;
    border: 1px solid #c4cad3;
    border-radius: 6px;
    selection-background-color: #d7e4fa;
    selection-color: #1f2933;
    outline: 0;
}

QTreeView::item {
    padding: 1px 2px;
}

QTreeView::item:hover {
    background-color: #f1f5fc;
}

QTreeView::item:selected {
    background-color: #d7e4fa;
    color: #1f2933;
}

QHeaderView {
    background-color: transparent;
}

QHeaderView::section {
    background-color: #f7f8fa;
    color: #52606d;
    border: none;
    border-bottom: 1px solid #dde1e6;
    border-right: 1px solid #dde1e6;
    padding: 2px 5px;
}

QGroupBox {
    background-color: transparent;
    border: 1px solid #d3d8df;
    border-radius: 6px;
    margin-top: 7px;
    color: #52606d;
}

QGroupBox::title {
    subcontrol-origin: margin;
    subcontrol-position: top left;
    left: 8px;
    padding: 0 4px;
    background-color: #f1f3f6;
}

QLineEdit {
    background-color: #ffffff;
    border: 1px solid #c4cad3;
    border-radius: 4px;
    padding: 0 6px;
    selection-background-color: #2f6fde;
}

QLineEdit:focus {
    border-color: #2f6fde;
}

QProgressBar {
    background-color: #ffffff;
    border: 1px solid #c4cad3;
    border-radius: 6px;
    text-align: center;
    color: #1f2933;
}

QProgressBar::chunk {
    background-color: #9cc0f5;
    border-radius: 5px;
}

QToolTip {
    background-color: #1f2933;
    color: #ffffff;
    border: none;
    padding: 4px 6px;
}

QScrollBar:vertical {
    background: transparent;
    width: 10px;
    margin: 2px;
}

QScrollBar::handle:vertical {
    background: #c4cad3;
    border-radius: 3px;
    min-height: 24px;
}

QScrollBar::handle:vertical:hover {
    background: #9aa5b4;
}

QScrollBar::add-line, QScrollBar::sub-line {
    height: 0;
    width: 0;
}

QScrollBar::add-page, QScrollBar::sub-page {
    background: transparent;
}

QScrollBar:horizontal {
    background: transparent;
    height: 10px;
    margin: 2px;
}

QScrollBar::handle:horizontal {
    background: #c4cad3;
    border-radius: 3px;
    min-width: 24px;
}

QMessageBox QPushButton, QInputDialog QPushButton, QFileDialog QPushButton {
    min-width: 72px;
    padding: 4px 12px;
}
