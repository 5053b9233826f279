#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "model/linkplace.h"

// An encoding a page may be in, under its canonical name, with what the converter calls it.
struct CPageEncoding {
    // "UTF-8", "UTF-16LE", "UTF-16BE", "windows-1252", "ISO-8859-2", ...
    std::string name;
    // The name iconv knows it by; empty for UTF-8, which is read as it is.
    std::string iconvName;

    bool IsUtf8() const { return iconvName.empty(); }
    bool IsUtf16() const { return name == "UTF-16LE" || name == "UTF-16BE"; }
    bool operator==(const CPageEncoding&) const = default;
};

// The encoding a browser reads a local page in: a byte order mark, else a <meta> charset
// within the first 1024 bytes, else UTF-8 when the bytes are valid UTF-8, else windows-1252.
CPageEncoding SniffPageEncoding(std::string_view bytes);

// The encoding an encoding label names (ASCII case and surrounding white space ignored);
// name empty for a label no browser knows.
CPageEncoding EncodingForLabel(std::string_view label);

// A page turned into UTF-8 text, with the way back from each offset of the text to the page's
// bytes as read: the parser works on the text, while repair edits the bytes.
class CDecodedPage {
public:
    explicit CDecodedPage(std::string_view bytes);

    const CPageEncoding& Encoding() const { return m_encoding; }
    std::string_view Bytes() const { return m_bytes; }
    std::string_view Text() const { return m_decoded ? std::string_view(m_text) : m_bytes; }
    // The bytes that textSpan of the text was decoded from. Spans start and end on whole
    // characters of the text, so both ends have an offset of their own in the bytes.
    CSourceSpan SourceOf(CSourceSpan textSpan) const;

private:
    void Decode();

    std::string_view m_bytes;
    CPageEncoding m_encoding;
    // Only pages that are not read as they are have a text and a map of their own.
    bool m_decoded = false;
    std::string m_text;
    // For each byte of m_text, and its end, the offset in m_bytes of the character it belongs to.
    std::vector<std::size_t> m_sourceOffsets;
};

// ASCII text as the page's encoding writes it: each character as two bytes in UTF-16, as it
// is in every other encoding a page may be in.
std::string EncodeAscii(std::string_view ascii, const CPageEncoding& encoding);
