#include "formats/documents/Pdf.h"

#include "formats/Kinds.h"
#include "formats/core/ByteOrder.h"
#include "formats/core/Stop.h"

#include <qpdf/Buffer.hh>
#include <qpdf/Pl_Buffer.hh>
#include <qpdf/Pl_Flate.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFAcroFormDocumentHelper.hh>
#include <qpdf/QPDFEFStreamObjectHelper.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFNameTreeObjectHelper.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <QByteArray>
#include <QXmlStreamReader>

#include <algorithm>
#include <cctype>
#include <iterator>
#include <map>
#include <set>
#include <utility>
#include <vector>

namespace Pdf {

namespace {

const std::string TexRecordPrefix = "/PTEX.";
const std::string XmpElementName = "xmpmeta";
const char *const DamagedXfa = "damaged XFA form";
const std::string XfaEnvelopeName = "xdp";

// The image filters whose data is a whole picture file, with its own metadata inside.
const char *const JpegFilter = "/DCTDecode";
const char *const Jpeg2000Filter = "/JPXDecode";
// A JPEG 2000 file opens with this box; a bare codestream, which has no boxes, does not.
const Formats::Bytes Jpeg2000Signature("\0\0\0\x0CjP  \r\n\x87\n", 12);
const char *const DamagedJpeg2000 = "damaged JPEG 2000 image";

Formats::Bytes bytesOf(const std::shared_ptr<Buffer> &buffer) {
    return Formats::Bytes(reinterpret_cast<const char *>(buffer->getBuffer()), buffer->getSize());
}

Formats::Bytes decodedData(QPDFObjectHandle stream) {
    return bytesOf(stream.getStreamData(qpdf_dl_generalized));
}

bool startsWith(const std::string &text, const std::string &prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

std::string fileNameOnly(const std::string &path) {
    const std::size_t folderEnd = path.find_last_of("/\\");
    return folderEnd == std::string::npos ? path : path.substr(folderEnd + 1);
}

// How findings and refusals name an attached file: by its file name, without folders.
std::string attachmentName(QPDFObjectHandle fileSpec) {
    for (const char *key : {"/UF", "/F"}) {
        QPDFObjectHandle name = fileSpec.getKey(key);
        if (name.isString() && !fileNameOnly(name.getUTF8Value()).empty()) {
            return fileNameOnly(name.getUTF8Value());
        }
    }
    return "an attachment";
}

// Runs `read` over a PDF, telling the damage qpdf meets as a refusal.
template <typename Read>
auto readingPdf(Read &&read) {
    try {
        return read();
    } catch (const Formats::Refused &) {
        throw;
    } catch (const Formats::Stopped &) {
        throw;
    } catch (const QPDFExc &error) {
        throw Formats::Refused("damaged PDF: " + error.getMessageDetail(),
                               error.getErrorCode() == qpdf_e_password ? Formats::Cause::Protected
                                                                       : Formats::Cause::Damaged);
    } catch (const std::exception &error) {
        throw Formats::Refused(std::string("damaged PDF: ") + error.what());
    }
}

void refuseSigned(QPDF &pdf) {
    const Formats::Refused signedDocument("signed document: cleaning would break its signature",
                                          Formats::Cause::Protected);
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

bool isInformationKey(const std::string &key) {
    static const std::set<std::string> Keys = {"/Title",        "/Author",  "/Subject",
                                               "/Keywords",     "/Creator", "/Producer",
                                               "/CreationDate", "/ModDate", "/Trapped"};
    return Keys.count(key) > 0;
}

// The keys of the objects that documents are found sharing their information with: the catalog,
// the page tree and its pages, outline entries, annotations and actions. Each ends with a slash, so
// that one key is never taken for part of another.
const std::string DocumentKeys =
    "/Type/Subtype/Version/Extensions/Pages/PageLabels/Names/Dests/ViewerPreferences/PageLayout/"
    "PageMode/Outlines/Threads/OpenAction/AA/URI/AcroForm/StructTreeRoot/MarkInfo/Lang/"
    "SpiderInfo/OutputIntents/OCProperties/Perms/Legal/Requirements/Collection/NeedsRendering/"
    "DSS/AF/DPartRoot/Parent/Kids/Count/Resources/MediaBox/CropBox/BleedBox/TrimBox/ArtBox/"
    "BoxColorInfo/Contents/Rotate/Group/B/Dur/Trans/Annots/StructParents/StructParent/ID/PZ/"
    "SeparationInfo/Tabs/TemplateInstantiated/PresSteps/UserUnit/VP/DPart/Prev/Next/First/Last/"
    "Dest/A/SE/C/F/Rect/P/NM/AP/AS/Border/OC/S/D/";

bool isDocumentKey(const std::string &key) {
    return DocumentKeys.find(key + "/") != std::string::npos;
}

// Other objects may point to the old dictionary too, and a careless writer may even have made it
// the catalog or a page: it loses what information holds and keeps what the document uses.
void emptyOldInformation(QPDFObjectHandle information) {
    if (!information.isDictionary()) {
        return;
    }
    for (const std::string &key : information.getKeys()) {
        if (isInformationKey(key) || !isDocumentKey(key)) {
            information.removeKey(key);
        }
    }
}

void replaceInformation(QPDF &pdf, const Information &information) {
    emptyOldInformation(pdf.getTrailer().getKey("/Info"));
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
// a comment, an article thread, a layer's creator). A page's thumbnail may still show the page as
// it was before its last edit; readers draw their own.
bool isMetadataKey(const std::string &key) {
    for (const char *metadataKey :
         {"/Metadata", "/PieceInfo", "/LastModified", "/CreationDate", "/ModDate", "/Author",
          "/Creator", "/Producer", "/Subject", "/Keywords", "/Thumb"}) {
        if (key == metadataKey) {
            return true;
        }
    }
    return startsWith(key, TexRecordPrefix);
}

void cleanAttachmentEntry(QPDFObjectHandle fileSpec, int depth);
void keepFileNamesOnly(QPDFObjectHandle fileSpec);

bool isFileUrl(const std::string &uri) {
    const std::string scheme = "file:";
    return uri.size() >= scheme.size() &&
           std::equal(scheme.begin(), scheme.end(), uri.begin(), [](char wanted, char c) {
               return wanted == std::tolower(static_cast<unsigned char>(c));
           });
}

// A file spec written as a plain string, or a file spec dictionary.
void keepFileNameOf(QPDFObjectHandle holder, const char *key) {
    QPDFObjectHandle file = holder.getKey(key);
    if (file.isString()) {
        holder.replaceKey(key,
                          QPDFObjectHandle::newUnicodeString(fileNameOnly(file.getUTF8Value())));
    } else if (file.isDictionary()) {
        keepFileNamesOnly(file);
    }
}

// Whether the action's /F names a file to open or read: every action of these kinds does, a form
// submission only when it sends the form to a file rather than to a server.
bool opensLocalFile(QPDFObjectHandle action) {
    QPDFObjectHandle kind = action.getKey("/S");
    if (kind.isNameAndEquals("/SubmitForm")) {
        QPDFObjectHandle target = action.getKey("/F");
        target = target.isDictionary() ? target.getKey("/F") : target;
        return target.isString() && isFileUrl(target.getUTF8Value());
    }
    static constexpr const char *FileOpeners[] = {"/Launch", "/GoToR", "/GoToE", "/ImportData"};
    return std::any_of(std::begin(FileOpeners), std::end(FileOpeners),
                       [&](const char *name) { return kind.isNameAndEquals(name); });
}

// A link that opens a local file keeps the file's name, as an Office link does; its folders tell
// whose computer the document was made on.
void cleanLocalLink(QPDFObjectHandle action) {
    QPDFObjectHandle kind = action.getKey("/S");
    QPDFObjectHandle uri = action.getKey("/URI");
    if (kind.isNameAndEquals("/URI") && uri.isString() && isFileUrl(uri.getStringValue())) {
        const std::string name = fileNameOnly(uri.getStringValue());
        action.replaceKey("/URI",
                          QPDFObjectHandle::newString(isFileUrl(name) ? name.substr(5) : name));
    }
    if (!opensLocalFile(action)) {
        return;
    }
    keepFileNameOf(action, "/F");
    QPDFObjectHandle windows = action.getKey("/Win");
    if (windows.isDictionary()) {
        keepFileNameOf(windows, "/F");
        windows.removeKey("/D");
        // Parameters that name folders would name them to whoever opens the file.
        QPDFObjectHandle parameters = windows.getKey("/P");
        if (parameters.isString() &&
            parameters.getUTF8Value().find_first_of("/\\") != std::string::npos) {
            windows.removeKey("/P");
        }
    }
    action.removeKey("/Mac");
    action.removeKey("/Unix");
}

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
        cleanLocalLink(dictionary);
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

QPDFObjectHandle asArray(QPDFObjectHandle item) {
    return item.isArray()  ? item
           : item.isNull() ? QPDFObjectHandle::newArray()
                           : QPDFObjectHandle::newArray({item});
}

QPDFObjectHandle firstItems(QPDFObjectHandle array, int count) {
    std::vector<QPDFObjectHandle> items;
    for (int at = 0; at < count && at < array.getArrayNItems(); ++at) {
        items.push_back(array.getArrayItem(at));
    }
    return QPDFObjectHandle::newArray(items);
}

// The stream's last filter: for a picture stored whole, the format of that picture.
bool endsWithFilter(QPDFObjectHandle stream, const char *filter) {
    QPDFObjectHandle filters = asArray(stream.getDict().getKey("/Filter"));
    const int count = filters.getArrayNItems();
    return count > 0 && filters.getArrayItem(count - 1).isNameAndEquals(filter);
}

// The picture file a stream ending in a picture's filter stores, with the filters over it (such
// as a compression) undone.
Formats::Bytes storedPicture(QPDFObjectHandle stream) {
    QPDFObjectHandle dictionary = stream.getDict();
    QPDFObjectHandle filters = asArray(dictionary.getKey("/Filter"));
    const int outer = filters.getArrayNItems() - 1;
    if (outer == 0) {
        return rawData(stream);
    }
    QPDFObjectHandle wrapped = QPDFObjectHandle::newStream(stream.getOwningQPDF(), rawData(stream));
    wrapped.getDict().replaceKey("/Filter", firstItems(filters, outer));
    QPDFObjectHandle parameters = dictionary.getKey("/DecodeParms");
    if (parameters.isArray()) {
        wrapped.getDict().replaceKey("/DecodeParms", firstItems(parameters, outer));
    }
    return decodedData(wrapped);
}

Formats::Bytes deflated(const Formats::Bytes &data) {
    Pl_Buffer buffer("deflated picture");
    Pl_Flate deflate("deflate picture", &buffer, Pl_Flate::a_deflate);
    deflate.write(reinterpret_cast<const unsigned char *>(data.data()), data.size());
    deflate.finish();
    return bytesOf(buffer.getBufferSharedPointer());
}

// A picture under other filters comes back deflated, which every reader undoes.
void storePicture(QPDFObjectHandle stream, const Formats::Bytes &picture, const char *filter) {
    QPDFObjectHandle dictionary = stream.getDict();
    const int last = asArray(dictionary.getKey("/Filter")).getArrayNItems() - 1;
    if (last == 0) {
        stream.replaceStreamData(picture, dictionary.getKey("/Filter"),
                                 dictionary.getKey("/DecodeParms"));
        return;
    }
    QPDFObjectHandle parameters = dictionary.getKey("/DecodeParms");
    stream.replaceStreamData(
        deflated(picture),
        QPDFObjectHandle::newArray(
            {QPDFObjectHandle::newName("/FlateDecode"), QPDFObjectHandle::newName(filter)}),
        QPDFObjectHandle::newArray(
            {QPDFObjectHandle::newNull(), parameters.isArray() && last < parameters.getArrayNItems()
                                              ? parameters.getArrayItem(last)
                                              : QPDFObjectHandle::newNull()}));
}

// Where the box of a JPEG 2000 file at `at` ends: its length counts its header, and 0 runs it to
// the end of the file.
std::size_t jpeg2000BoxEnd(const Formats::Bytes &file, std::size_t at) {
    const Formats::Refused damaged(DamagedJpeg2000);
    if (file.size() - at < 8) {
        throw damaged;
    }
    std::uint64_t length = Formats::bigEndian32(file, at);
    std::size_t header = 8;
    if (length == 0) {
        return file.size();
    }
    if (length == 1) {
        if (file.size() - at < 16) {
            throw damaged;
        }
        length = std::uint64_t(Formats::bigEndian32(file, at + 8)) << 32 |
                 Formats::bigEndian32(file, at + 12);
        header = 16;
    }
    if (length < header || length > file.size() - at) {
        throw damaged;
    }
    return at + static_cast<std::size_t>(length);
}

// Cameras and editors write XMP, IPTC and Exif into XML and UUID boxes; the rest draws the picture.
Formats::Bytes withoutMetadataBoxes(const Formats::Bytes &file) {
    if (file.compare(0, Jpeg2000Signature.size(), Jpeg2000Signature) != 0) {
        return file;
    }
    Formats::Bytes kept;
    for (std::size_t at = 0, end = 0; at < file.size(); at = end) {
        end = jpeg2000BoxEnd(file, at);
        const Formats::Bytes type = file.substr(at + 4, 4);
        if (type != "xml " && type != "uuid") {
            kept.append(file, at, end - at);
        }
    }
    return kept;
}

// A photo or scan drawn on a page keeps the metadata it had as a file, which its own pass removes.
void cleanPicture(QPDFObjectHandle stream, int depth) {
    if (!stream.isStream()) {
        return;
    }
    const bool jpeg = endsWithFilter(stream, JpegFilter);
    if (!jpeg && !endsWithFilter(stream, Jpeg2000Filter)) {
        return;
    }
    const Formats::Bytes picture = storedPicture(stream);
    const Formats::Bytes cleaned =
        jpeg ? Kinds::cleanEmbedded(picture, depth + 1, "an image") : withoutMetadataBoxes(picture);
    if (cleaned != picture) {
        storePicture(stream, cleaned, jpeg ? JpegFilter : Jpeg2000Filter);
    }
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

// The file goes through the pass of its kind; its size and checksum then describe the new bytes.
void cleanAttachedFile(QPDFObjectHandle file, const std::string &name, int depth) {
    // Its dates go with every other date; these hold a Mac's creator and type codes and
    // resource fork.
    QPDFObjectHandle parameters = file.getDict().getKey("/Params");
    if (parameters.isDictionary()) {
        parameters.removeKey("/Mac");
    }
    const Formats::Bytes data = decodedData(file);
    const Formats::Bytes cleaned = Kinds::cleanEmbedded(data, depth + 1, name);
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

// A file keeps its name but not the folders it came from.
void keepFileNamesOnly(QPDFObjectHandle fileSpec) {
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
}

void cleanAttachmentEntry(QPDFObjectHandle fileSpec, int depth) {
    keepFileNamesOnly(fileSpec);
    QPDFObjectHandle files = fileSpec.getKey("/EF");
    if (!files.isDictionary()) {
        return;
    }
    const std::string name = attachmentName(fileSpec);
    for (auto [key, file] : files.ditems()) {
        if (!file.isStream()) {
            continue;
        }
        try {
            cleanAttachedFile(file, name, depth);
        } catch (const Formats::Refused &) {
            throw;
        } catch (const Formats::Stopped &) {
            throw;
        } catch (const std::exception &) {
            throw Formats::Refused(name + " cannot be read");
        }
    }
}

// Attached files are listed by names that are often their paths; each keeps only its file name,
// told apart by a number where files of one name came from different folders. The numbers of a
// name already taken are not tried again: thousands of files of one name cost linear time.
void renameAttachmentsToFileNames(QPDF &pdf) {
    QPDFObjectHandle names = pdf.getRoot().getKey("/Names");
    if (!names.isDictionary() || !names.getKey("/EmbeddedFiles").isDictionary()) {
        return;
    }
    QPDFNameTreeObjectHelper renamed = QPDFNameTreeObjectHelper::newEmpty(pdf);
    std::set<std::string> taken;
    std::map<std::string, int> nextCopy;
    for (const auto &[path, fileSpec] :
         QPDFNameTreeObjectHelper(names.getKey("/EmbeddedFiles"), pdf).getAsMap()) {
        const std::string fileName = fileNameOnly(path);
        std::string name = fileName;
        int &copy = nextCopy.try_emplace(fileName, 2).first->second;
        while (!taken.insert(name).second) {
            name = fileName + " (" + std::to_string(copy++) + ")";
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

bool isXmlSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Erases every `name="value"` (either quote) from the attributes of a tag; false when none.
bool eraseAttribute(std::string &attributes, const std::string &name) {
    bool erased = false;
    for (std::size_t from = 0, nameAt = 0;
         (nameAt = attributes.find(name, from)) != std::string::npos;) {
        from = nameAt + 1;
        std::size_t at = nameAt + name.size();
        while (at < attributes.size() && isXmlSpace(attributes[at])) {
            ++at;
        }
        if (nameAt == 0 || !isXmlSpace(attributes[nameAt - 1]) || at >= attributes.size() ||
            attributes[at] != '=') {
            continue;
        }
        const std::size_t quoteAt = attributes.find_first_of("\"'", at);
        const std::size_t closingAt = quoteAt == std::string::npos
                                          ? std::string::npos
                                          : attributes.find(attributes[quoteAt], quoteAt + 1);
        if (closingAt == std::string::npos) {
            throw Formats::Refused(DamagedXfa);
        }
        attributes.erase(nameAt - 1, closingAt - nameAt + 2);
        from = nameAt - 1;
        erased = true;
    }
    return erased;
}

// The envelope of a form records when it was last saved and the id it was saved under.
bool eraseEnvelopeAttributes(std::string &xml) {
    for (std::size_t nameAt = xml.find(XfaEnvelopeName); nameAt != std::string::npos;
         nameAt = xml.find(XfaEnvelopeName, nameAt + 1)) {
        const std::size_t nameEnd = nameAt + XfaEnvelopeName.size();
        if (openingTagStart(xml, nameAt) == std::string::npos || nameEnd >= xml.size() ||
            !isXmlSpace(xml[nameEnd])) {
            continue;
        }
        const std::size_t tagEnd = xml.find('>', nameEnd);
        if (tagEnd == std::string::npos) {
            throw Formats::Refused(DamagedXfa);
        }
        std::string attributes = xml.substr(nameEnd, tagEnd - nameEnd);
        const bool timeErased = eraseAttribute(attributes, "timeStamp");
        const bool idErased = eraseAttribute(attributes, "uuid");
        xml.replace(nameEnd, tagEnd - nameEnd, attributes);
        return timeErased || idErased;
    }
    return false;
}

void cleanXfaPacket(QPDFObjectHandle packet) {
    if (!packet.isStream()) {
        return;
    }
    std::string xml;
    try {
        xml = decodedData(packet);
    } catch (const std::exception &) {
        throw Formats::Refused(DamagedXfa);
    }
    bool erased = eraseEnvelopeAttributes(xml);
    while (eraseXmpElement(xml)) {
        erased = true;
    }
    if (erased) {
        packet.replaceStreamData(xml, QPDFObjectHandle::newNull(), QPDFObjectHandle::newNull());
    }
}

// An XFA form is one XML stream or an array of named packets; either may carry an XMP packet and
// the envelope's save time and id.
void cleanXfa(QPDF &pdf) {
    QPDFObjectHandle form = pdf.getRoot().getKey("/AcroForm");
    if (!form.isDictionary()) {
        return;
    }
    QPDFObjectHandle xfa = form.getKey("/XFA");
    if (!xfa.isArray()) {
        cleanXfaPacket(xfa);
        return;
    }
    const int items = xfa.getArrayNItems();
    for (int at = items - items % 2 - 2; at >= 0; at -= 2) {
        QPDFObjectHandle name = xfa.getArrayItem(at);
        if (name.isString() && name.getUTF8Value() == XmpElementName) {
            xfa.eraseItem(at + 1);
            xfa.eraseItem(at);
        } else {
            cleanXfaPacket(xfa.getArrayItem(at + 1));
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
        Formats::throwIfStopped();
        cleanDictionaries(object, depth);
        cleanPicture(object, depth);
    }
    // Last, so that the values given are not taken for leftovers.
    replaceInformation(pdf, information);
    forgetFileIdentity(pdf);
}

Formats::Bytes pageContents(QPDFPageObjectHelper page) {
    Pl_Buffer contents("page contents");
    page.pipeContents(&contents);
    return bytesOf(contents.getBufferSharedPointer());
}

void readMemory(QPDF &pdf, const char *description, const Formats::Bytes &bytes) {
    pdf.setSuppressWarnings(true);
    pdf.processMemoryFile(description, bytes.data(), bytes.size());
}

}  // namespace

void refuseLostPages(QPDF &source, QPDF &cleaned) {
    const Formats::Refused lost("the cleaned document lost its pages");
    std::vector<QPDFPageObjectHelper> before = QPDFPageDocumentHelper(source).getAllPages();
    std::vector<QPDFPageObjectHelper> after = QPDFPageDocumentHelper(cleaned).getAllPages();
    if (before.size() != after.size()) {
        throw lost;
    }
    for (std::size_t page = 0; page < before.size(); ++page) {
        Formats::throwIfStopped();
        if (pageContents(before[page]) != pageContents(after[page])) {
            throw lost;
        }
    }
}

Formats::Bytes cleanNested(const Formats::Bytes &bytes, int depth) {
    return readingPdf([&] {
        QPDF pdf;
        readMemory(pdf, "attached PDF", bytes);
        cleanDocument(pdf, {}, depth);
        QPDFWriter writer(pdf);
        writer.setOutputMemory();
        writer.write();
        const Formats::Bytes written = bytesOf(writer.getBufferSharedPointer());
        QPDF source;
        QPDF cleaned;
        readMemory(source, "attached PDF", bytes);
        readMemory(cleaned, "cleaned PDF", written);
        refuseLostPages(source, cleaned);
        return written;
    });
}

namespace {

// What a written document still holds, found by walking what its trailer reaches: the walk and
// the keys it looks for are its own, so that a place the cleaning forgets cannot hide here. Each
// object is looked at with the key it was found under, which tells the packets of an XFA form.
class Inspection {
  public:
    Inspection(QPDF &pdf, int depth) : depth_(depth) {
        QPDFObjectHandle trailer = pdf.getTrailer();
        inspectInformation(trailer.getKey("/Info"));
        inspectIdentifier(trailer.getKey("/ID"));
        pending_.push_back({trailer, {}});
        while (!pending_.empty()) {
            Formats::throwIfStopped();
            const Place place = pending_.back();
            pending_.pop_back();
            visit(place);
        }
    }

    const Formats::Findings &findings() const { return findings_; }

  private:
    using Category = Formats::Category;

    struct Place {
        QPDFObjectHandle object;
        std::string key;
    };

    // Keys that tell who made a document, with what and when, or show it as it was, wherever they
    // appear: document information, an attached file's parameters, a comment, a layer, a page.
    struct Key {
        const char *key;
        Category category;
        const char *name;
    };
    // Where a file spec dictionary names its file, in any system's spelling.
    static constexpr const char *FileSpecNames[] = {"/F", "/UF", "/DOS", "/Mac", "/Unix"};

    static constexpr Key TellingKeys[] = {
        {"/Author", Category::People, "author"},
        {"/Creator", Category::Software, "creating application"},
        {"/Producer", Category::Software, "producing application"},
        {"/CreationDate", Category::Dates, "creation date"},
        {"/ModDate", Category::Dates, "modification date"},
        {"/LastModified", Category::Dates, "modification date"},
        {"/Subject", Category::Descriptions, "subject"},
        {"/Keywords", Category::Descriptions, "keywords"},
        {"/Metadata", Category::Other, "XMP"},
        {"/PieceInfo", Category::Other, "application data"},
        {"/Thumb", Category::Thumbnails, "page thumbnail"},
    };

    // Titles are named only here, since outline entries and threads have them too; the walk names
    // the other keys it knows wherever they are. Keys of an application's own, or an empty
    // dictionary left behind, are named as the information they are.
    void inspectInformation(QPDFObjectHandle information) {
        if (information.isNull()) {
            return;
        }
        if (information.isDictionary() && information.hasKey("/Title")) {
            findings_.add(Category::Descriptions, "title");
        }
        const std::set<std::string> keys =
            information.isDictionary() ? information.getKeys() : std::set<std::string>();
        const bool allNamed =
            !keys.empty() && std::all_of(keys.begin(), keys.end(), [](const std::string &key) {
                return key == "/Title" || isTellingKey(key);
            });
        if (!allNamed) {
            findings_.add(Category::Other, "document information");
        }
    }

    static bool isTellingKey(const std::string &key) {
        return std::any_of(std::begin(TellingKeys), std::end(TellingKeys),
                           [&](const Key &telling) { return key == telling.key; });
    }

    // The writer makes both halves alike; a first half unlike the second was kept from the
    // document's first version and names it wherever it went.
    void inspectIdentifier(QPDFObjectHandle identifier) {
        if (identifier.isArray() && identifier.getArrayNItems() == 2 &&
            identifier.getArrayItem(0).unparse() != identifier.getArrayItem(1).unparse()) {
            findings_.add(Category::Identifiers, "file identifier");
        }
    }

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
            inspectXfa(object);
        }
        if (place.key == "/EmbeddedFiles" && hasFolder(object)) {
            findings_.add(Category::Other, "attachment folder");
        }
        if (object.isStream()) {
            inspectPicture(object);
            pending_.push_back({object.getDict(), place.key});
        } else if (object.isArray()) {
            for (QPDFObjectHandle item : object.aitems()) {
                pending_.push_back({item, place.key});
            }
        } else if (object.isDictionary()) {
            inspectDictionary(object, place.key);
            for (auto [key, value] : object.ditems()) {
                pending_.push_back({value, withinAttachmentList(place.key, key) ? place.key : key});
            }
        }
    }

    void inspectDictionary(QPDFObjectHandle dictionary, const std::string &foundUnder) {
        for (const Key &telling : TellingKeys) {
            if (dictionary.hasKey(telling.key)) {
                findings_.add(telling.category, telling.name);
            }
        }
        for (const std::string &key : dictionary.getKeys()) {
            if (key.rfind("/PTEX.", 0) == 0) {
                findings_.add(Category::Other, "TeX figure records");
            }
        }
        if (isAnnotation(dictionary)) {
            if (dictionary.hasKey("/T") &&
                !dictionary.getKey("/Subtype").isNameAndEquals("/Widget")) {
                findings_.add(Category::People, "annotation author");
            }
            if (dictionary.hasKey("/M")) {
                findings_.add(Category::Dates, "annotation date");
            }
        }
        if (foundUnder == "/Params" && dictionary.hasKey("/Mac")) {
            findings_.add(Category::Other, "attachment Mac data");
        }
        if (dictionary.hasKey("/EF")) {
            inspectAttachment(dictionary);
        }
        inspectLink(dictionary);
    }

    // An annotation has a kind, and a rectangle or its type said (some popups have none).
    static bool isAnnotation(QPDFObjectHandle dictionary) {
        return dictionary.getKey("/Subtype").isName() &&
               (dictionary.getKey("/Rect").isArray() ||
                dictionary.getKey("/Type").isNameAndEquals("/Annot"));
    }

    // A photo's own metadata by the JPEG check; a JPEG 2000 file's by its boxes.
    void inspectPicture(QPDFObjectHandle stream) {
        if (endsWithFilter(stream, JpegFilter)) {
            findings_.addFrom(Kinds::checkEmbedded(storedPicture(stream), depth_ + 1), "an image");
        } else if (endsWithFilter(stream, Jpeg2000Filter)) {
            inspectJpeg2000(storedPicture(stream));
        }
    }

    void inspectJpeg2000(const Formats::Bytes &file) {
        if (file.compare(0, Jpeg2000Signature.size(), Jpeg2000Signature) != 0) {
            return;
        }
        for (std::size_t at = 0; at < file.size(); at = jpeg2000BoxEnd(file, at)) {
            const Formats::Bytes type = file.substr(at + 4, 4);
            if (type == "xml ") {
                findings_.add(Category::Other, "XML in an image");
            } else if (type == "uuid") {
                findings_.add(Category::Other, "UUID box in an image");
            }
        }
    }

    // The names, their bounds and the nodes below them in the tree that lists attached files.
    static bool withinAttachmentList(const std::string &treeKey, const std::string &key) {
        return treeKey == "/EmbeddedFiles" &&
               (key == "/Names" || key == "/Kids" || key == "/Limits");
    }

    static bool hasFolder(QPDFObjectHandle name) {
        return name.isString() && name.getUTF8Value().find_first_of("/\\") != std::string::npos;
    }

    // A packet named for XMP, or XML with an XMP element in it or an envelope telling when and
    // under which id the form was saved.
    void inspectXfa(QPDFObjectHandle packet) {
        if (packet.isString() && packet.getUTF8Value() == "xmpmeta") {
            findings_.add(Category::Other, "XMP in its XFA form");
        }
        if (!packet.isStream()) {
            return;
        }
        const Formats::Bytes xml = decodedData(packet);
        if (holdsXmpElement(xml)) {
            findings_.add(Category::Other, "XMP in its XFA form");
        }
        inspectXfaEnvelope(xml);
    }

    static bool holdsXmpElement(const Formats::Bytes &xml) {
        bool holdsXmp = false;
        for (std::size_t at = xml.find("xmpmeta"); !holdsXmp && at != std::string::npos;
             at = xml.find("xmpmeta", at + 1)) {
            const char before = at > 0 ? xml[at - 1] : ' ';
            const char after = at + 7 < xml.size() ? xml[at + 7] : ' ';
            holdsXmp = (before == '<' || before == ':') &&
                       std::string(" \t\r\n/>").find(after) != std::string::npos;
        }
        return holdsXmp;
    }

    // The envelope is the packet's first element, which a reader takes in before any damage later
    // on could stop it.
    void inspectXfaEnvelope(const Formats::Bytes &xml) {
        QXmlStreamReader reader(
            QByteArray::fromRawData(xml.data(), static_cast<qsizetype>(xml.size())));
        reader.setNamespaceProcessing(false);
        while (!reader.atEnd() && reader.readNext() != QXmlStreamReader::StartElement) {
        }
        const QStringView name = reader.qualifiedName();
        if (!reader.isStartElement() || (name != u"xdp" && !name.endsWith(u":xdp"))) {
            return;
        }
        const QXmlStreamAttributes attributes = reader.attributes();
        if (attributes.hasAttribute(QStringLiteral("timeStamp"))) {
            findings_.add(Category::Dates, "XFA save time");
        }
        if (attributes.hasAttribute(QStringLiteral("uuid"))) {
            findings_.add(Category::Identifiers, "XFA document id");
        }
    }

    // A link that opens a local file by its path, or a web link to a file on a disk.
    void inspectLink(QPDFObjectHandle action) {
        QPDFObjectHandle kind = action.getKey("/S");
        QPDFObjectHandle uri = action.getKey("/URI");
        const bool fileUrl = kind.isNameAndEquals("/URI") && isFileAddress(uri);
        const bool opensFile = kind.isNameAndEquals("/Launch") || kind.isNameAndEquals("/GoToR") ||
                               kind.isNameAndEquals("/GoToE") ||
                               kind.isNameAndEquals("/ImportData") ||
                               (kind.isNameAndEquals("/SubmitForm") && submitsToFile(action));
        if (fileUrl || (opensFile && namesFolder(action))) {
            findings_.add(Category::Other, "local path in a link");
        }
    }

    static bool isFileAddress(QPDFObjectHandle address) {
        return address.isString() && QByteArray::fromStdString(address.getStringValue())
                                         .trimmed()
                                         .toLower()
                                         .startsWith("file:");
    }

    // A form is sent to the place its /F names: a server, or a file on a disk.
    static bool submitsToFile(QPDFObjectHandle action) {
        QPDFObjectHandle target = action.getKey("/F");
        return isFileAddress(target) ||
               (target.isDictionary() && isFileAddress(target.getKey("/F")));
    }

    // Whether the file the action opens is named with its folders, or with a folder to start in or
    // parameters that name one.
    static bool namesFolder(QPDFObjectHandle action) {
        QPDFObjectHandle windows = action.getKey("/Win");
        if (action.hasKey("/Mac") || action.hasKey("/Unix") ||
            (windows.isDictionary() && (windows.hasKey("/D") || hasFolder(windows.getKey("/F")) ||
                                        hasFolder(windows.getKey("/P"))))) {
            return true;
        }
        QPDFObjectHandle file = action.getKey("/F");
        if (!file.isDictionary()) {
            return hasFolder(file);
        }
        return std::any_of(std::begin(FileSpecNames), std::end(FileSpecNames),
                           [&](const char *key) { return hasFolder(file.getKey(key)); });
    }

    // Its folders, and what the attached files hold by the checks of their kinds.
    void inspectAttachment(QPDFObjectHandle fileSpec) {
        for (const char *key : FileSpecNames) {
            if (hasFolder(fileSpec.getKey(key))) {
                findings_.add(Category::Other, "attachment folder");
            }
        }
        QPDFObjectHandle embedded = fileSpec.getKey("/EF");
        if (!embedded.isDictionary()) {
            return;
        }
        const std::string name = attachmentName(fileSpec);
        for (auto [key, file] : embedded.ditems()) {
            if (!file.isStream()) {
                continue;
            }
            try {
                findings_.addFrom(Kinds::checkEmbedded(decodedData(file), depth_ + 1), name);
            } catch (const Formats::Refused &refused) {
                throw refused.in(name);
            }
        }
    }

    const int depth_;
    std::vector<Place> pending_;
    std::set<std::pair<QPDFObjGen, std::string>> seen_;
    Formats::Findings findings_;
};

}  // namespace

Formats::Findings remainingMetadataNested(const Formats::Bytes &pdf, int depth) {
    return readingPdf([&] {
        QPDF written;
        written.setSuppressWarnings(true);
        written.setAttemptRecovery(false);
        written.processMemoryFile("written PDF", pdf.data(), pdf.size());
        return Inspection(written, depth).findings();
    });
}

void clean(QPDF &pdf, const Information &information) {
    cleanDocument(pdf, information, 0);
}

Formats::Findings remainingMetadata(const Formats::Bytes &pdf) {
    return remainingMetadataNested(pdf, 0);
}

}  // namespace Pdf
