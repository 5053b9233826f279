#include "placeedits.h"

#include <algorithm>

#include "platform/asciitext.h"
#include "repair/repairtext.h"

namespace {

// Bytes that would change what a file name means as a relative link, or that a page of another
// encoding would read differently, are percent-encoded: the value is plain ASCII.
bool KeepsInFileLink(unsigned char byte) {
    return byte > 0x20 && byte < 0x7F && byte != '"' && byte != '\'' && byte != '#' &&
           byte != '%' && byte != '?' && byte != '&' && byte != '<' && byte != '>' && byte != ':' &&
           byte != '\\' && byte != '`';
}

std::string LinkToFile(const std::string& fileName) {
    std::string value = "\"";
    for (const char c : fileName) {
        const auto byte = static_cast<unsigned char>(c);
        if (KeepsInFileLink(byte)) {
            value += c;
        } else {
            platform::AppendPercentEncoded(value, byte);
        }
    }
    return value + '"';
}

// A URL as a double-quoted attribute value: the page reads back exactly the URL.
std::string AttributeValue(const std::string& url) {
    std::string value = "\"";
    for (const char c : url) {
        if (c == '&') {
            value += "&amp;";
        } else if (c == '"') {
            value += "&quot;";
        } else {
            value += c;
        }
    }
    return value + '"';
}

}  // namespace

CPlaceEdits::CPlaceEdits(std::string page, std::string fileName)
    : m_page(std::move(page)),
      m_encoding(SniffPageEncoding(m_page)),
      m_nameValue(LinkToFile(fileName)) {}

bool CPlaceEdits::Take(const CLinkPlace& place, int method, const std::string& newAddress) {
    if (!StillHolds(place.startTag, place.startTagText) ||
        !StillHolds(place.endTag, place.endTagText) || !Writable(newAddress)) {
        return false;
    }
    std::vector<CByteEdit> edits = EditsFor(place, method, newAddress);
    if (std::any_of(edits.begin(), edits.end(),
                    [this](const CByteEdit& edit) { return Overlaps(edit.span); })) {
        return false;
    }
    m_edits.insert(m_edits.end(), edits.begin(), edits.end());
    return true;
}

std::string CPlaceEdits::Apply() const {
    std::vector<CByteEdit> edits = m_edits;
    std::sort(edits.begin(), edits.end(),
              [](const CByteEdit& a, const CByteEdit& b) { return a.span.begin < b.span.begin; });
    std::string page;
    page.reserve(m_page.size());
    std::size_t copied = 0;
    for (const CByteEdit& edit : edits) {
        page.append(m_page, copied, edit.span.begin - copied);
        page += edit.text;
        copied = edit.span.end;
    }
    page.append(m_page, copied);
    return page;
}

CLinkPlace CPlaceEdits::Shifted(CLinkPlace place) const {
    std::ptrdiff_t delta = 0;
    for (const CByteEdit& edit : m_edits) {
        if (edit.span.end <= place.startTag.begin) {
            delta += static_cast<std::ptrdiff_t>(edit.text.size()) -
                     static_cast<std::ptrdiff_t>(edit.span.Size());
        }
    }
    for (CSourceSpan* span : {&place.name, &place.value, &place.startTag, &place.endTag}) {
        span->begin = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(span->begin) + delta);
        span->end = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(span->end) + delta);
    }
    return place;
}

// A UTF-16 page takes ASCII text by widening each byte; other bytes of a new address would
// become other characters there, so such a link is left as it is.
bool CPlaceEdits::Writable(const std::string& newAddress) const {
    return !m_encoding.IsUtf16() || std::all_of(newAddress.begin(), newAddress.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x80;
    });
}

bool CPlaceEdits::StillHolds(CSourceSpan span, const std::string& text) const {
    return span.end <= m_page.size() && m_page.compare(span.begin, span.Size(), text) == 0;
}

// Two edits at the same offset that both only insert would also collide: the order of the
// inserted texts would be a guess.
bool CPlaceEdits::Overlaps(CSourceSpan span) const {
    return std::any_of(m_edits.begin(), m_edits.end(), [span](const CByteEdit& taken) {
        return (span.begin < taken.span.end && taken.span.begin < span.end) ||
               span.begin == taken.span.begin;
    });
}

std::vector<CPlaceEdits::CByteEdit> CPlaceEdits::EditsFor(const CLinkPlace& place, int method,
                                                          const std::string& newAddress) const {
    // What is written is ASCII, in the page's own encoding; the old value is kept as its bytes.
    const auto ascii = [this](const std::string& text) { return EncodeAscii(text, m_encoding); };
    if (method == kRepairDisable) {
        return {{place.name, ascii(kDisabledHrefName)}};
    }
    if (method == kRepairReplace) {
        if (place.value.Empty()) {
            // A bare href has no value to keep; it gains one where its name ends.
            return {{place.value, ascii("=" + m_nameValue)}};
        }
        const std::string old = m_page.substr(place.value.begin, place.value.Size());
        return {{place.value, ascii(m_nameValue + ' ' + kDisabledHrefName + '=') + old}};
    }
    if (method == kRepairUpdate) {
        return {
            {place.value, ascii((place.value.Empty() ? "=" : "") + AttributeValue(newAddress))}};
    }
    std::vector<CByteEdit> edits{{place.startTag, ""}};
    if (!place.endTag.Empty()) {
        edits.push_back({place.endTag, ""});
    }
    return edits;
}
