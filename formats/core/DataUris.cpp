#include "formats/core/DataUris.h"

#include "formats/core/Base64.h"
#include "formats/core/Limits.h"

#include <string_view>

namespace Formats {

namespace {

// Base64 letters only, so that a reader takes the stand-in for the URI's whole data; the
// payload's number and the end mark follow.
constexpr std::string_view StandIn = "DataUriStandIn";
constexpr char StandInEnd = 'x';

char lowered(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalNoCase(std::string_view text, std::string_view lower) {
    if (text.size() != lower.size()) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (lowered(text[i]) != lower[i]) {
            return false;
        }
    }
    return true;
}

bool isIn(char c, std::string_view set) {
    return set.find(c) != std::string_view::npos;
}

std::string standIn(std::size_t index) {
    return std::string(StandIn) + std::to_string(index) + StandInEnd;
}

// The number of the stand-in at the start of `text`, and its length; nothing when none is.
std::optional<std::pair<std::size_t, std::size_t>> standInAt(std::string_view text) {
    constexpr std::size_t MaxDigits = 9;
    if (text.substr(0, StandIn.size()) != StandIn) {
        return std::nullopt;
    }
    std::size_t index = 0;
    std::size_t at = StandIn.size();
    for (;
         at < text.size() && text[at] >= '0' && text[at] <= '9' && at < StandIn.size() + MaxDigits;
         ++at) {
        index = index * 10 + static_cast<std::size_t>(text[at] - '0');
    }
    if (at == StandIn.size() || at == text.size() || text[at] != StandInEnd) {
        return std::nullopt;
    }
    return std::make_pair(index, at + 1);
}

}  // namespace

DataUriPayloads::DataUriPayloads(const Bytes &document) : document_(document) {
    if (document.find('\0') != Bytes::npos || document.find(StandIn) != Bytes::npos) {
        return;
    }
    for (std::size_t colon = document.find(':'); colon != Bytes::npos;) {
        colon = document.find(':', takeAt(colon));
    }
    std::size_t copied = 0;
    for (std::size_t index = 0; index < payloads_.size(); ++index) {
        swapped_.append(document, copied, payloads_[index].start - copied);
        swapped_ += standIn(index);
        copied = payloads_[index].end;
    }
    swapped_.append(document, copied);
    replaced_.resize(payloads_.size());
}

// The URI's header, up to its comma, must hold nothing an XML reader reads otherwise and end in
// ";base64"; its data must end where an XML reader's text or value does, or at a url()'s bracket.
std::size_t DataUriPayloads::takeAt(std::size_t colon) {
    const std::string_view document = document_;
    if (colon < 4 || !equalNoCase(document.substr(colon - 4, 4), "data")) {
        return colon + 1;
    }
    const std::size_t header = colon + 1;
    std::size_t comma = header;
    while (comma < document.size() && comma - header <= Limits::DataUriHeaderLength &&
           !isIn(document[comma], ",\"'()<>&")) {
        ++comma;
    }
    const std::string_view base64 = ";base64";
    if (comma == document.size() || document[comma] != ',' || comma - header < base64.size() ||
        !equalNoCase(document.substr(comma - base64.size(), base64.size()), base64)) {
        return colon + 1;
    }
    const std::size_t start = comma + 1;
    const Base64Run run = base64RunAt(document, start);
    if (run.digitsEnd == start || run.end == document.size() || !isIn(document[run.end], "\"'<)")) {
        return run.end;
    }
    if (std::optional<Bytes> data = fromBase64(document.substr(start, run.digitsEnd - start))) {
        payloads_.push_back({start, run.digitsEnd, std::move(*data)});
    }
    return run.end;
}

const DataUriPayloads::Payload *DataUriPayloads::standingIn(QStringView data) const {
    // A stand-in is short: longer data is none, and is not copied to be compared.
    constexpr qsizetype Longest = 32;
    if (payloads_.empty() || data.size() > Longest) {
        return nullptr;
    }
    const std::string text = data.toLatin1().toStdString();
    const auto found = standInAt(text);
    return found && found->first < payloads_.size() && found->second == text.size()
               ? &payloads_[found->first]
               : nullptr;
}

void DataUriPayloads::replace(const Payload &payload, Bytes base64) {
    replaced_[static_cast<std::size_t>(&payload - payloads_.data())] = std::move(base64);
}

Bytes DataUriPayloads::restored(Bytes xml) const {
    if (payloads_.empty()) {
        return xml;
    }
    Bytes result;
    result.reserve(xml.size() + document_.size() - swapped_.size());
    std::size_t copied = 0;
    for (std::size_t at = xml.find(StandIn); at != Bytes::npos; at = xml.find(StandIn, at + 1)) {
        const auto found = standInAt(std::string_view(xml).substr(at));
        if (!found || found->first >= payloads_.size()) {
            continue;
        }
        const Payload &payload = payloads_[found->first];
        result.append(xml, copied, at - copied);
        if (replaced_[found->first]) {
            result += *replaced_[found->first];
        } else {
            result.append(document_, payload.start, payload.end - payload.start);
        }
        copied = at + found->second;
    }
    result.append(xml, copied);
    return result;
}

}  // namespace Formats
