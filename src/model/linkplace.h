#pragma once

#include <cstddef>
#include <string>

// A run of bytes of a page as read from disk, [begin, end).
struct CSourceSpan {
    std::size_t begin = 0;
    std::size_t end = 0;

    std::size_t Size() const { return end - begin; }
    bool Empty() const { return end == begin; }
};

// Where the HTML scanner found a link in its page: what repair edits, and what it checks
// is still there first. Every offset is on the page's bytes as read, whatever its encoding.
struct CLinkPlace {
    // The href attribute's value exactly as the file holds it, without its quotes.
    std::string written;
    // The attribute's name, and its value with the quotes around it.
    CSourceSpan name;
    CSourceSpan value;
    // The element's start tag ("<" to ">") and end tag; the end tag is empty when the page
    // leaves it out.
    CSourceSpan startTag;
    CSourceSpan endTag;
    // The two tags' bytes as scanned: a page edited since no longer holds them there.
    std::string startTagText;
    std::string endTagText;

    // A link of the classic scanner has no place: repair seeks its bytes line by line.
    bool Known() const { return !startTag.Empty(); }
};
