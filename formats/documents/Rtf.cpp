#include "formats/documents/Rtf.h"

#include "formats/Kinds.h"
#include "formats/core/ByteOrder.h"
#include "formats/office/PackageCheck.h"
#include "formats/office/PackageClean.h"

#include <QStringList>

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>
#include <vector>

namespace Rtf {

namespace {

using Formats::Bytes;
using Formats::Refused;

// Word nests a few dozen groups deep; a deeper file is hostile or broken.
constexpr std::size_t MaxGroupDepth = 500;
// A control word's number has at most this many digits (it is a signed 32-bit value).
constexpr std::size_t MaxParameterDigits = 10;
// Hex digits per line when a picture is written anew, as Word writes them.
constexpr std::size_t HexLineLength = 128;

bool isLetter(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) != 0;
}
bool isDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// Where the next group opens or closes or the next control stands, or the end: a byte's three
// comparisons, where find_first_of calls a search per byte.
std::size_t nextStructure(const Bytes &rtf, std::size_t at) {
    while (at < rtf.size() && rtf[at] != '{' && rtf[at] != '}' && rtf[at] != '\\') {
        ++at;
    }
    return at;
}

// White space as the C locale has it, without a call per byte of a picture's data.
bool isSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Each byte's value as a hex digit, or -1; RTF writers use either letter case.
constexpr std::array<signed char, 256> hexValues() {
    std::array<signed char, 256> values{};
    for (std::size_t c = 0; c < values.size(); ++c) {
        values[c] = c >= '0' && c <= '9'   ? static_cast<signed char>(c - '0')
                    : c >= 'a' && c <= 'f' ? static_cast<signed char>(c - 'a' + 10)
                    : c >= 'A' && c <= 'F' ? static_cast<signed char>(c - 'A' + 10)
                                           : -1;
    }
    return values;
}

constexpr std::array<signed char, 256> HexValues = hexValues();

int hexValue(char c) {
    return HexValues[static_cast<unsigned char>(c)];
}

// A picture's or an object's data, decoded as its hex text comes, white space left out: one pass
// over a photo's 1.2 MB of text, where gathering the digits and decoding them took three.
struct HexData {
    Bytes bytes;
    int pending = -1;    // a first digit waiting for its second
    bool other = false;  // the text held other than hex digits and white space

    void add(std::string_view text) {
        const std::size_t had = bytes.size();
        bytes.resize(had + text.size() / 2 + 1);
        char *out = bytes.data() + had;
        for (std::size_t at = 0; at < text.size(); ++at) {
            // Two digits at once, the usual case.
            if (pending < 0 && at + 1 < text.size() &&
                (hexValue(text[at]) | hexValue(text[at + 1])) >= 0) {
                *out++ = static_cast<char>(hexValue(text[at]) << 4 | hexValue(text[at + 1]));
                ++at;
            } else if (hexValue(text[at]) < 0) {
                other = other || !isSpace(text[at]);
            } else if (pending < 0) {
                pending = hexValue(text[at]);
            } else {
                *out++ = static_cast<char>(pending << 4 | hexValue(text[at]));
                pending = -1;
            }
        }
        bytes.resize(static_cast<std::size_t>(out - bytes.data()));
    }
};

const Bytes &fromHex(const HexData &hex) {
    if (hex.other || hex.pending >= 0) {
        throw Refused("damaged RTF picture");
    }
    return hex.bytes;
}

struct Control {
    std::string word;  // empty for a control symbol such as \' or \{
    long long parameter = -1;
    std::size_t end = 0;  // past the control and the space that ends it
};

// The control word or symbol whose backslash stands at `at`.
Control readControl(const Bytes &rtf, std::size_t at) {
    Control control;
    std::size_t next = at + 1;
    if (next >= rtf.size()) {
        throw Refused("damaged RTF: cut short");
    }
    if (!isLetter(rtf[next])) {
        control.end = next + (rtf[next] == '\'' ? 3 : 1);
        if (control.end > rtf.size()) {
            throw Refused("damaged RTF: cut short");
        }
        // Readers differ on what follows an escape without its two hex digits.
        if (rtf[next] == '\'' && !(std::isxdigit(static_cast<unsigned char>(rtf[next + 1])) &&
                                   std::isxdigit(static_cast<unsigned char>(rtf[next + 2])))) {
            throw Refused("damaged RTF: an escaped character without its hex digits");
        }
        return control;
    }
    while (next < rtf.size() && isLetter(rtf[next])) {
        control.word += rtf[next++];
    }
    const std::size_t digits = next + (next < rtf.size() && rtf[next] == '-' ? 1 : 0);
    std::size_t end = digits;
    while (end < rtf.size() && isDigit(rtf[end]) && end - digits < MaxParameterDigits) {
        ++end;
    }
    if (end < rtf.size() && isDigit(rtf[end])) {  // readers differ on where such a number ends
        throw Refused("damaged RTF: a control word's number is too long");
    }
    if (end > digits) {
        // With its sign: a negative count of raw bytes is refused, not read as a positive one.
        control.parameter = std::stoll(rtf.substr(next, end - next));
        next = end;
    }
    control.end = next < rtf.size() && rtf[next] == ' ' ? next + 1 : next;
    return control;
}

// Revision-session ids (\rsid, \insrsid, \charrsid, ...) and revision times.
bool isDroppedWord(const std::string &word) {
    return word.find("rsid") != std::string::npos || word.find("revdttm") != std::string::npos ||
           word == "crdate" || word == "prdate";
}

// Groups that go wherever they stand: the information block and what writers put outside it
// (author, company, template path, document variables, the users a protection names).
bool isDroppedGroup(const std::string &word) {
    static const std::vector<std::string> Words = {
        "info",     "generator", "userprops", "rsidtbl", "blipuid",  "atndate",    "author",
        "operator", "company",   "manager",   "docvar",  "template", "protusertbl"};
    return std::find(Words.begin(), Words.end(), word) != Words.end();
}

// How a group is cleaned. Of a picture's properties (\*\picprop) the values (\sv) are looked
// at: Word once filled them with the picture's path.
enum class Kind {
    Kept,
    Dropped,
    Authors,
    Replaced,
    Picture,
    Object,
    Instruction,
    PictureProperties,
    PropertyValue
};

struct Group {
    Kind kind = Kind::Kept;
    // Where the group's bytes start in the output, which all groups share: a deep group's text is
    // written once, not copied again into every group around it as each closes.
    std::size_t start = 0;
    std::size_t from = 0;  // where the group opens in the document
    Bytes replacement;     // what a Replaced group becomes
    HexData data;          // a picture's or an object's data
    // Where a picture's data stands in the output, piece by piece, as it stood in the document.
    std::vector<std::pair<std::size_t, std::size_t>> pieces;
    bool blip = false;  // a JPEG or PNG picture
    // Whether a control word without its ending space stood before the group: text after a
    // dropped group must not run into it.
    bool afterBareWord = false;
    bool wordToCome = false;    // the control word that told the kind is still to be walked
    bool inProperties = false;  // inside a picture's properties, however deep
};

Group ofKind(Kind kind, const Bytes &replacement = {}) {
    Group group;
    group.kind = kind;
    group.replacement = replacement;
    return group;
}

// How a group opening with `word` inside a group of kind `parent` is cleaned.
Group ofWord(const std::string &word, Kind parent, bool inProperties) {
    const Kind kept = parent == Kind::PictureProperties ? parent : Kind::Kept;
    if (isDroppedGroup(word)) {
        return ofKind(Kind::Dropped);
    }
    if (inProperties && word == "sv") {
        return ofKind(Kind::PropertyValue);
    }
    if (word == "picprop") {
        return ofKind(Kind::PictureProperties);
    }
    if (word == "atnauthor" || word == "atnid") {  // a comment's author and initials
        return ofKind(Kind::Replaced, "{\\*\\" + word + " }");
    }
    if (word == "revtbl") {
        return ofKind(Kind::Authors);
    }
    if (word == "objdata") {
        return ofKind(Kind::Object);
    }
    if (word == "fldinst") {
        return ofKind(Kind::Instruction);
    }
    return ofKind(word == "pict" ? Kind::Picture : kept);
}

// The group opening at `at` (just past its brace), told by its first control word.
Group opened(const Bytes &rtf, std::size_t at, const Group &parentGroup) {
    const Kind parent = parentGroup.kind;
    if (parent == Kind::Dropped || parent == Kind::Replaced) {
        return ofKind(Kind::Dropped);
    }
    if (parent == Kind::Authors) {  // one revision author
        return ofKind(Kind::Replaced, "{Unknown;}");
    }
    if (rtf.compare(at, 2, "\\*") == 0) {
        at += 2;
    }
    const std::string word =
        at < rtf.size() && rtf[at] == '\\' ? readControl(rtf, at).word : std::string();
    Group group = ofWord(word, parent, parentGroup.inProperties);
    group.wordToCome = !word.empty();
    group.inProperties = parentGroup.inProperties || group.kind == Kind::PictureProperties;
    return group;
}

// Each byte's two hex digits, looked up.
constexpr std::array<std::array<char, 2>, 256> hexPairs() {
    constexpr char digits[] = "0123456789abcdef";
    std::array<std::array<char, 2>, 256> pairs{};
    for (std::size_t byte = 0; byte < pairs.size(); ++byte) {
        pairs[byte] = {digits[byte >> 4], digits[byte & 0xF]};
    }
    return pairs;
}

constexpr std::array<std::array<char, 2>, 256> HexPairs = hexPairs();

Bytes toHex(const Bytes &bytes) {
    constexpr std::size_t BytesPerLine = HexLineLength / 2;
    // Each line's break stands before it, written with the room.
    Bytes hex(bytes.size() * 2 + (bytes.size() + BytesPerLine - 1) / BytesPerLine, '\n');
    char *out = hex.data();
    for (std::size_t line = 0; line < bytes.size(); line += BytesPerLine) {
        ++out;
        const std::size_t end = std::min(bytes.size(), line + BytesPerLine);
        for (std::size_t at = line; at < end; ++at, out += 2) {
            const auto &pair = HexPairs[static_cast<unsigned char>(bytes[at])];
            out[0] = pair[0];
            out[1] = pair[1];
        }
    }
    return hex;
}

// A counted value of an OLE1 object at `at`, moving past it; Refused past the end.
std::uint32_t readCount(const Bytes &object, std::size_t &at) {
    if (object.size() < 4 || at > object.size() - 4) {
        throw Refused("damaged RTF object");
    }
    const std::uint32_t value = Formats::littleEndian32(object, at);
    at += 4;
    return value;
}

void skipCounted(const Bytes &object, std::size_t &at) {
    const std::uint32_t length = readCount(object, at);
    if (length > object.size() - at) {
        throw Refused("damaged RTF object");
    }
    at += length;
}

// A counted string as OLE1 writes it: its length with the ending zero, then its bytes.
Bytes counted(const Bytes &text) {
    Bytes bytes(4, '\0');
    Formats::putLittleEndian32(bytes, 0, static_cast<std::uint32_t>(text.size() + 1));
    return bytes + text + '\0';
}

// A linked object names the file it shows by its path (the topic, after the class) and by the
// network share it lies on (after the item): the file name alone stays, and no share.
Bytes withLinkByFileName(const Bytes &object, std::size_t at) {
    skipCounted(object, at);
    const std::size_t topicAt = at;
    skipCounted(object, at);
    const Bytes topic = object.substr(topicAt + 4, at - topicAt - 4);
    const std::size_t itemAt = at;
    skipCounted(object, at);
    const std::size_t networkAt = at;
    skipCounted(object, at);
    const QString path = QString::fromLatin1(topic.c_str());
    const QString name = PackageClean::fileNameOfLocalPath(path).value_or(path);
    return object.substr(0, topicAt) + counted(name.toLatin1().toStdString()) +
           object.substr(itemAt, networkAt - itemAt) + counted({}) + object.substr(at);
}

// An OLE1 object (version, format, then its class, topic and item names, each counted) with an
// embedded object's counted native data through the pass of the kind it is, and a linked one
// naming its file alone. An object is one or the other: of any other format, its names could not
// be told from its data.
Bytes cleanObject(const Bytes &object, int depth) {
    constexpr std::uint32_t Linked = 1;
    constexpr std::uint32_t Embedded = 2;
    std::size_t at = 4;
    const std::uint32_t format = readCount(object, at);
    if (format == Linked) {
        return withLinkByFileName(object, at);
    }
    if (format != Embedded) {
        throw Refused("damaged RTF object");
    }
    for (int name = 0; name < 3; ++name) {
        skipCounted(object, at);
    }
    const std::size_t sizeAt = at;
    const std::uint32_t size = readCount(object, at);
    if (size > object.size() - at) {
        throw Refused("damaged RTF object");
    }
    const Bytes native =
        Kinds::cleanEmbedded(object.substr(at, size), depth + 1, "an embedded object");
    Bytes count(4, '\0');
    Formats::putLittleEndian32(count, 0, static_cast<std::uint32_t>(native.size()));
    return object.substr(0, sizeAt) + count + native + object.substr(at + size);
}

// A field instruction (INCLUDEPICTURE, LINK, HYPERLINK) whose quoted paths on the author's
// computer keep only their file names. A quote that runs across groups stays, for the check to
// refuse.
Bytes withoutLocalFolders(const Bytes &instruction) {
    const std::string escapedBackslash = "\\\\";
    Bytes result;
    std::size_t copied = 0;
    for (std::size_t open = instruction.find('"'); open != Bytes::npos;) {
        const std::size_t close = instruction.find('"', open + 1);
        if (close == Bytes::npos) {
            break;
        }
        const Bytes quoted = instruction.substr(open + 1, close - open - 1);
        QString path = QString::fromStdString(quoted);
        path.replace(QString::fromStdString(escapedBackslash), QStringLiteral("\\"));
        if (quoted.find_first_of("{}") == Bytes::npos && PackageClean::fileNameOfLocalPath(path)) {
            const std::size_t slash = quoted.find_last_of("\\/");
            result += instruction.substr(copied, open + 1 - copied) + quoted.substr(slash + 1);
            copied = close;
        }
        open = instruction.find('"', close + 1);
    }
    return result + instruction.substr(copied);
}

// The text of a picture property's value as readers take it ("{\sv C:\\Users\\x.jpg", RTF doubling
// each backslash): each byte a character, control words and braces left out.
QString valueText(const Bytes &value) {
    QString text;
    for (std::size_t at = readControl(value, 1).end; at < value.size();) {
        if (value.compare(at, 2, "\\\\") == 0) {
            text += QLatin1Char('\\');
            at += 2;
        } else if (value[at] == '\\') {
            // As the check reads: a symbol's two bytes, a word without the space that ends it.
            const Control control = readControl(value, at);
            at = control.word.empty() ? at + 2 : control.end - (value[control.end - 1] == ' ');
        } else if (value[at] == '{' || value[at] == '}') {
            ++at;
        } else {
            text += QLatin1Char(value[at++]);
        }
    }
    return text;
}

// The value emptied when it is a path on the author's computer.
Bytes withoutLocalPath(const Bytes &value) {
    return PackageClean::fileNameOfLocalPath(valueText(value)) ? Bytes("{\\sv ") : value;
}

class Walk {
  public:
    // The first group stands for what lies outside every group.
    // The output takes its room at once: a cleaned document is about as long as the document.
    Walk(const Bytes &rtf, int depth) : rtf_(rtf), depth_(depth), groups_(1) {
        out_.reserve(rtf.size());
    }

    Bytes run() {
        while (at_ < rtf_.size()) {
            step();
        }
        if (groups_.size() != 1) {
            throw Refused("damaged RTF: cut short");
        }
        return std::move(out_);
    }

  private:
    void step() {
        const char c = rtf_[at_];
        if (c == '{') {
            if (groups_.size() > MaxGroupDepth) {
                throw Refused("RTF nested too deeply", Formats::Cause::TooLarge);
            }
            groups_.push_back(opened(rtf_, at_ + 1, groups_.back()));
            Group &group = groups_.back();
            group.start = out_.size();
            group.from = at_;
            group.afterBareWord = endsInBareWord_;
            endsInBareWord_ = false;
            if (isWritten(group)) {
                out_ += '{';
            }
            ++at_;
        } else if (c == '}') {
            close();
            ++at_;
        } else if (c == '\\') {
            control();
        } else {
            text(nextStructure(rtf_, at_));
        }
    }

    bool inData() const {
        return groups_.back().kind == Kind::Picture || groups_.back().kind == Kind::Object;
    }

    // Plain text up to `end`; in a picture or an object, its data (a picture's written where it
    // stands too, for when its pass leaves it as it is).
    void text(std::size_t end) {
        Group &group = groups_.back();
        const std::string_view run = std::string_view(rtf_).substr(at_, end - at_);
        if (group.kind == Kind::Picture) {
            group.pieces.emplace_back(out_.size(), run.size());
        }
        if (group.kind != Kind::Object) {
            write(run);
        }
        if (inData()) {
            group.data.add(run);
        }
        at_ = end;
    }

    // A word that tells a group's kind anywhere but first in its group: readers differ on it,
    // and the check takes it as they do.
    void refuseOutOfPlace(const std::string &word) {
        Group &group = groups_.back();
        if (word.empty() || group.kind == Kind::Dropped || group.kind == Kind::Replaced) {
            return;
        }
        const Kind plain = group.kind == Kind::PictureProperties ? group.kind : Kind::Kept;
        if (!group.wordToCome && ofWord(word, group.kind, group.inProperties).kind != plain) {
            throw Refused("damaged RTF: \\" + word + " stands inside a group it does not open");
        }
        group.wordToCome = false;
    }

    void control() {
        const Control control = readControl(rtf_, at_);
        refuseOutOfPlace(control.word);
        std::size_t end = control.end;
        if (control.word == "bin") {
            // Raw bytes follow; they are data, not structure.
            if (inData()) {
                throw Refused("RTF picture or object in binary form", Formats::Cause::Unsupported);
            }
            if (control.parameter < 0 ||
                static_cast<unsigned long long>(control.parameter) > rtf_.size() - end) {
                throw Refused("damaged RTF: cut short");
            }
            end += static_cast<std::size_t>(control.parameter);
        }
        if (groups_.back().kind == Kind::Picture &&
            (control.word == "jpegblip" || control.word == "pngblip")) {
            groups_.back().blip = true;
        }
        if (!isDroppedWord(control.word)) {
            write(std::string_view(rtf_).substr(at_, end - at_),
                  !control.word.empty() && control.word != "bin" && rtf_[end - 1] != ' ');
        } else if (endsInBareWord_) {
            // What follows must not run into the control word before the dropped one.
            write(" ");
        }
        at_ = end;
    }

    // Nothing inside a dropped or replaced group reaches the output: the groups it holds are
    // dropped too.
    static bool isWritten(const Group &group) {
        return group.kind != Kind::Dropped && group.kind != Kind::Replaced;
    }

    // bareWord: the bytes end in a control word without the space that may end it.
    void write(std::string_view bytes, bool bareWord = false) {
        if (isWritten(groups_.back())) {
            out_ += bytes;
            endsInBareWord_ = bareWord;
        }
    }

    // A picture's JPEG or PNG through the pass of its kind. Data the pass leaves as it is, and
    // that of other pictures, stays in the output where and as it stood; else the data's pieces
    // give way to the cleaned data, written where the picture ends.
    Bytes cleanedPicture(const Group &picture) {
        if (picture.data.other) {
            throw Refused("damaged RTF picture");
        }
        if (!picture.blip) {
            return {};
        }
        const Bytes &data = fromHex(picture.data);
        const Bytes cleaned = Kinds::cleanEmbedded(data, depth_ + 1, "a picture");
        if (cleaned == data) {
            return {};
        }
        for (auto piece = picture.pieces.rbegin(); piece != picture.pieces.rend(); ++piece) {
            out_.erase(piece->first, piece->second);
        }
        return toHex(cleaned);
    }

    // A group that already reads as its replacement stays as written, so that a clean document
    // comes out as it went in.
    bool isAlreadyReplaced(const Group &group) const {
        const std::string_view written(rtf_.data() + group.from, at_ + 1 - group.from);
        return written == group.replacement || holdsItsWordAlone(group);
    }

    // `{\*\atnid}`, `{\atnid12 }`: an emptied group's word, with or without its `\*`, and nothing
    // else, as empty as the group it becomes.
    bool holdsItsWordAlone(const Group &group) const {
        const std::string marked = "{\\*\\";
        if (group.replacement.rfind(marked, 0) != 0) {
            return false;
        }
        std::size_t at = group.from + 1;
        at += rtf_.compare(at, 2, "\\*") == 0 ? 2 : 0;
        if (rtf_.compare(at, 1, "\\") != 0) {
            return false;
        }
        const Control control = readControl(rtf_, at);
        return control.end == at_ && marked + control.word + " }" == group.replacement;
    }

    // The group's bytes so far, taken out of the output to be written anew.
    Bytes takeOut(const Group &group) {
        Bytes taken = out_.substr(group.start);
        out_.resize(group.start);
        return taken;
    }

    void close() {
        if (groups_.size() == 1 && at_ + 1 == rtf_.size()) {
            write("}");  // one brace too many at the very end, which readers pass over
            return;
        }
        if (groups_.size() == 1) {
            throw Refused("damaged RTF: a group closes that never opened");
        }
        const Group group = std::move(groups_.back());
        groups_.pop_back();
        switch (group.kind) {
            case Kind::Dropped:
                if (group.afterBareWord) {
                    write(" ");
                }
                break;
            case Kind::Replaced:
                write(isAlreadyReplaced(group) ? rtf_.substr(group.from, at_ + 1 - group.from)
                                               : group.replacement);
                break;
            case Kind::Picture:
                write(cleanedPicture(group) + "}");
                break;
            case Kind::Instruction:
                write(withoutLocalFolders(takeOut(group)) + "}");
                break;
            case Kind::PropertyValue:
                write(withoutLocalPath(takeOut(group)) + "}");
                break;
            case Kind::Object:
                write(toHex(cleanObject(fromHex(group.data), depth_)) + "}");
                break;
            default:
                write("}");
                break;
        }
    }

    const Bytes &rtf_;
    int depth_;
    std::size_t at_ = 0;
    std::vector<Group> groups_;
    Bytes out_;
    bool endsInBareWord_ = false;
};

}  // namespace

Bytes cleanNested(const Bytes &document, int depth) {
    // A first word that only starts with "rtf" (\rtfrsid) could be dropped as another.
    if (document.rfind("{\\rtf", 0) != 0 || readControl(document, 1).word != "rtf") {
        throw Refused("not an RTF document");
    }
    return Walk(document, depth).run();
}

Bytes clean(const Bytes &document) {
    return cleanNested(document, 0);
}

// The check below reads the document on its own: one pass that follows only how deep it is.
namespace {

using Formats::Category;

// Where a picture's or an object's data or the revision-author table lies, by group depth; 0 when
// outside.
struct Scan {
    int nesting = 0;  // containers around the document
    std::size_t depth = 0;
    std::size_t picture = 0;
    std::size_t object = 0;
    bool blip = false;
    HexData data;
    std::size_t authors = 0;
    Bytes author;
    std::size_t commenter = 0;    // a comment's author or initials
    std::size_t instruction = 0;  // a field's instruction, and its text
    QString instructionText;
    std::size_t info = 0;  // named as a whole, with what it holds
    std::size_t pictureProperties = 0;
    // Picture properties' values, one inside another: each one's depth and where its text starts
    // in the text of the outermost, which holds those inside.
    std::vector<std::pair<std::size_t, qsizetype>> propertyValues;
    QString propertyText;
    Formats::Findings findings;
};

void noteWord(const std::string &word, Scan &scan) {
    if (word == "info") {
        scan.findings.add(Category::People, "document information (author, title, dates)");
        scan.info = scan.depth;
    } else if (word == "generator") {
        scan.findings.add(Category::Software, "software");
    } else if (word == "userprops") {
        scan.findings.add("custom properties");
    } else if (scan.info == 0 && (word == "author" || word == "operator")) {
        scan.findings.add(Category::People, "author");
    } else if (scan.info == 0 && (word == "company" || word == "manager")) {
        scan.findings.add(Category::People, "company or manager");
    } else if (word == "docvar") {
        scan.findings.add("document variables");
    } else if (word == "template") {
        scan.findings.add("its template's name");
    } else if (word == "protusertbl") {
        scan.findings.add(Category::People, "the users a protection names");
    } else if (word == "crdate" || word == "prdate") {
        scan.findings.add(Category::Dates, "revision dates");
    } else if (word == "picprop") {
        scan.pictureProperties = scan.depth;
    } else if (word == "sv" && scan.pictureProperties != 0) {
        scan.propertyValues.emplace_back(scan.depth, scan.propertyText.size());
    } else if (word.find("rsid") != std::string::npos) {
        scan.findings.add(Category::History, "revision-session ids");
    } else if (word.find("revdttm") != std::string::npos) {
        scan.findings.add(Category::Dates, "revision dates");
    } else if (word == "blipuid") {
        scan.findings.add(Category::Identifiers, "picture identifiers");
    } else if (word == "atndate") {
        scan.findings.add(Category::Dates, "comment dates");
    } else if (word == "atnauthor" || word == "atnid") {
        scan.commenter = scan.depth;
    } else if (word == "revtbl" && scan.authors == 0) {
        // A table inside an author is part of it, as the pass drops it with the author.
        scan.authors = scan.depth;
    } else if (word == "fldinst") {
        scan.instruction = scan.depth;
        scan.instructionText.clear();
    } else if (word == "pict" || word == "objdata") {
        (word == "pict" ? scan.picture : scan.object) = scan.depth;
        scan.blip = false;
        scan.data = {};
    } else if (scan.depth == scan.picture && (word == "jpegblip" || word == "pngblip")) {
        scan.blip = true;
    }
}

const Bytes &decodedHex(const HexData &hex) {
    if (hex.pending >= 0) {
        throw Refused("damaged RTF: odd hex data");
    }
    return hex.bytes;
}

// An OLE1 object: after its version and format (1 linked, 2 embedded) come its class, topic and
// item names, each a count and that many bytes; then a linked object's network share, counted
// the same way, or an embedded object's data. Adds where a link points, and returns the data.
Bytes nativeData(const Bytes &object, Formats::Findings &findings) {
    const auto count = [&object](std::size_t at) {
        if (at + 4 > object.size()) {
            throw Refused("damaged RTF object");
        }
        return std::size_t(Formats::littleEndian32(object, at));
    };
    const std::size_t format = count(4);
    if (format != 1 && format != 2) {  // linked or embedded; no other has the names below
        throw Refused("damaged RTF object");
    }
    std::size_t at = 8;
    std::size_t topic = 0;
    for (int name = 0; name < 3; ++name) {
        topic = name == 1 ? at : topic;
        at += 4 + count(at);
    }
    const std::size_t size = count(at);
    if (size > object.size() - at - 4) {
        throw Refused("damaged RTF object");
    }
    if (format == 1) {
        PackageCheck::addLocalPath(
            QString::fromLatin1(object.substr(topic + 4, count(topic)).c_str()),
            "a folder on the author's computer", findings);
        if (size > 1) {
            findings.add("a network share");
        }
    }
    return format == 2 ? object.substr(at + 4, size) : Bytes();
}

void noteData(Scan &scan) {
    if (scan.depth == scan.object) {
        scan.findings.addFrom(Kinds::checkEmbedded(nativeData(decodedHex(scan.data), scan.findings),
                                                   scan.nesting + 1),
                              "an embedded object");
        scan.object = 0;
    }
    if (scan.depth == scan.picture) {
        if (scan.blip) {
            scan.findings.addFrom(Kinds::checkEmbedded(decodedHex(scan.data), scan.nesting + 1),
                                  "a picture");
        }
        scan.picture = 0;
    }
}

// The paths a field's instruction quotes.
void noteInstruction(Scan &scan) {
    const QStringList pieces = scan.instructionText.split(QLatin1Char('"'));
    for (qsizetype index = 1; index < pieces.size(); index += 2) {
        PackageCheck::addLocalPath(pieces[index], "a folder on the author's computer",
                                   scan.findings);
    }
}

// Closes the group at scan.depth.
void closeGroup(Scan &scan) {
    noteData(scan);
    if (scan.depth == scan.instruction) {
        noteInstruction(scan);
        scan.instruction = 0;
    }
    // The pass looks at each value, the outer with the inner ones in it.
    while (!scan.propertyValues.empty() && scan.propertyValues.back().first == scan.depth) {
        PackageCheck::addLocalPath(
            QStringView(scan.propertyText).mid(scan.propertyValues.back().second),
            "a folder on the author's computer", scan.findings);
        scan.propertyValues.pop_back();
    }
    if (scan.propertyValues.empty()) {
        scan.propertyText.clear();
    }
    if (scan.depth == scan.pictureProperties) {
        scan.pictureProperties = 0;
    }
    if (scan.depth == scan.info) {
        scan.info = 0;
    }
    if (scan.authors != 0 && scan.depth == scan.authors + 1) {
        if (scan.author != "Unknown;") {
            scan.findings.add(Category::People, "revision authors");
        }
        scan.author.clear();
    }
    if (scan.depth == scan.authors) {
        scan.authors = 0;
    }
    if (scan.depth == scan.commenter) {
        scan.commenter = 0;
    }
    --scan.depth;
}

void addData(std::string_view text, Scan &scan) {
    scan.data.add(text);
    if (scan.data.other) {
        throw Refused("damaged RTF: a picture or object holds other than hex");
    }
}

// A picture's or an object's own text, and nothing else to follow: its hex digits at once, up to
// the next group or control. Past that text.
std::size_t noteDataRun(const Bytes &document, std::size_t at, Scan &scan) {
    const std::size_t end = nextStructure(document, at);
    addData(std::string_view(document).substr(at, end - at), scan);
    return end;
}

bool inDataAlone(const Scan &scan) {
    const std::size_t data = std::max(scan.picture, scan.object);
    return data != 0 && scan.depth == data && scan.instruction == 0 && scan.propertyValues.empty();
}

void noteText(char c, Scan &scan) {
    if (scan.instruction != 0) {
        scan.instructionText += QLatin1Char(c);
    }
    if (!scan.propertyValues.empty()) {
        scan.propertyText += QLatin1Char(c);
    }
    const std::size_t data = std::max(scan.picture, scan.object);
    if (data != 0 && scan.depth == data) {
        addData(std::string_view(&c, 1), scan);
    } else if (scan.authors != 0 && scan.depth > scan.authors) {
        scan.author += c;
    } else if (scan.commenter != 0 && !std::isspace(static_cast<unsigned char>(c))) {
        scan.findings.add(Category::People, "comment authors");
    }
}

// An escaped backslash, as paths hold them, in the texts looked at for paths.
void noteEscapedBackslash(Scan &scan) {
    if (scan.instruction != 0) {
        scan.instructionText += QLatin1Char('\\');
    }
    if (!scan.propertyValues.empty()) {
        scan.propertyText += QLatin1Char('\\');
    }
}

// Past the control at `at`: its letters in `word`, raw \bin data skipped.
std::size_t skipControl(const Bytes &rtf, std::size_t at, std::string &word) {
    std::size_t end = at + 1;
    while (end < rtf.size() && std::isalpha(static_cast<unsigned char>(rtf[end]))) {
        ++end;
    }
    word = rtf.substr(at + 1, end - at - 1);
    if (word.empty()) {
        return at + 2;  // a control symbol; \'hh leaves its digits as text that is no letter
    }
    const std::size_t number = end;
    while (end < rtf.size() && (std::isdigit(static_cast<unsigned char>(rtf[end])) ||
                                (end == number && rtf[end] == '-'))) {
        ++end;
    }
    // A negative count of raw bytes is no count: the cleaning refuses it.
    if (word == "bin" && end > number && rtf[number] != '-' && end - number <= MaxParameterDigits) {
        end += std::stoull(rtf.substr(number, end - number)) + (rtf[end] == ' ' ? 1 : 0);
    }
    return end;
}

}  // namespace

Formats::Findings findings(const Bytes &document, int depth) {
    if (document.rfind("{\\rtf", 0) != 0) {
        throw Refused("not an RTF document");
    }
    Scan scan;
    scan.nesting = depth;
    for (std::size_t at = 0; at < document.size();) {
        const char c = document[at];
        if (c == '{') {
            if (++scan.depth > MaxGroupDepth) {
                throw Refused("damaged RTF: nested too deeply");
            }
            ++at;
        } else if (c == '}') {
            if (scan.depth == 0 && at + 1 == document.size()) {
                break;  // a brace too many as the last byte: readers pass over it
            }
            if (scan.depth == 0) {
                throw Refused("damaged RTF: a group closes that never opened");
            }
            closeGroup(scan);
            ++at;
        } else if (c == '\\') {
            if (document.compare(at, 2, "\\\\") == 0) {
                noteEscapedBackslash(scan);
            }
            std::string word;
            at = skipControl(document, at, word);
            noteWord(word, scan);
        } else if (inDataAlone(scan)) {
            at = noteDataRun(document, at, scan);
        } else {
            noteText(c, scan);
            ++at;
        }
    }
    if (scan.depth != 0) {
        throw Refused("damaged RTF: cut short");
    }
    return scan.findings;
}

std::string remainingMetadata(const Bytes &document) {
    try {
        return findings(document, 0).reason();
    } catch (const Refused &refused) {
        return refused.what();
    }
}

}  // namespace Rtf
