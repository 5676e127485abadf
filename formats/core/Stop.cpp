#include "formats/core/Stop.h"

namespace Formats {

namespace {

// Each worker thread watches the flag of the batch it works for; no flag means never stop.
thread_local const std::atomic<bool> *watchedFlag = nullptr;

}  // namespace

void throwIfStopped() {
    if (watchedFlag != nullptr && watchedFlag->load(std::memory_order_relaxed)) {
        throw Stopped();
    }
}

StopWatch::StopWatch(const std::atomic<bool> &flag) : previous_(watchedFlag) {
    watchedFlag = &flag;
}

StopWatch::~StopWatch() {
    watchedFlag = previous_;
}

}  // namespace Formats
