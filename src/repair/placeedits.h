#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "model/linkplace.h"
#include "model/pagedecoding.h"

// The name a disabled link's attribute takes: the element stays, with its content, but is no
// link any more, and renaming the attribute back undoes it by hand.
inline constexpr const char* kDisabledHrefName = "data-linkvet-href";

// Repairs links of the HTML scanner at the exact places it found them in a page, all in one
// pass: no other byte of the page changes, whatever else on the line or in the page holds the
// same bytes (a comment, a script, another link ending alike).
//   disable: the href attribute is renamed to data-linkvet-href;
//   replace: the value becomes the page's own file name, and the old value is kept beside it
//            as data-linkvet-href;
//   update: the value becomes the link's new address;
//   remove (and any other method): the element's start and end tags go, its content stays.
class CPlaceEdits {
public:
    CPlaceEdits(std::string page, std::string fileName);

    // Takes the link at place for the method; false, with nothing taken, when the page no
    // longer holds the tags that were scanned there, or when an edit taken before already
    // changes those bytes.
    bool Take(const CLinkPlace& place, int method, const std::string& newAddress = {});
    // The page with every edit taken so far.
    std::string Apply() const;
    // Where a link not taken stands in the page Apply gives: its spans move by what the edits
    // before them added or took away.
    CLinkPlace Shifted(CLinkPlace place) const;

private:
    struct CByteEdit {
        CSourceSpan span;
        std::string text;
    };

    bool Writable(const std::string& newAddress) const;
    bool StillHolds(CSourceSpan span, const std::string& text) const;
    bool Overlaps(CSourceSpan span) const;
    std::vector<CByteEdit> EditsFor(const CLinkPlace& place, int method,
                                    const std::string& newAddress) const;

    std::string m_page;
    // Read as the scanner read it: a UTF-16 page takes its edits in UTF-16.
    CPageEncoding m_encoding;
    // The file name, as an attribute value that is the same link in any page encoding.
    std::string m_nameValue;
    std::vector<CByteEdit> m_edits;
};
