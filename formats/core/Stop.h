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
// The same for code that must not throw (a library's callback, a copy asking whether to go on):
// true once the flag is set. Its caller then ends without writing the file, which counts as
// given up at once, as throwIfStopped() gives it up.
bool stopRequested();

// Tells how far the work on the file at hand has come, in bytes of it (an offset reached, or the
// bytes copied), for the progress bar of a large file. Only the largest position counts.
void walked(std::uint64_t position);

// What a worker's file tells the batch while it is at work.
struct FileWatch {
    std::atomic<std::uint64_t> reached{0};  // as walked() tells it
    // Set once the stop is seen: the file will not be written, whatever its pass still frees.
    std::atomic<bool> givenUp{false};
};

// While it lives, throwIfStopped() on the calling thread watches flag, and walked() and
// throwIfStopped() tell `file` when one is given.
class StopWatch {
  public:
    explicit StopWatch(const std::atomic<bool> &flag, FileWatch *file = nullptr);
    ~StopWatch();
    StopWatch(const StopWatch &) = delete;
    StopWatch &operator=(const StopWatch &) = delete;

  private:
    const std::atomic<bool> *previous_;
    FileWatch *previousFile_;
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
    bool previous_;
};

}  // namespace Formats
