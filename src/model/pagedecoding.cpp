#include "pagedecoding.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <optional>

#include "platform/asciitext.h"

namespace {

struct CLabels {
    const char* name;
    const char* iconvName;
    std::initializer_list<const char*> labels;
};

// The encodings browsers read pages in, under the labels they answer to (WHATWG's Encoding
// Standard). Left out: ISO-2022-JP, whose ASCII bytes are not always ASCII, and the rare
// legacy ones; a page that names one is read as if it named none.
const std::array<CLabels, 32>& LabelTable() {
    static const std::array<CLabels, 32> table{{
        {"UTF-8",
         "",
         {"unicode-1-1-utf-8", "unicode11utf8", "unicode20utf8", "utf-8", "utf8",
          "x-unicode20utf8"}},
        {"UTF-16LE",
         "UTF-16LE",
         {"csunicode", "iso-10646-ucs-2", "ucs-2", "unicode", "unicodefeff", "utf-16", "utf-16le"}},
        {"UTF-16BE", "UTF-16BE", {"unicodefffe", "utf-16be"}},
        {"windows-1252",
         "CP1252",
         {"ansi_x3.4-1968", "ascii", "cp1252", "cp819", "csisolatin1", "ibm819", "iso-8859-1",
          "iso-ir-100", "iso8859-1", "iso88591", "iso_8859-1", "iso_8859-1:1987", "l1", "latin1",
          "us-ascii", "windows-1252", "x-cp1252"}},
        {"ISO-8859-2",
         "ISO-8859-2",
         {"csisolatin2", "iso-8859-2", "iso-ir-101", "iso8859-2", "iso88592", "iso_8859-2",
          "iso_8859-2:1987", "l2", "latin2"}},
        {"ISO-8859-3",
         "ISO-8859-3",
         {"csisolatin3", "iso-8859-3", "iso-ir-109", "iso8859-3", "iso88593", "iso_8859-3",
          "iso_8859-3:1988", "l3", "latin3"}},
        {"ISO-8859-4",
         "ISO-8859-4",
         {"csisolatin4", "iso-8859-4", "iso-ir-110", "iso8859-4", "iso88594", "iso_8859-4",
          "iso_8859-4:1988", "l4", "latin4"}},
        {"ISO-8859-5",
         "ISO-8859-5",
         {"csisolatincyrillic", "cyrillic", "iso-8859-5", "iso-ir-144", "iso8859-5", "iso88595",
          "iso_8859-5", "iso_8859-5:1988"}},
        {"ISO-8859-6",
         "ISO-8859-6",
         {"arabic", "asmo-708", "csiso88596e", "csiso88596i", "csisolatinarabic", "ecma-114",
          "iso-8859-6", "iso-8859-6-e", "iso-8859-6-i", "iso-ir-127", "iso8859-6", "iso88596",
          "iso_8859-6", "iso_8859-6:1987"}},
        {"ISO-8859-7",
         "ISO-8859-7",
         {"csisolatingreek", "ecma-118", "elot_928", "greek", "greek8", "iso-8859-7", "iso-ir-126",
          "iso8859-7", "iso88597", "iso_8859-7", "iso_8859-7:1987", "sun_eu_greek"}},
        {"ISO-8859-8",
         "ISO-8859-8",
         {"csiso88598e", "csisolatinhebrew", "hebrew", "iso-8859-8", "iso-8859-8-e", "iso-ir-138",
          "iso8859-8", "iso88598", "iso_8859-8", "iso_8859-8:1988", "visual", "csiso88598i",
          "iso-8859-8-i", "logical"}},
        {"ISO-8859-10",
         "ISO-8859-10",
         {"csisolatin6", "iso-8859-10", "iso-ir-157", "iso8859-10", "iso885910", "l6", "latin6"}},
        {"ISO-8859-13", "ISO-8859-13", {"iso-8859-13", "iso8859-13", "iso885913"}},
        {"ISO-8859-14", "ISO-8859-14", {"iso-8859-14", "iso8859-14", "iso885914"}},
        {"ISO-8859-15",
         "ISO-8859-15",
         {"csisolatin9", "iso-8859-15", "iso8859-15", "iso885915", "iso_8859-15", "l9"}},
        {"ISO-8859-16", "ISO-8859-16", {"iso-8859-16"}},
        {"KOI8-R", "KOI8-R", {"cskoi8r", "koi", "koi8", "koi8-r", "koi8_r"}},
        {"KOI8-U", "KOI8-U", {"koi8-ru", "koi8-u"}},
        {"windows-874",
         "CP874",
         {"dos-874", "iso-8859-11", "iso8859-11", "iso885911", "tis-620", "windows-874"}},
        {"windows-1250", "CP1250", {"cp1250", "windows-1250", "x-cp1250"}},
        {"windows-1251", "CP1251", {"cp1251", "windows-1251", "x-cp1251"}},
        {"windows-1253", "CP1253", {"cp1253", "windows-1253", "x-cp1253"}},
        {"windows-1254",
         "CP1254",
         {"cp1254", "csisolatin5", "iso-8859-9", "iso-ir-148", "iso8859-9", "iso88599",
          "iso_8859-9", "iso_8859-9:1989", "l5", "latin5", "windows-1254", "x-cp1254"}},
        {"windows-1255", "CP1255", {"cp1255", "windows-1255", "x-cp1255"}},
        {"windows-1256", "CP1256", {"cp1256", "windows-1256", "x-cp1256"}},
        {"windows-1257", "CP1257", {"cp1257", "windows-1257", "x-cp1257"}},
        {"windows-1258", "CP1258", {"cp1258", "windows-1258", "x-cp1258"}},
        {"GBK",
         "GB18030",
         {"chinese", "csgb2312", "csiso58gb231280", "gb2312", "gb_2312", "gb_2312-80", "gbk",
          "iso-ir-58", "x-gbk", "gb18030"}},
        {"Big5", "BIG5-HKSCS", {"big5", "big5-hkscs", "cn-big5", "csbig5", "x-x-big5"}},
        {"Shift_JIS",
         "CP932",
         {"csshiftjis", "ms932", "ms_kanji", "shift-jis", "shift_jis", "sjis", "windows-31j",
          "x-sjis"}},
        {"EUC-JP", "EUC-JP", {"cseucpkdfmtjapanese", "euc-jp", "x-euc-jp"}},
        {"EUC-KR",
         "CP949",
         {"cseuckr", "csksc56011987", "euc-kr", "iso-ir-149", "korean", "ks_c_5601-1987",
          "ks_c_5601-1989", "ksc5601", "ksc_5601", "windows-949"}},
    }};
    return table;
}

bool IsSpace(unsigned char c) {
    return c == 0x09 || c == 0x0A || c == 0x0C || c == 0x0D || c == 0x20;
}

bool IsAlpha(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool StartsWithCaseless(std::string_view text, std::size_t at, std::string_view lowerPrefix) {
    return platform::StartsWithAsciiCaseless(text.substr(at), lowerPrefix);
}

// The charset a <meta content> value names ("text/html; charset=koi8-r"), if any.
std::optional<std::string> CharsetOfContent(std::string_view content) {
    const std::string lower = platform::AsciiLower(std::string(content));
    std::size_t at = 0;
    for (;;) {
        at = lower.find("charset", at);
        if (at == std::string::npos) {
            return std::nullopt;
        }
        at += 7;
        while (at < content.size() && IsSpace(content[at])) {
            ++at;
        }
        if (at < content.size() && content[at] == '=') {
            break;
        }
    }
    ++at;
    while (at < content.size() && IsSpace(content[at])) {
        ++at;
    }
    if (at == content.size()) {
        return std::nullopt;
    }
    if (content[at] == '"' || content[at] == '\'') {
        const std::size_t close = content.find(content[at], at + 1);
        if (close == std::string_view::npos) {
            return std::nullopt;
        }
        return std::string(content.substr(at + 1, close - at - 1));
    }
    std::size_t end = at;
    while (end < content.size() && !IsSpace(content[end]) && content[end] != ';') {
        ++end;
    }
    return std::string(content.substr(at, end - at));
}

struct CAttribute {
    std::string name;
    std::string value;
};

// The prescan of a page's first bytes for a <meta> that names its charset, the way a browser
// looks before it parses: comments and other tags are stepped over, their attributes read
// only so that a ">" inside a quoted value does not end them.
class CMetaPrescan {
public:
    explicit CMetaPrescan(std::string_view bytes) : m_bytes(bytes.substr(0, 1024)) {}

    std::optional<CPageEncoding> Find();

private:
    bool AtEnd() const { return m_at >= m_bytes.size(); }
    unsigned char Byte() const { return static_cast<unsigned char>(m_bytes[m_at]); }
    void SkipTo(std::string_view what);
    std::optional<CAttribute> NextAttribute();
    bool ReadName(CAttribute& attribute);
    void ReadValue(CAttribute& attribute);
    std::optional<CPageEncoding> Meta();

    std::string_view m_bytes;
    std::size_t m_at = 0;
};

std::optional<CPageEncoding> CMetaPrescan::Find() {
    for (; !AtEnd(); ++m_at) {
        if (m_bytes.substr(m_at, 4) == "<!--") {
            m_at += 2;
            SkipTo("-->");
            m_at += 2;
        } else if (StartsWithCaseless(m_bytes, m_at, "<meta") && m_at + 5 < m_bytes.size() &&
                   (IsSpace(m_bytes[m_at + 5]) || m_bytes[m_at + 5] == '/')) {
            m_at += 5;
            if (std::optional<CPageEncoding> found = Meta()) {
                return found;
            }
        } else if (m_bytes[m_at] == '<' &&
                   ((m_at + 1 < m_bytes.size() && IsAlpha(m_bytes[m_at + 1])) ||
                    (m_bytes.substr(m_at, 2) == "</" && m_at + 2 < m_bytes.size() &&
                     IsAlpha(m_bytes[m_at + 2])))) {
            while (!AtEnd() && !IsSpace(Byte()) && Byte() != '>') {
                ++m_at;
            }
            while (NextAttribute()) {
            }
        } else if (m_bytes.substr(m_at, 2) == "<!" || m_bytes.substr(m_at, 2) == "</" ||
                   m_bytes.substr(m_at, 2) == "<?") {
            SkipTo(">");
        }
    }
    return std::nullopt;
}

void CMetaPrescan::SkipTo(std::string_view what) {
    const std::size_t found = m_bytes.find(what, m_at);
    m_at = found == std::string_view::npos ? m_bytes.size() : found;
}

std::optional<CPageEncoding> CMetaPrescan::Meta() {
    std::vector<std::string> seen;
    bool gotPragma = false;
    std::optional<bool> needPragma;
    std::optional<CPageEncoding> charset;
    while (const std::optional<CAttribute> attribute = NextAttribute()) {
        if (std::find(seen.begin(), seen.end(), attribute->name) != seen.end()) {
            continue;
        }
        seen.push_back(attribute->name);
        if (attribute->name == "http-equiv") {
            gotPragma = gotPragma || attribute->value == "content-type";
        } else if (attribute->name == "content" && !charset) {
            const std::optional<std::string> label = CharsetOfContent(attribute->value);
            if (label && !EncodingForLabel(*label).name.empty()) {
                charset = EncodingForLabel(*label);
                needPragma = true;
            }
        } else if (attribute->name == "charset" && !charset) {
            charset = EncodingForLabel(attribute->value);
            needPragma = false;
        }
    }
    // A meta the first 1024 bytes cut short says nothing: its value may go on past them.
    if (AtEnd() || !needPragma || (*needPragma && !gotPragma) || !charset ||
        charset->name.empty()) {
        return std::nullopt;
    }
    // A page cannot say it is in UTF-16 in bytes that read as ASCII: it is not.
    return charset->IsUtf16() ? EncodingForLabel("utf-8") : charset;
}

std::optional<CAttribute> CMetaPrescan::NextAttribute() {
    while (!AtEnd() && (IsSpace(Byte()) || Byte() == '/')) {
        ++m_at;
    }
    if (AtEnd() || Byte() == '>') {
        return std::nullopt;
    }
    CAttribute attribute;
    if (ReadName(attribute)) {
        ReadValue(attribute);
    }
    return attribute;
}

// True when an "=" follows the name, and a value with it.
bool CMetaPrescan::ReadName(CAttribute& attribute) {
    for (; !AtEnd(); ++m_at) {
        const unsigned char c = Byte();
        if (c == '=' && !attribute.name.empty()) {
            ++m_at;
            return true;
        }
        if (IsSpace(c)) {
            break;
        }
        if (c == '/' || c == '>') {
            return false;
        }
        attribute.name += platform::AsciiLower(static_cast<char>(c));
    }
    while (!AtEnd() && IsSpace(Byte())) {
        ++m_at;
    }
    if (AtEnd() || Byte() != '=') {
        return false;
    }
    ++m_at;
    return true;
}

void CMetaPrescan::ReadValue(CAttribute& attribute) {
    while (!AtEnd() && IsSpace(Byte())) {
        ++m_at;
    }
    if (AtEnd()) {
        return;
    }
    if (Byte() == '"' || Byte() == '\'') {
        const unsigned char quote = Byte();
        for (++m_at; !AtEnd(); ++m_at) {
            if (Byte() == quote) {
                ++m_at;
                return;
            }
            attribute.value += platform::AsciiLower(static_cast<char>(Byte()));
        }
        return;
    }
    for (; !AtEnd() && !IsSpace(Byte()) && Byte() != '>'; ++m_at) {
        attribute.value += platform::AsciiLower(static_cast<char>(Byte()));
    }
}

std::optional<CPageEncoding> ByteOrderMark(std::string_view bytes) {
    if (bytes.starts_with("\xEF\xBB\xBF")) {
        return EncodingForLabel("utf-8");
    }
    if (bytes.starts_with("\xFF\xFE")) {
        return EncodingForLabel("utf-16le");
    }
    if (bytes.starts_with("\xFE\xFF")) {
        return EncodingForLabel("utf-16be");
    }
    return std::nullopt;
}

std::size_t ByteOrderMarkSize(const CPageEncoding& encoding, std::string_view bytes) {
    if (ByteOrderMark(bytes) != encoding) {
        return 0;
    }
    return encoding.IsUtf8() ? 3 : 2;
}

bool IsValidUtf8(std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        std::size_t length = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        if (bytes.size() - i < length) {
            return false;
        }
        const auto second = static_cast<unsigned char>(bytes[i + 1]);
        if (second < low || second > high) {
            return false;
        }
        for (std::size_t k = 2; k < length; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            if (next < 0x80 || next > 0xBF) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

class CIconv {
public:
    explicit CIconv(const std::string& from) : m_cd(iconv_open("UTF-8", from.c_str())) {}
    ~CIconv() {
        if (m_cd != Failed()) {
            iconv_close(m_cd);
        }
    }
    CIconv(const CIconv&) = delete;
    CIconv& operator=(const CIconv&) = delete;

    bool Opened() const { return m_cd != Failed(); }

    // Converts the one character that starts bytes, appending it to text; the bytes it took,
    // or 0 when they hold no character of the encoding.
    std::size_t ConvertOne(std::string_view bytes, std::string& text) {
        // The shortest run of bytes that converts to anything is the one character.
        constexpr std::size_t kLongest = 4;
        for (std::size_t length = 1; length <= kLongest && length <= bytes.size(); ++length) {
            char output[16];
            char* in = const_cast<char*>(bytes.data());
            std::size_t inLeft = length;
            char* out = output;
            std::size_t outLeft = sizeof output;
            const std::size_t result = iconv(m_cd, &in, &inLeft, &out, &outLeft);
            const std::size_t taken = length - inLeft;
            if (out != output) {
                text.append(output, static_cast<std::size_t>(out - output));
                return taken;
            }
            if (result == static_cast<std::size_t>(-1) && errno != EINVAL) {
                break;
            }
        }
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        return 0;
    }

private:
    static iconv_t Failed() { return reinterpret_cast<iconv_t>(-1); }

    iconv_t m_cd;
};

}  // namespace

CPageEncoding EncodingForLabel(std::string_view label) {
    while (!label.empty() && IsSpace(label.front())) {
        label.remove_prefix(1);
    }
    while (!label.empty() && IsSpace(label.back())) {
        label.remove_suffix(1);
    }
    const std::string lower = platform::AsciiLower(std::string(label));
    for (const CLabels& entry : LabelTable()) {
        for (const char* known : entry.labels) {
            if (lower == known) {
                return {entry.name, entry.iconvName};
            }
        }
    }
    return {};
}

CPageEncoding SniffPageEncoding(std::string_view bytes) {
    if (std::optional<CPageEncoding> marked = ByteOrderMark(bytes)) {
        return *marked;
    }
    if (std::optional<CPageEncoding> declared = CMetaPrescan(bytes).Find()) {
        return *declared;
    }
    return EncodingForLabel(IsValidUtf8(bytes) ? "utf-8" : "windows-1252");
}

CDecodedPage::CDecodedPage(std::string_view bytes)
    : m_bytes(bytes), m_encoding(SniffPageEncoding(bytes)) {
    const auto allAscii = [bytes] {
        return std::all_of(bytes.begin(), bytes.end(),
                           [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    };
    if (!m_encoding.IsUtf8() && (m_encoding.IsUtf16() || !allAscii())) {
        Decode();
    }
}

// Every encoding but UTF-16 reads an ASCII byte, between characters, as that character, so
// only the other bytes go through the converter, one character at a time: the offset map needs
// to know where each character came from.
void CDecodedPage::Decode() {
    CIconv converter(m_encoding.iconvName);
    if (!converter.Opened()) {
        return;
    }
    m_decoded = true;
    const bool asciiPassesThrough = !m_encoding.IsUtf16();
    const std::size_t unit = m_encoding.IsUtf16() ? 2 : 1;
    m_text.reserve(m_bytes.size() + m_bytes.size() / 4);
    m_sourceOffsets.reserve(m_text.capacity() + 1);
    std::size_t at = ByteOrderMarkSize(m_encoding, m_bytes);
    while (at < m_bytes.size()) {
        const std::size_t before = m_text.size();
        std::size_t taken = 0;
        if (asciiPassesThrough && static_cast<unsigned char>(m_bytes[at]) < 0x80) {
            m_text += m_bytes[at];
            taken = 1;
        } else {
            taken = converter.ConvertOne(m_bytes.substr(at), m_text);
        }
        if (taken == 0) {
            m_text += "\xEF\xBF\xBD";
            taken = std::min(unit, m_bytes.size() - at);
        }
        m_sourceOffsets.insert(m_sourceOffsets.end(), m_text.size() - before, at);
        at += taken;
    }
    m_sourceOffsets.push_back(m_bytes.size());
}

CSourceSpan CDecodedPage::SourceOf(CSourceSpan textSpan) const {
    if (!m_decoded) {
        return textSpan;
    }
    return {m_sourceOffsets[textSpan.begin], m_sourceOffsets[textSpan.end]};
}

std::string EncodeAscii(std::string_view ascii, const CPageEncoding& encoding) {
    if (!encoding.IsUtf16()) {
        return std::string(ascii);
    }
    const bool littleEndian = encoding.name == "UTF-16LE";
    std::string wide;
    wide.reserve(ascii.size() * 2);
    for (const char c : ascii) {
        wide += littleEndian ? c : '\0';
        wide += littleEndian ? '\0' : c;
    }
    return wide;
}
