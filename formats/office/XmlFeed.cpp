#include "formats/office/XmlFeed.h"

#include "formats/core/Stop.h"

#include <QByteArray>

#include <algorithm>

namespace {

// Turned into text in a few milliseconds.
constexpr std::size_t Slice = std::size_t{4} << 20;

}  // namespace

XmlFeed::XmlFeed(QXmlStreamReader &reader, std::string_view xml) : reader_(reader), rest_(xml) {
    feed();
}

bool XmlFeed::next() {
    Formats::throwIfStopped();
    if (reader_.atEnd()) {
        return false;
    }
    reader_.readNext();
    while (reader_.error() == QXmlStreamReader::PrematureEndOfDocumentError && !rest_.empty()) {
        feed();
        reader_.readNext();
    }
    return true;
}

void XmlFeed::feed() {
    const std::size_t size = std::min(Slice, rest_.size());
    reader_.addData(QByteArray(rest_.data(), static_cast<qsizetype>(size)));
    rest_.remove_prefix(size);
}
