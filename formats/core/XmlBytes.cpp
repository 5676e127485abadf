#include "formats/core/XmlBytes.h"

#include "formats/core/Stop.h"

namespace Formats {

XmlBytesReader::XmlBytesReader(const Bytes &xml)
    : bytes_(QByteArray::fromRawData(xml.data(), static_cast<qsizetype>(xml.size()))),
      buffer_(&bytes_) {
    buffer_.open(QIODevice::ReadOnly);
    setDevice(&buffer_);
}

bool XmlBytesReader::next() {
    // A token is small work; a look at the flag per thousand keeps a large part answering.
    constexpr unsigned TokensBetweenLooks = 1024;
    if (atEnd()) {
        return false;
    }
    if (++tokens_ % TokensBetweenLooks == 0) {
        throwIfStopped();
    }
    readNext();
    return true;
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
