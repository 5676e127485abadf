#include "formats/Pdf.h"

#include "formats/Jpeg.h"

#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFAcroFormDocumentHelper.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <set>
#include <vector>

namespace Pdf {

namespace {

const std::string TexRecordPrefix = "/PTEX.";

bool startsWith(const std::string &text, const std::string &prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

void refuseSigned(QPDF &pdf) {
    const Formats::Refused signedDocument("signed document: cleaning would break its signature");
    QPDFObjectHandle perms = pdf.getRoot().getKey("/Perms");
    if (perms.isDictionary() && perms.hasKey("/DocMDP")) {
        throw signedDocument;
    }
    for (QPDFFormFieldObjectHelper &field : QPDFAcroFormDocumentHelper(pdf).getFormFields()) {
        if (field.getFieldType() == "/Sig" && !field.getValue().isNull()) {
            throw signedDocument;
        }
    }
}

void replaceInformation(QPDF &pdf, const Information &information) {
    QPDFObjectHandle info = QPDFObjectHandle::newDictionary();
    for (const auto &[key, value] : information) {
        if (!value.empty()) {
            info.replaceKey("/" + key, QPDFObjectHandle::newUnicodeString(value));
        }
    }
    QPDFObjectHandle trailer = pdf.getTrailer();
    if (info.getKeys().empty()) {
        trailer.removeKey("/Info");
    } else {
        trailer.replaceKey("/Info", pdf.makeIndirectObject(info));
    }
}

// Signatures granting a form's extended features; any rewrite invalidates them, and they carry a
// signing date and authority.
void removeUsageRights(QPDF &pdf) {
    QPDFObjectHandle root = pdf.getRoot();
    QPDFObjectHandle perms = root.getKey("/Perms");
    if (!perms.isDictionary()) {
        return;
    }
    perms.removeKey("/UR");
    perms.removeKey("/UR3");
    if (perms.getKeys().empty()) {
        root.removeKey("/Perms");
    }
}

bool isMetadataKey(const std::string &key) {
    return key == "/Metadata" || key == "/PieceInfo" || key == "/LastModified" ||
           startsWith(key, TexRecordPrefix);
}

// Cleans the dictionary of the object and of every object written inside it; objects it refers
// to are cleaned in their own turn.
void removeMetadataKeys(QPDFObjectHandle object) {
    QPDFObjectHandle dictionary = object.isStream() ? object.getDict() : object;
    if (dictionary.isDictionary()) {
        for (const std::string &key : dictionary.getKeys()) {
            if (isMetadataKey(key)) {
                dictionary.removeKey(key);
            }
        }
        for (const std::string &key : dictionary.getKeys()) {
            QPDFObjectHandle value = dictionary.getKey(key);
            if (!value.isIndirect()) {
                removeMetadataKeys(value);
            }
        }
    } else if (object.isArray()) {
        for (QPDFObjectHandle item : object.aitems()) {
            if (!item.isIndirect()) {
                removeMetadataKeys(item);
            }
        }
    }
}

Formats::Bytes rawData(QPDFObjectHandle stream) {
    const std::shared_ptr<Buffer> data = stream.getRawStreamData();
    return Formats::Bytes(reinterpret_cast<const char *>(data->getBuffer()), data->getSize());
}

bool isJpegImage(QPDFObjectHandle stream) {
    QPDFObjectHandle filter = stream.getDict().getKey("/Filter");
    if (filter.isArray() && filter.getArrayNItems() == 1) {
        filter = filter.getArrayItem(0);
    }
    return filter.isNameAndEquals("/DCTDecode");
}

// An embedded photo keeps the Exif, XMP and comments it had as a file. Its orientation is the
// page's business, so none is kept.
void cleanJpegImage(QPDFObjectHandle stream) {
    if (!stream.isStream() || !isJpegImage(stream)) {
        return;
    }
    QPDFObjectHandle dictionary = stream.getDict();
    Formats::Bytes cleaned;
    try {
        cleaned = Jpeg::clean(rawData(stream), 1);
    } catch (const Formats::Refused &refused) {
        throw Formats::Refused(std::string("an embedded image: ") + refused.what());
    }
    stream.replaceStreamData(cleaned, dictionary.getKey("/Filter"),
                             dictionary.getKey("/DecodeParms"));
}

// The writer keeps the first half of an existing identifier and re-encrypts with the old
// parameters, which are tied to it; without them it makes a fresh identifier and writes the
// document in the clear. An owner password only asks readers to restrict what they offer.
void forgetFileIdentity(QPDF &pdf) {
    QPDFObjectHandle trailer = pdf.getTrailer();
    trailer.removeKey("/ID");
    trailer.removeKey("/Encrypt");
}

// What a written document still holds, found by walking what its trailer reaches: the walk and
// the keys it looks for are its own, so that a place the cleaning forgets cannot hide here.
class Inspection {
  public:
    explicit Inspection(QPDF &pdf) {
        if (pdf.getTrailer().hasKey("/Info")) {
            finding_ = "still holds document information";
            return;
        }
        pending_.push_back(pdf.getTrailer());
        while (finding_.empty() && !pending_.empty()) {
            QPDFObjectHandle object = pending_.back();
            pending_.pop_back();
            visit(object);
        }
    }

    const std::string &finding() const { return finding_; }

  private:
    void visit(QPDFObjectHandle object) {
        if (object.isIndirect() && !seen_.insert(object.getObjGen()).second) {
            return;
        }
        if (object.isStream()) {
            finding_ = jpegFinding(object);
            pending_.push_back(object.getDict());
        } else if (object.isArray()) {
            for (QPDFObjectHandle item : object.aitems()) {
                pending_.push_back(item);
            }
        } else if (object.isDictionary()) {
            for (auto [key, value] : object.ditems()) {
                finding_ = findingFor(key);
                if (!finding_.empty()) {
                    return;
                }
                pending_.push_back(value);
            }
        }
    }

    // Only a photo stored as it is, with no further filter over it, can be read here.
    static std::string jpegFinding(QPDFObjectHandle stream) {
        QPDFObjectHandle filters = stream.getDict().getKey("/Filter");
        if (!filters.isArray()) {
            filters = QPDFObjectHandle::newArray({filters});
        }
        if (filters.getArrayNItems() != 1 ||
            !filters.getArrayItem(0).isNameAndEquals("/DCTDecode")) {
            return {};
        }
        const std::string finding = Jpeg::remainingMetadata(rawData(stream));
        return finding.empty() ? finding : "an image " + finding;
    }

    static std::string findingFor(const std::string &key) {
        if (key == "/Metadata") {
            return "still holds XMP";
        }
        if (key == "/PieceInfo") {
            return "still holds application data";
        }
        if (key.rfind("/PTEX.", 0) == 0) {
            return "still holds TeX figure records";
        }
        return {};
    }

    std::vector<QPDFObjectHandle> pending_;
    std::set<QPDFObjGen> seen_;
    std::string finding_;
};

}  // namespace

void clean(QPDF &pdf, const Information &information) {
    refuseSigned(pdf);
    replaceInformation(pdf, information);
    removeUsageRights(pdf);
    removeMetadataKeys(pdf.getTrailer());
    for (QPDFObjectHandle object : pdf.getAllObjects()) {
        removeMetadataKeys(object);
        cleanJpegImage(object);
    }
    forgetFileIdentity(pdf);
}

std::string remainingMetadata(const Formats::Bytes &pdf) {
    QPDF written;
    written.setSuppressWarnings(true);
    written.setAttemptRecovery(false);
    try {
        written.processMemoryFile("written PDF", pdf.data(), pdf.size());
        return Inspection(written).finding();
    } catch (const QPDFExc &error) {
        return "cannot be read back: " + error.getMessageDetail();
    }
}

}  // namespace Pdf
