#pragma once

#include "formats/core/Formats.h"

#include <QStringView>

#include <optional>
#include <vector>

namespace Formats {

// The base64 data of a document's data: URIs, taken out of its bytes before an XML reader reads
// it: Qt's reader and writer take tens of milliseconds to carry a photo's 800 KB of base64, which
// needs only decoding. The data of each URI that lies plain in the bytes (no entity in its
// header or data, the data ended by a quote, a bracket or markup, and decodable) gives way to a
// short stand-in, so the reader sees the same URI with less data. Nothing is taken out of a
// document with zero bytes (UTF-16 or UTF-32) or one that already holds a stand-in's text.
class DataUriPayloads {
  public:
    struct Payload {
        std::size_t start = 0;  // where its base64 stands in the document, and ends
        std::size_t end = 0;
        Bytes data;  // what it stands for
    };

    // `document` must outlive this.
    explicit DataUriPayloads(const Bytes &document);

    // The document with stand-ins, for the XML reader.
    const Bytes &swapped() const { return payloads_.empty() ? document_ : swapped_; }
    // The payload a URI's data stands in for, or null.
    const Payload *standingIn(QStringView data) const;
    // The base64 to put back for a payload instead of the one that stood in the document.
    void replace(const Payload &payload, Bytes base64);
    // XML written from the swapped document, with each stand-in it still holds given back its
    // base64.
    Bytes restored(Bytes xml) const;

  private:
    // Past the data: URI whose colon stands at `colon`, taking its data when it lies plain.
    std::size_t takeAt(std::size_t colon);

    const Bytes &document_;
    Bytes swapped_;
    std::vector<Payload> payloads_;
    std::vector<std::optional<Bytes>> replaced_;
};

}  // namespace Formats
