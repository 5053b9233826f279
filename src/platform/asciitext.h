#pragma once

#include <string>
#include <string_view>

namespace platform {

// Letter case of ASCII letters only: schemes, host names and fragments compare this way in
// any locale, and bytes beyond ASCII stay as they are.
inline char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string AsciiLower(std::string text) {
    for (char& c : text) {
        c = AsciiLower(c);
    }
    return text;
}

// Whether text starts with lowerPrefix, given in lower case, in any letter case.
inline bool StartsWithAsciiCaseless(std::string_view text, std::string_view lowerPrefix) {
    if (text.size() < lowerPrefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < lowerPrefix.size(); ++i) {
        if (AsciiLower(text[i]) != lowerPrefix[i]) {
            return false;
        }
    }
    return true;
}

// Appends byte as "%" and two upper-case hex digits, as URLs and stored names escape it.
inline void AppendPercentEncoded(std::string& text, unsigned char byte) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    text += '%';
    text += kHex[byte >> 4];
    text += kHex[byte & 0x0F];
}

inline bool EqualsAsciiCaseless(std::string_view text, std::string_view lower) {
    return text.size() == lower.size() && StartsWithAsciiCaseless(text, lower);
}

}  // namespace platform
