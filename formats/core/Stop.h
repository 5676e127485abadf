#pragma once

#include <atomic>
#include <cstdint>
#include <exception>

namespace Formats {

// Thrown by a pass that was asked to stop: its batch is ending and no longer wants the result.
class Stopped : public std::exception {
  public:
    const char *what() const noexcept override { return "stopped before it was cleaned"; }
};

// Long passes call this between parts and blocks, at least every 16 MiB or 50 ms of work, so that
// a closing window never waits for a large file. Throws Stopped once the flag this thread watches
// is set.
void throwIfStopped();
// The same for code that must not throw (a library's callback): true once the flag is set.
bool stopRequested();

// Tells how far the work on the file at hand has come, in bytes of it (an offset reached, or the
// bytes copied), for the progress bar of a large file. Only the largest position counts.
void walked(std::uint64_t position);

// While it lives, throwIfStopped() on the calling thread watches flag, and walked() raises
// `reached` when one is given.
class StopWatch {
  public:
    explicit StopWatch(const std::atomic<bool> &flag,
                       std::atomic<std::uint64_t> *reached = nullptr);
    ~StopWatch();
    StopWatch(const StopWatch &) = delete;
    StopWatch &operator=(const StopWatch &) = delete;

  private:
    const std::atomic<bool> *previous_;
    std::atomic<std::uint64_t> *previousReached_;
};

// While it lives, walked() on the calling thread tells nothing: a file inside another is walked
// in offsets of its own, which say nothing of how far the file around it has come.
class InnerWalk {
  public:
    InnerWalk();
    ~InnerWalk();
    InnerWalk(const InnerWalk &) = delete;
    InnerWalk &operator=(const InnerWalk &) = delete;

  private:
    std::atomic<std::uint64_t> *previous_;
};

}  // namespace Formats
