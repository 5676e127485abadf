#pragma once

#include <atomic>
#include <exception>

namespace Formats {

// Thrown by a pass that was asked to stop: its batch is ending and no longer wants the result.
class Stopped : public std::exception {
  public:
    const char *what() const noexcept override { return "stopped before it was cleaned"; }
};

// Long passes call this between parts and blocks, so that a closing window never waits for a
// large file. Throws Stopped once the flag this thread watches is set.
void throwIfStopped();

// While it lives, throwIfStopped() on the calling thread watches flag.
class StopWatch {
  public:
    explicit StopWatch(const std::atomic<bool> &flag);
    ~StopWatch();
    StopWatch(const StopWatch &) = delete;
    StopWatch &operator=(const StopWatch &) = delete;

  private:
    const std::atomic<bool> *previous_;
};

}  // namespace Formats
