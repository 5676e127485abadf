#include "formats/core/Notes.h"

#include <algorithm>

namespace Formats {

namespace {

thread_local NoteCollector *collector = nullptr;

// A hostile file can hold thousands of unknown parts; the details show this many.
constexpr std::size_t MaxNotes = 16;

}  // namespace

void note(const std::string &text) {
    if (collector != nullptr) {
        collector->add(text);
    }
}

void NoteCollector::add(const std::string &text) {
    if (notes_.size() < MaxNotes && std::find(notes_.begin(), notes_.end(), text) == notes_.end()) {
        notes_.push_back(text);
    }
}

NoteCollector::NoteCollector() : previous_(collector) {
    collector = this;
}

NoteCollector::~NoteCollector() {
    collector = previous_;
}

}  // namespace Formats
