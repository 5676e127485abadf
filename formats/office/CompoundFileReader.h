#pragma once

#include "formats/core/Formats.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace CompoundFile {

// Where a piece of a stream lies in the file.
struct Run {
    std::size_t offset;
    std::size_t size;
};

struct Stream {
    std::string name;     // characters outside ASCII read as '?'
    std::string path;     // the storages that hold it and its name, "ObjectPool/_1234/CONTENTS"
    std::size_t storage;  // directory entry of the storage that holds it; 0 is the root
    std::size_t entry;    // its own directory entry
    std::vector<Run> runs;
};

// Walks a compound file's sectors and directory once, then reads and overwrites its streams in
// place; a stream that changes size has the file written anew when the walk finishes. Every chain
// is followed with its sectors bounded by the file and visited at most once. Throws
// Formats::Refused for a structure it cannot walk.
class Reader {
  public:
    explicit Reader(Formats::Bytes &file);

    // Every stream reachable from the root, storages nested in storages included.
    const std::vector<Stream> &streams() const { return streams_; }
    // The stream of that name, in any letter case, in the same storage, or null.
    const Stream *sibling(const Stream &stream, const std::string &name) const;

    Formats::Bytes read(const Stream &stream) const;
    // Writes bytes of the stream's own size over it, or keeps bytes of another size for finish().
    void overwrite(const Stream &stream, const Formats::Bytes &bytes);

    // Zeroes the creation and change times of every storage and the bytes of every sector, mini
    // sector and directory entry in no use, where earlier contents may linger; then, when a
    // stream changed size, writes the file anew.
    void finish();

  private:
    std::size_t sectorOffset(std::uint32_t sector, std::size_t size) const;
    std::vector<std::uint32_t> chain(std::uint32_t start, const std::vector<std::uint32_t> &table,
                                     const std::string &what);
    void markUsed(const std::vector<std::uint32_t> &sectors);
    void markMiniUsed(const std::vector<std::uint32_t> &sectors);
    std::vector<std::uint32_t> readTable(const std::vector<std::uint32_t> &sectors) const;
    std::vector<std::uint32_t> fatSectors();
    std::vector<Run> regularRuns(std::uint32_t start, std::uint64_t size);
    std::vector<Run> miniRuns(std::uint32_t start, std::uint64_t size);
    Run miniSector(std::uint32_t sector, std::size_t size) const;
    std::string entryName(std::size_t at) const;
    void walkDirectory();
    void addStream(std::size_t entry, std::size_t storage, const std::string &folder);
    void zeroTimesAndFreeSpace();
    Formats::Bytes rewritten() const;

    Formats::Bytes &file_;
    std::size_t sectorSize_ = 0;
    std::vector<std::uint32_t> fat_;
    std::vector<std::uint32_t> miniFat_;
    std::vector<Run> miniStream_;
    std::vector<std::size_t> entries_;  // offset of each directory entry in the file
    std::vector<bool> reached_;         // per entry: reached from the root
    // Per sector: 0 when free, else the number of the chain that holds it, counted from 1.
    std::vector<std::uint32_t> used_;
    std::uint32_t chains_ = 0;
    std::vector<bool> usedMini_;  // per mini sector: a stream holds it
    std::uint64_t streamBytes_ = 0;
    std::vector<Stream> streams_;
    std::map<std::size_t, Formats::Bytes> resized_;  // by entry
};

// Whether two stream names are the same in any letter case.
bool sameName(const std::string &one, const std::string &other);

}  // namespace CompoundFile
