#include "formats/core/Stop.h"

namespace Formats {

namespace {

// Each worker thread watches the flag of the batch it works for; no flag means never stop.
thread_local const std::atomic<bool> *watchedFlag = nullptr;
// Where the worker's file shows how far it has come; none outside a batch and inside a file.
thread_local std::atomic<std::uint64_t> *reachedSoFar = nullptr;

}  // namespace

bool stopRequested() {
    return watchedFlag != nullptr && watchedFlag->load(std::memory_order_relaxed);
}

void throwIfStopped() {
    if (stopRequested()) {
        throw Stopped();
    }
}

void walked(std::uint64_t position) {
    // Only this thread writes it; the window only reads.
    if (reachedSoFar != nullptr && position > reachedSoFar->load(std::memory_order_relaxed)) {
        reachedSoFar->store(position, std::memory_order_relaxed);
    }
}

StopWatch::StopWatch(const std::atomic<bool> &flag, std::atomic<std::uint64_t> *reached)
    : previous_(watchedFlag), previousReached_(reachedSoFar) {
    watchedFlag = &flag;
    reachedSoFar = reached;
}

StopWatch::~StopWatch() {
    watchedFlag = previous_;
    reachedSoFar = previousReached_;
}

InnerWalk::InnerWalk() : previous_(reachedSoFar) {
    reachedSoFar = nullptr;
}

InnerWalk::~InnerWalk() {
    reachedSoFar = previous_;
}

}  // namespace Formats
