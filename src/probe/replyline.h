#pragma once

#include <cstddef>

#include "probe/resultcodes.h"

// The code a reply's first line gives when it holds no number: 0 is outside the table, so the
// link is reported, whatever the filter, as an unknown reason.
inline constexpr ResultCode kNoStatusNumber = 0;

// Cuts the reply's text into lines in place, as the probe does before it reads the status:
// the text ends at its first zero byte (at the latest at size - 1), leading LFs are skipped,
// and the LF that ends the first line becomes a zero byte. Returns the first line.
const char* CutFirstLine(char* buffer, std::size_t size);

// Reads the first line as scanf("%s%u") would: a word of non-blank characters, then an
// unsigned decimal number (an optional sign, digits, wrapping modulo 2^32 as %u does). A line
// without both gives kNoStatusNumber.
ResultCode ReadStatusCode(const char* firstLine);
