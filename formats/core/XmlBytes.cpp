#include "formats/core/XmlBytes.h"

namespace Formats {

XmlBytesReader::XmlBytesReader(const Bytes &xml)
    : bytes_(QByteArray::fromRawData(xml.data(), static_cast<qsizetype>(xml.size()))),
      buffer_(&bytes_) {
    buffer_.open(QIODevice::ReadOnly);
    setDevice(&buffer_);
}

XmlBytesOutput::XmlBytesOutput(std::size_t expected) {
    bytes_.reserve(expected + expected / 16 + 4096);
    open(QIODevice::WriteOnly);
}

qint64 XmlBytesOutput::writeData(const char *data, qint64 length) {
    bytes_.append(data, static_cast<std::size_t>(length));
    return length;
}

}  // namespace Formats
