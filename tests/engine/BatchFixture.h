#pragma once

#include "filelist/FileListModel.h"
#include "support/TestWindow.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QLineEdit>

inline QStringList entriesOf(const QString &folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

// A window whose batches read sources from one temporary folder, work in another (TEMP) and
// write into a third.
class BatchFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        savedTemp_ = qgetenv("TEMP");
        useTemp(temp.path());
        form.Text1->setText(output.path() + QStringLiteral("/"));
    }
    void TearDown() override { qputenv("TEMP", savedTemp_); }

    void useTemp(const QString &folder) { qputenv("TEMP", QFile::encodeName(folder)); }
    QString source(const QString &name, const QByteArray &bytes = "plain bytes") {
        return writeFile(sources / name, bytes);
    }
    void add(const QString &path) { form.FileList().AddFileRow(path); }
    void run() { form.PushButton2_Click(); }
    QString out(const QString &name) const { return output / name; }
    // The closing message's first lines: "Done.", then how many files were cleaned and where.
    QString done(int cleaned, int files) const {
        return QStringLiteral("Done.\r\n\r\n%1 of %2 files were cleaned into %3")
            .arg(QString::number(cleaned), QString::number(files), form.Text1->text());
    }
    // The closing message's paragraph on files of unknown kinds: "(no extension): 2\r\n.txt: 1".
    static QString unknown(int count, const QString &perExtension) {
        return QStringLiteral(
                   "\r\n\r\n%1 files of kinds Parchwipe does not know were copied as they are:\r\n")
                   .arg(count) +
               perExtension;
    }
    QString lastMessage() const {
        return window.desktop.messages.empty() ? QString() : window.desktop.messages.back().text;
    }

    ScratchFolder sources;
    ScratchFolder output;
    ScratchFolder temp;
    TestWindow window;
    Form1 &form = window.load();

  private:
    QByteArray savedTemp_;
};
