#include "formats/documents/Pdf.h"

#include "formats/pictures/Jpeg.h"
#include "formats/pictures/Pictures.h"
#include "formats/pictures/Tiff.h"

#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFAcroFormDocumentHelper.hh>
#include <qpdf/QPDFEFStreamObjectHelper.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFNameTreeObjectHelper.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <cctype>
#include <set>
#include <utility>
#include <vector>

namespace Pdf {

namespace {

const std::string TexRecordPrefix = "/PTEX.";
const std::string XmpElementName = "xmpmeta";
const char *const DamagedXfa = "damaged XFA form";

// An attached PDF may attach another; deeper than this, neither cleaning nor check goes.
constexpr int MaxAttachmentDepth = 4;
// How far into a file readers look for the PDF header.
constexpr std::size_t PdfHeaderWindow = 1024;

enum class AttachmentKind { Pdf, Tiff, OfficeOrArchive, Other };

bool startsWithBytes(const Formats::Bytes &data, const char *signature, std::size_t length) {
    return data.size() >= length && data.compare(0, length, signature, length) == 0;
}

// Pictures tell their own kind to their passes; the rest is told here.
AttachmentKind attachmentKind(const Formats::Bytes &file) {
    if (file.substr(0, PdfHeaderWindow).find("%PDF-") != std::string::npos) {
        return AttachmentKind::Pdf;
    }
    if (startsWithBytes(file, "II*\0", 4) || startsWithBytes(file, "MM\0*", 4)) {
        return AttachmentKind::Tiff;
    }
    if (startsWithBytes(file, "PK\3\4", 4) ||
        startsWithBytes(file, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8)) {
        return AttachmentKind::OfficeOrArchive;
    }
    return AttachmentKind::Other;
}

Formats::Bytes bytesOf(const std::shared_ptr<Buffer> &buffer) {
    return Formats::Bytes(reinterpret_cast<const char *>(buffer->getBuffer()), buffer->getSize());
}

Formats::Bytes decodedData(QPDFObjectHandle stream) {
    return bytesOf(stream.getStreamData(qpdf_dl_generalized));
}

bool startsWith(const std::string &text, const std::string &prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// Said once however deep the attachment lies.
std::string inAttachment(const std::string &reason) {
    const std::string prefix = "an attachment: ";
    return startsWith(reason, prefix) ? reason : prefix + reason;
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

void removeAllKeys(QPDFObjectHandle dictionary) {
    if (dictionary.isDictionary()) {
        for (const std::string &key : dictionary.getKeys()) {
            dictionary.removeKey(key);
        }
    }
}

// Other objects may point to the old dictionary too, so it is emptied, not only unlinked.
void replaceInformation(QPDF &pdf, const Information &information) {
    removeAllKeys(pdf.getTrailer().getKey("/Info"));
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

// Besides XMP, application data and TeX records: the author, subject, keywords, applications and
// dates that document information holds, wherever else they appear (an attached file's parameters,
// a comment, an article thread, a layer's creator).
bool isMetadataKey(const std::string &key) {
    for (const char *metadataKey :
         {"/Metadata", "/PieceInfo", "/LastModified", "/CreationDate", "/ModDate", "/Author",
          "/Creator", "/Producer", "/Subject", "/Keywords"}) {
        if (key == metadataKey) {
            return true;
        }
    }
    return startsWith(key, TexRecordPrefix);
}

void cleanAttachmentEntry(QPDFObjectHandle fileSpec, int depth);

// Cleans the dictionary of the object and of every object written inside it; objects it refers
// to are cleaned in their own turn.
void cleanDictionaries(QPDFObjectHandle object, int depth) {
    QPDFObjectHandle dictionary = object.isStream() ? object.getDict() : object;
    if (dictionary.isDictionary()) {
        for (const std::string &key : dictionary.getKeys()) {
            if (isMetadataKey(key)) {
                dictionary.removeKey(key);
            }
        }
        if (dictionary.hasKey("/EF")) {
            cleanAttachmentEntry(dictionary, depth);
        }
        for (const std::string &key : dictionary.getKeys()) {
            QPDFObjectHandle value = dictionary.getKey(key);
            if (!value.isIndirect()) {
                cleanDictionaries(value, depth);
            }
        }
    } else if (object.isArray()) {
        for (QPDFObjectHandle item : object.aitems()) {
            if (!item.isIndirect()) {
                cleanDictionaries(item, depth);
            }
        }
    }
}

Formats::Bytes rawData(QPDFObjectHandle stream) {
    return bytesOf(stream.getRawStreamData());
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

// Who wrote a comment and when it last changed; its creation date goes with every other date. A
// widget's /T is the name of its form field, which the form needs.
void removeAuthorAndDates(QPDFObjectHandle annotation) {
    if (!annotation.isDictionary()) {
        return;
    }
    annotation.removeKey("/M");
    if (!annotation.getKey("/Subtype").isNameAndEquals("/Widget")) {
        annotation.removeKey("/T");
    }
}

void cleanAnnotations(QPDF &pdf) {
    for (QPDFPageObjectHelper &page : QPDFPageDocumentHelper(pdf).getAllPages()) {
        for (QPDFAnnotationObjectHelper &helper : page.getAnnotations()) {
            QPDFObjectHandle annotation = helper.getObjectHandle();
            removeAuthorAndDates(annotation);
            removeAuthorAndDates(annotation.getKey("/Popup"));
            removeAuthorAndDates(annotation.getKey("/IRT"));
        }
    }
}

std::string fileNameOnly(const std::string &path) {
    const std::size_t folderEnd = path.find_last_of("/\\");
    return folderEnd == std::string::npos ? path : path.substr(folderEnd + 1);
}

Formats::Bytes cleanedAttachment(const Formats::Bytes &file, int depth) {
    switch (attachmentKind(file)) {
        case AttachmentKind::Pdf:
            return cleanNested(file, depth + 1);
        case AttachmentKind::Tiff:
            return Tiff::clean(file);
        case AttachmentKind::OfficeOrArchive:
            // Their pass needs Qt, which this toolkit does without.
            throw Formats::Refused("an Office document or archive cannot be cleaned inside a PDF");
        case AttachmentKind::Other:
            break;
    }
    return Pictures::clean(file);
}

// The file goes through the pass of its kind; its size and checksum then describe the new bytes.
void cleanAttachedFile(QPDFObjectHandle file, int depth) {
    // Its dates go with every other date; these hold a Mac's creator and type codes and
    // resource fork.
    QPDFObjectHandle parameters = file.getDict().getKey("/Params");
    if (parameters.isDictionary()) {
        parameters.removeKey("/Mac");
    }
    const Formats::Bytes data = decodedData(file);
    const Formats::Bytes cleaned = cleanedAttachment(data, depth);
    if (cleaned == data) {
        return;
    }
    file.replaceStreamData(cleaned, QPDFObjectHandle::newNull(), QPDFObjectHandle::newNull());
    if (parameters.isDictionary()) {
        QPDFObjectHandle fresh =
            QPDFEFStreamObjectHelper::createEFStream(*file.getOwningQPDF(), cleaned)
                .getObjectHandle()
                .getDict()
                .getKey("/Params");
        parameters.replaceKey("/Size", fresh.getKey("/Size"));
        parameters.replaceKey("/CheckSum", fresh.getKey("/CheckSum"));
    }
}

// An attached file keeps its name but not the folders it came from.
void cleanAttachmentEntry(QPDFObjectHandle fileSpec, int depth) {
    for (const char *key : {"/F", "/UF"}) {
        QPDFObjectHandle name = fileSpec.getKey(key);
        if (name.isString()) {
            fileSpec.replaceKey(
                key, QPDFObjectHandle::newUnicodeString(fileNameOnly(name.getUTF8Value())));
        }
    }
    for (const char *key : {"/DOS", "/Mac", "/Unix"}) {
        fileSpec.removeKey(key);
    }
    QPDFObjectHandle files = fileSpec.getKey("/EF");
    if (!files.isDictionary()) {
        return;
    }
    for (auto [key, file] : files.ditems()) {
        if (!file.isStream()) {
            continue;
        }
        try {
            cleanAttachedFile(file, depth);
        } catch (const Formats::Refused &refused) {
            throw Formats::Refused(inAttachment(refused.what()));
        } catch (const std::exception &) {
            throw Formats::Refused("an attachment cannot be read");
        }
    }
}

// Attached files are listed by names that are often their paths; each keeps only its file name,
// told apart by a number where files of one name came from different folders.
void renameAttachmentsToFileNames(QPDF &pdf) {
    QPDFObjectHandle names = pdf.getRoot().getKey("/Names");
    if (!names.isDictionary() || !names.getKey("/EmbeddedFiles").isDictionary()) {
        return;
    }
    QPDFNameTreeObjectHelper renamed = QPDFNameTreeObjectHelper::newEmpty(pdf);
    for (const auto &[path, fileSpec] :
         QPDFNameTreeObjectHelper(names.getKey("/EmbeddedFiles"), pdf).getAsMap()) {
        std::string name = fileNameOnly(path);
        for (int copy = 2; renamed.hasName(name); ++copy) {
            name = fileNameOnly(path) + " (" + std::to_string(copy) + ")";
        }
        renamed.insert(name, fileSpec);
    }
    names.replaceKey("/EmbeddedFiles", renamed.getObjectHandle());
}

bool isXmlNameCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == '.';
}

// Where the tag starts when "<" or "<prefix:" stands before the name at nameAt.
std::size_t openingTagStart(const std::string &xml, std::size_t nameAt) {
    std::size_t at = nameAt;
    if (at > 0 && xml[at - 1] == ':') {
        --at;
        while (at > 0 && isXmlNameCharacter(xml[at - 1])) {
            --at;
        }
    }
    return at > 0 && xml[at - 1] == '<' ? at - 1 : std::string::npos;
}

// Erases the first XMP element, prefixed or not; false when there is none.
bool eraseXmpElement(std::string &xml) {
    const Formats::Refused damaged(DamagedXfa);
    for (std::size_t nameAt = xml.find(XmpElementName); nameAt != std::string::npos;
         nameAt = xml.find(XmpElementName, nameAt + 1)) {
        const std::size_t start = openingTagStart(xml, nameAt);
        const std::size_t nameEnd = nameAt + XmpElementName.size();
        if (start == std::string::npos || nameEnd >= xml.size() ||
            isXmlNameCharacter(xml[nameEnd]) || xml[nameEnd] == ':') {
            continue;
        }
        const std::size_t tagEnd = xml.find('>', nameEnd);
        if (tagEnd == std::string::npos) {
            throw damaged;
        }
        std::size_t end = tagEnd + 1;
        if (xml[tagEnd - 1] != '/') {
            const std::string closing = "</" + xml.substr(start + 1, nameEnd - start - 1) + ">";
            const std::size_t closingAt = xml.find(closing, tagEnd);
            if (closingAt == std::string::npos) {
                throw damaged;
            }
            end = closingAt + closing.size();
        }
        xml.erase(start, end - start);
        return true;
    }
    return false;
}

void removeXmpElements(QPDFObjectHandle packet) {
    if (!packet.isStream()) {
        return;
    }
    std::string xml;
    try {
        xml = decodedData(packet);
    } catch (const std::exception &) {
        throw Formats::Refused(DamagedXfa);
    }
    bool erased = false;
    while (eraseXmpElement(xml)) {
        erased = true;
    }
    if (erased) {
        packet.replaceStreamData(xml, QPDFObjectHandle::newNull(), QPDFObjectHandle::newNull());
    }
}

// An XFA form is one XML stream or an array of named packets; either may carry an XMP packet.
void cleanXfa(QPDF &pdf) {
    QPDFObjectHandle form = pdf.getRoot().getKey("/AcroForm");
    if (!form.isDictionary()) {
        return;
    }
    QPDFObjectHandle xfa = form.getKey("/XFA");
    if (!xfa.isArray()) {
        removeXmpElements(xfa);
        return;
    }
    const int items = xfa.getArrayNItems();
    for (int at = items - items % 2 - 2; at >= 0; at -= 2) {
        QPDFObjectHandle name = xfa.getArrayItem(at);
        if (name.isString() && name.getUTF8Value() == XmpElementName) {
            xfa.eraseItem(at + 1);
            xfa.eraseItem(at);
        } else {
            removeXmpElements(xfa.getArrayItem(at + 1));
        }
    }
}

void cleanDocument(QPDF &pdf, const Information &information, int depth) {
    refuseSigned(pdf);
    removeUsageRights(pdf);
    cleanAnnotations(pdf);
    cleanXfa(pdf);
    renameAttachmentsToFileNames(pdf);
    cleanDictionaries(pdf.getTrailer(), depth);
    for (QPDFObjectHandle object : pdf.getAllObjects()) {
        cleanDictionaries(object, depth);
        cleanJpegImage(object);
    }
    // Last, so that the values given are not taken for leftovers.
    replaceInformation(pdf, information);
    forgetFileIdentity(pdf);
}

}  // namespace

Formats::Bytes cleanNested(const Formats::Bytes &bytes, int depth) {
    if (depth >= MaxAttachmentDepth) {
        throw Formats::Refused("attachments nested too deeply");
    }
    QPDF pdf;
    pdf.setSuppressWarnings(true);
    pdf.processMemoryFile("attached PDF", bytes.data(), bytes.size());
    cleanDocument(pdf, {}, depth);
    QPDFWriter writer(pdf);
    writer.setOutputMemory();
    writer.write();
    return bytesOf(writer.getBufferSharedPointer());
}

namespace {

// What a written document still holds, found by walking what its trailer reaches: the walk and
// the keys it looks for are its own, so that a place the cleaning forgets cannot hide here. Each
// object is looked at with the key it was found under, which tells the packets of an XFA form.
class Inspection {
  public:
    Inspection(QPDF &pdf, int depth) : depth_(depth) {
        if (pdf.getTrailer().hasKey("/Info")) {
            finding_ = "still holds document information";
            return;
        }
        pending_.push_back({pdf.getTrailer(), {}});
        while (finding_.empty() && !pending_.empty()) {
            const Place place = pending_.back();
            pending_.pop_back();
            visit(place);
        }
    }

    const std::string &finding() const { return finding_; }

  private:
    struct Place {
        QPDFObjectHandle object;
        std::string key;
    };

    void visit(const Place &place) {
        QPDFObjectHandle object = place.object;
        // An object is looked at again under a key that tells more about it, so that reaching it
        // first from elsewhere cannot hide it.
        const bool told = place.key == "/XFA" || place.key == "/EmbeddedFiles";
        if (object.isIndirect() &&
            !seen_.insert({object.getObjGen(), told ? place.key : std::string()}).second) {
            return;
        }
        if (place.key == "/XFA") {
            finding_ = xfaFinding(object);
        }
        if (place.key == "/EmbeddedFiles" && object.isString() && hasFolder(object)) {
            finding_ = "still holds an attachment's folder";
        }
        if (!finding_.empty()) {
            return;
        }
        if (object.isStream()) {
            finding_ = jpegFinding(object);
            pending_.push_back({object.getDict(), place.key});
        } else if (object.isArray()) {
            for (QPDFObjectHandle item : object.aitems()) {
                pending_.push_back({item, place.key});
            }
        } else if (object.isDictionary()) {
            finding_ = dictionaryFinding(object);
            for (auto [key, value] : object.ditems()) {
                if (finding_.empty()) {
                    finding_ = findingFor(key);
                }
                pending_.push_back({value, withinAttachmentList(place.key, key) ? place.key : key});
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

    // The names, their bounds and the nodes below them in the tree that lists attached files.
    static bool withinAttachmentList(const std::string &treeKey, const std::string &key) {
        return treeKey == "/EmbeddedFiles" &&
               (key == "/Names" || key == "/Kids" || key == "/Limits");
    }

    static bool hasFolder(QPDFObjectHandle name) {
        return name.isString() && name.getUTF8Value().find_first_of("/\\") != std::string::npos;
    }

    // A packet named for XMP, or XML with an XMP element in it.
    static std::string xfaFinding(QPDFObjectHandle packet) {
        bool holdsXmp = packet.isString() && packet.getUTF8Value() == "xmpmeta";
        if (packet.isStream()) {
            const Formats::Bytes xml = decodedData(packet);
            for (std::size_t at = xml.find("xmpmeta"); !holdsXmp && at != std::string::npos;
                 at = xml.find("xmpmeta", at + 1)) {
                const char before = at > 0 ? xml[at - 1] : ' ';
                const char after = at + 7 < xml.size() ? xml[at + 7] : ' ';
                holdsXmp = (before == '<' || before == ':') &&
                           std::string(" \t\r\n/>").find(after) != std::string::npos;
            }
        }
        return holdsXmp ? "still holds XMP in its XFA form" : std::string();
    }

    std::string dictionaryFinding(QPDFObjectHandle dictionary) const {
        // Titles name outline entries and threads too, so only the rest tell information apart.
        for (const char *key : {"/Author", "/Creator", "/Producer", "/Subject", "/Keywords"}) {
            if (dictionary.hasKey(key)) {
                return "still holds document information";
            }
        }
        const bool dated = dictionary.hasKey("/CreationDate") || dictionary.hasKey("/ModDate");
        // An annotation has a kind, and a rectangle or its type said (some popups have none).
        const bool annotation = dictionary.getKey("/Subtype").isName() &&
                                (dictionary.getKey("/Rect").isArray() ||
                                 dictionary.getKey("/Type").isNameAndEquals("/Annot"));
        if (annotation) {
            const bool authored = dictionary.hasKey("/T") &&
                                  !dictionary.getKey("/Subtype").isNameAndEquals("/Widget");
            const std::string what =
                both(authored, "author", dated || dictionary.hasKey("/M"), "date");
            if (!what.empty()) {
                return "still holds an annotation's " + what;
            }
        }
        if (dated) {
            return "still holds a date";
        }
        return dictionary.hasKey("/EF") ? attachmentFinding(dictionary) : std::string();
    }

    static std::string both(bool first, const char *firstName, bool second,
                            const char *secondName) {
        if (first && second) {
            return std::string(firstName) + " and " + secondName;
        }
        return first ? firstName : second ? secondName : "";
    }

    std::string attachmentFinding(QPDFObjectHandle fileSpec) const {
        bool inFolder = false;
        for (const char *key : {"/F", "/UF", "/DOS", "/Mac", "/Unix"}) {
            inFolder = inFolder || hasFolder(fileSpec.getKey(key));
        }
        QPDFObjectHandle embedded = fileSpec.getKey("/EF");
        if (!embedded.isDictionary()) {
            embedded = QPDFObjectHandle::newDictionary();
        }
        std::vector<QPDFObjectHandle> files;
        bool dated = false;
        for (auto [key, file] : embedded.ditems()) {
            if (file.isStream()) {
                files.push_back(file);
                QPDFObjectHandle parameters = file.getDict().getKey("/Params");
                dated = dated ||
                        (parameters.isDictionary() &&
                         (parameters.hasKey("/CreationDate") || parameters.hasKey("/ModDate")));
            }
        }
        const std::string what = both(inFolder, "folder", dated, "dates");
        if (!what.empty()) {
            return "still holds an attachment's " + what;
        }
        for (QPDFObjectHandle file : files) {
            const std::string finding = fileFinding(decodedData(file));
            if (!finding.empty()) {
                return inAttachment(finding);
            }
        }
        return {};
    }

    std::string fileFinding(const Formats::Bytes &file) const {
        switch (attachmentKind(file)) {
            case AttachmentKind::Pdf:
                return remainingMetadataNested(file, depth_ + 1);
            case AttachmentKind::Tiff:
                return Tiff::remainingMetadata(file);
            case AttachmentKind::OfficeOrArchive:
                return "an Office document or archive, which cannot be checked";
            case AttachmentKind::Other:
                break;
        }
        return Pictures::remainingMetadata(file);
    }

    const int depth_;
    std::vector<Place> pending_;
    std::set<std::pair<QPDFObjGen, std::string>> seen_;
    std::string finding_;
};

}  // namespace

std::string remainingMetadataNested(const Formats::Bytes &pdf, int depth) {
    if (depth >= MaxAttachmentDepth) {
        return "attachments nested too deeply";
    }
    QPDF written;
    written.setSuppressWarnings(true);
    written.setAttemptRecovery(false);
    try {
        written.processMemoryFile("written PDF", pdf.data(), pdf.size());
        return Inspection(written, depth).finding();
    } catch (const QPDFExc &error) {
        return "damaged PDF: " + error.getMessageDetail();
    } catch (const std::exception &error) {
        return std::string("damaged PDF: ") + error.what();
    } catch (...) {
        return "damaged PDF: it cannot be read";
    }
}

void clean(QPDF &pdf, const Information &information) {
    cleanDocument(pdf, information, 0);
}

std::string remainingMetadata(const Formats::Bytes &pdf) {
    return remainingMetadataNested(pdf, 0);
}

}  // namespace Pdf
