#include "formats/core/Stop.h"

namespace Formats {

namespace {

// Each worker thread watches the flag of the batch it works for; no flag means never stop.
thread_local const std::atomic<bool> *watchedFlag = nullptr;
// Where the worker's file tells how it is going; none outside a batch.
thread_local FileWatch *watchedFile = nullptr;
// Inside a file within the file at work, walked() tells nothing.
thread_local bool walkingInside = false;

}  // namespace

bool stopRequested() {
    if (watchedFlag == nullptr || !watchedFlag->load(std::memory_order_relaxed)) {
        return false;
    }
    if (watchedFile != nullptr) {
        watchedFile->givenUp.store(true, std::memory_order_release);
    }
    return true;
}

void throwIfStopped() {
    if (stopRequested()) {
        throw Stopped();
    }
}

void walked(std::uint64_t position) {
    // Only this thread writes it; the window only reads.
    if (watchedFile != nullptr && !walkingInside &&
        position > watchedFile->reached.load(std::memory_order_relaxed)) {
        watchedFile->reached.store(position, std::memory_order_relaxed);
    }
}

StopWatch::StopWatch(const std::atomic<bool> &flag, FileWatch *file)
    : previous_(watchedFlag), previousFile_(watchedFile) {
    watchedFlag = &flag;
    watchedFile = file;
}

StopWatch::~StopWatch() {
    watchedFlag = previous_;
    watchedFile = previousFile_;
}

InnerWalk::InnerWalk() : previous_(walkingInside) {
    walkingInside = true;
}

InnerWalk::~InnerWalk() {
    walkingInside = previous_;
}

}  // namespace Formats
