#include "engine/WorkingFolder.h"

#include "platform/AppError.h"
#include "platform/LockedFolder.h"

namespace {

const QString Prefix = QStringLiteral("parchwipe-");

}  // namespace

WorkingFolder::WorkingFolder() = default;
WorkingFolder::~WorkingFolder() = default;

bool WorkingFolder::create(const QString &temporaryFolder) {
    try {
        folder_ = std::make_unique<LockedFolder>(temporaryFolder, Prefix);
    } catch (const AppError &) {
        folder_.reset();
    }
    return folder_ != nullptr;
}

QString WorkingFolder::path() const {
    return folder_ ? folder_->path() : QString();
}

void WorkingFolder::remove() {
    folder_.reset();
}

void WorkingFolder::RemoveLeftOvers(const QString &temporaryFolder) {
    LockedFolder::RemoveAbandoned(temporaryFolder, Prefix);
}
