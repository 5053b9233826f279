#pragma once

#include <cstddef>
#include <string>

// The length of the valid UTF-8 sequence at text[at] (no overlong forms, no surrogates,
// nothing above U+10FFFF), or 0 when the byte there starts none.
std::size_t Utf8SequenceLength(const std::string& text, std::size_t at);

// The code point of the valid sequence of that length at text[at].
unsigned Utf8CodePoint(const std::string& text, std::size_t at, std::size_t length);

bool IsValidUtf8(const std::string& text);

// Bytes as a reader may safely see them: valid UTF-8 text as it stands, but every C0 control,
// DEL, C1 control and byte that is not UTF-8 written as \xHH, so that no byte from a web page
// can drive a terminal or break an XML document.
std::string EscapeControls(const std::string& bytes);

// Bytes as an XML document may hold them: EscapeControls, and besides U+FFFE and U+FFFF, which
// XML forbids too, as \xHH, and a backslash doubled, so that the text "\xff" reads apart from
// the escaped byte.
std::string EscapeForXml(const std::string& bytes);
