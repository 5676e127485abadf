#include "engine/Metadata.h"

#include "fsutil/Main.h"
#include "platform/AppError.h"
#include "platform/ErrorTrap.h"
#include "platform/FileSystem.h"

#include <QFile>

#include <array>

namespace Metadata {

namespace {

constexpr qint64 BlockSize = 4096;

AppError fileError(const QFile &file) {
    return AppError(ErrorNumber::PathFileAccess,
                    QStringLiteral("%1: %2").arg(file.fileName(), file.errorString()));
}

void open(QFile &file, QIODevice::OpenMode mode) {
    if (!file.open(mode)) {
        throw fileError(file);
    }
}

// Sizes and positions are 64-bit, so files of 2 GiB and more are copied whole.
void copyBlocks(QFile &source, QFile &target) {
    const qint64 size = source.size();
    std::array<char, BlockSize> block{};
    for (qint64 position = 0; position < size;) {
        const qint64 length = std::min(BlockSize, size - position);
        if (source.read(block.data(), length) != length) {
            throw fileError(source);
        }
        if (target.write(block.data(), length) != length) {
            throw fileError(target);
        }
        position += length;
    }
}

void close(QFile &target) {
    if (!target.flush()) {
        throw fileError(target);
    }
    target.close();
}

}  // namespace

void StripFile(Desktop &desktop, const QString &path) {
    ErrorTrap trap(desktop, QStringLiteral("Metadata.StripFile"));
    const QString scratchPath = path + QStringLiteral(".temp");
    QFile source(path);
    QFile scratch(scratchPath);
    // Each step needs the ones before it; a failure is reported once and P is never touched.
    const bool written = trap.step(100, [&] { open(source, QIODevice::ReadOnly); }) &&
                         trap.step(102, [&] { open(scratch, QIODevice::WriteOnly); }) &&
                         trap.step(106, [&] { copyBlocks(source, scratch); }) &&
                         trap.step(108, [&] { close(scratch); });
    source.close();
    scratch.close();
    if (written) {
        trap.step(110, [&] { FileSystem::replaceFile(scratchPath, path); });
    }
    trap.step(112, [&] { Main::DeleteFileQuietly(scratchPath); });
}

}  // namespace Metadata
