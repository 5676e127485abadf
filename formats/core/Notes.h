#pragma once

#include <string>
#include <vector>

namespace Formats {

// What a pass left as it is and the user should know of ("keeps word/embeddings/x.bin as it is:
// its kind is unknown"). Passes note it wherever they are; the batch collects a file's notes for
// its details. Like the stop flag, it is the calling thread's own.
void note(const std::string &text);

// While it lives, note() on the calling thread adds to it.
class NoteCollector {
  public:
    NoteCollector();
    ~NoteCollector();
    NoteCollector(const NoteCollector &) = delete;
    NoteCollector &operator=(const NoteCollector &) = delete;

    void add(const std::string &text);
    const std::vector<std::string> &notes() const { return notes_; }

  private:
    NoteCollector *previous_;
    std::vector<std::string> notes_;
};

}  // namespace Formats
