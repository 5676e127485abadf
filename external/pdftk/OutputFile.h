#pragma once

#include <qpdf/Pipeline.hh>

#include <stdexcept>
#include <string>

// The disk had no room for the output.
class DiskFull : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Where a PDF is written: a new file of our own beside the output, with a short name that fits
// wherever the output's does. Every write is checked; commit() syncs and closes it, checking both,
// and only then renames it over the output. Until then the output is untouched, and the partial
// file goes when this object does. Failures throw std::runtime_error (DiskFull for a full disk).
class OutputFile : public Pipeline {
  public:
    explicit OutputFile(const std::string &output);
    ~OutputFile() override;

    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    void write(unsigned char const *data, size_t length) override;
    void finish() override {}
    void commit();
    // Where the output is being written until commit() puts it in place.
    const std::string &partialPath() const { return partial_; }

  private:
    [[noreturn]] void fail(const std::string &what) const;

    std::string output_;
    std::string partial_;
    int fd_ = -1;
};
