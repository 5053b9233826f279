#include "bytetext.h"

#include <algorithm>

namespace {

bool IsContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

bool IsControl(unsigned point) {
    return point < 0x20 || (point >= 0x7F && point < 0xA0);
}

void AppendHex(std::string& out, unsigned char byte) {
    static constexpr char kDigits[] = "0123456789abcdef";
    out += "\\x";
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0xF];
}

}  // namespace

unsigned Utf8CodePoint(const std::string& text, std::size_t at, std::size_t length) {
    static constexpr unsigned kLeadMask[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    unsigned point = static_cast<unsigned char>(text[at]) & kLeadMask[length];
    for (std::size_t i = 1; i < length; ++i) {
        point = (point << 6) | (static_cast<unsigned char>(text[at + i]) & 0x3F);
    }
    return point;
}

std::size_t Utf8SequenceLength(const std::string& text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t length = 0;
    if (lead < 0x80) {
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
    } else {
        return 0;
    }
    if (text.size() - at < length) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if (!IsContinuation(static_cast<unsigned char>(text[at + i]))) {
            return 0;
        }
    }
    const unsigned point = Utf8CodePoint(text, at, length);
    const bool overlong = (length == 3 && point < 0x800) || (length == 4 && point < 0x10000);
    const bool surrogate = point >= 0xD800 && point <= 0xDFFF;
    return overlong || surrogate || point > 0x10FFFF ? 0 : length;
}

bool IsValidUtf8(const std::string& text) {
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = Utf8SequenceLength(text, at);
        if (length == 0) {
            return false;
        }
        at += length;
    }
    return true;
}

namespace {

bool IsNonCharacterForXml(unsigned point) {
    return point == 0xFFFE || point == 0xFFFF;
}

template <typename Escaped>
std::string EscapeBytes(const std::string& bytes, Escaped escaped) {
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t length = Utf8SequenceLength(bytes, at);
        if (length == 0 || escaped(Utf8CodePoint(bytes, at, length))) {
            for (std::size_t i = 0; i < std::max<std::size_t>(length, 1); ++i) {
                AppendHex(out, static_cast<unsigned char>(bytes[at + i]));
            }
            at += std::max<std::size_t>(length, 1);
            continue;
        }
        out.append(bytes, at, length);
        at += length;
    }
    return out;
}

}  // namespace

std::string EscapeControls(const std::string& bytes) {
    return EscapeBytes(bytes, IsControl);
}

std::string EscapeForXml(const std::string& bytes) {
    std::string doubled;
    doubled.reserve(bytes.size());
    for (const char c : bytes) {
        doubled += c;
        if (c == '\\') {
            doubled += c;
        }
    }
    return EscapeBytes(doubled, [](unsigned point) {
        return IsControl(point) || IsNonCharacterForXml(point);
    });
}
