#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>

#include <stdexcept>

ScratchFolder::ScratchFolder() : path_(dir_.path()) {
    if (!dir_.isValid()) {
        throw std::runtime_error("no temporary folder");
    }
}

QString ScratchFolder::operator/(const QString &relative) const {
    return path_ + QStringLiteral("/") + relative;
}

QString writeFile(const QString &path, const QByteArray &bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        throw std::runtime_error("cannot write test file");
    }
    return path;
}

QByteArray readFile(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.readAll();
}

QString makeFolder(const QString &path) {
    QDir().mkpath(path);
    return path;
}

QByteArray runTool(const QString &program, const QStringList &arguments) {
    QProcess tool;
    tool.start(program, arguments);
    if (!tool.waitForFinished(-1) || tool.exitCode() != 0) {
        throw std::runtime_error("tool failed: " + program.toStdString());
    }
    return tool.readAllStandardOutput();
}

void clearSettings() {
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Tarnwick"),
                    QStringLiteral("Parchwipe"));
    store.clear();
    store.sync();
}
