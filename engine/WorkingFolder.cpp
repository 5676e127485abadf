#include "engine/WorkingFolder.h"

bool WorkingFolder::create(const QString &temporaryFolder) {
    dir_ = std::make_unique<QTemporaryDir>(temporaryFolder + QStringLiteral("/parchwipe-XXXXXX"));
    if (!dir_->isValid()) {
        dir_.reset();
    }
    return dir_ != nullptr;
}

QString WorkingFolder::path() const {
    return dir_ ? dir_->path() : QString();
}

void WorkingFolder::remove() {
    dir_.reset();
}
