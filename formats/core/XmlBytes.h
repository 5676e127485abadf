#pragma once

#include "formats/core/Formats.h"

#include <QBuffer>
#include <QByteArray>
#include <QIODevice>
#include <QXmlStreamReader>

namespace Formats {

// Reads XML bytes a block at a time. Handed the bytes whole, Qt's reader decodes them all at
// once into text twice their size: a part of 300 MB would cost 600 MB more.
class XmlBytesReader : public QXmlStreamReader {
  public:
    // `xml` must outlive the reader.
    explicit XmlBytesReader(const Bytes &xml);

    // Reads the next token, looking at the stop flag now and then: false once the reader was
    // already at its end (or at an error).
    bool next();

  private:
    QByteArray bytes_;
    QBuffer buffer_;
    unsigned tokens_ = 0;
};

// Where a QXmlStreamWriter writes straight into bytes, so that a large part is not copied out of
// a QByteArray afterwards. Room for the `expected` bytes of a copy of a part, and a little more
// (a declaration added, text escaped anew), is taken at once: growing the bytes later would hold
// the old and the new room together.
class XmlBytesOutput : public QIODevice {
  public:
    explicit XmlBytesOutput(std::size_t expected);
    Bytes take() { return std::move(bytes_); }

  protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 length) override;

  private:
    Bytes bytes_;
};

}  // namespace Formats
