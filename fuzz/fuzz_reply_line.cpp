// Feeds any bytes as a host's reply and checks the cut of its first line and the status code
// read from it. The reply lands as the probe receives it: at most 512 bytes in a zeroed
// 514-byte buffer. When redirects are followed the same bytes are a reply's head, and its
// Location a reference to resolve.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

#include "fuzz/fuzzsupport.h"
#include "probe/redirectchain.h"
#include "probe/replyhead.h"
#include "probe/replyline.h"

namespace {

constexpr std::size_t kBufferSize = 514;
constexpr std::size_t kReceivedLimit = kBufferSize - 2;
constexpr std::string_view kBlanks = " \t\n\v\f\r";
constexpr std::string_view kDigits = "0123456789";

// The first line as the probe should see it: the text ends at its first zero byte, leading
// LFs are not a line, and the line ends at the next LF.
std::string_view ExpectedLine(std::string_view received) {
    std::string_view text = received.substr(0, received.find('\0'));
    text.remove_prefix(std::min(text.find_first_not_of('\n'), text.size()));
    return text.substr(0, text.find('\n'));
}

// The number scanf("%s%u") reads after the first word, its sign apart; no digits when the
// line has no word or no number after it.
struct NumberField {
    bool negative = false;
    std::string_view digits;
};

NumberField FindNumber(std::string_view line) {
    const std::size_t word = line.find_first_not_of(kBlanks);
    if (word == std::string_view::npos) {
        return {};
    }
    const std::size_t afterWord = line.find_first_of(kBlanks, word);
    if (afterWord == std::string_view::npos) {
        return {};
    }
    std::size_t at = line.find_first_not_of(kBlanks, afterWord);
    if (at == std::string_view::npos) {
        return {};
    }
    NumberField number;
    if (line[at] == '+' || line[at] == '-') {
        number.negative = line[at] == '-';
        ++at;
    }
    const std::string_view rest = line.substr(at);
    number.digits = rest.substr(0, rest.find_first_not_of(kDigits));
    return number;
}

// %u's value modulo 2^32, worked out in 64 bits so that it does not share the wrap-around
// of the code under test.
std::uint32_t Modulo32(const NumberField& number) {
    constexpr std::uint64_t kModulus = std::uint64_t{1} << 32;
    std::uint64_t value = 0;
    for (const char digit : number.digits) {
        value = (value * 10 + static_cast<std::uint64_t>(digit - '0')) % kModulus;
    }
    return static_cast<std::uint32_t>(number.negative ? (kModulus - value) % kModulus : value);
}

std::size_t SignificantDigits(std::string_view digits) {
    const std::size_t first = digits.find_first_not_of('0');
    return first == std::string_view::npos ? 0 : digits.size() - first;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::size_t kept = std::min(size, kReceivedLimit);
    // On the heap and exactly the probe's size, so that AddressSanitizer sees any read or
    // write outside it.
    const std::unique_ptr<char[]> buffer = std::make_unique<char[]>(kBufferSize);
    std::memcpy(buffer.get(), data, kept);
    const std::string_view received(buffer.get(), kept);
    const std::string_view expected = ExpectedLine(received);

    const char* line = CutFirstLine(buffer.get(), kBufferSize);
    Require(line >= buffer.get() && line < buffer.get() + kBufferSize,
            "the first line starts inside the buffer");
    const void* end =
        std::memchr(line, '\0', static_cast<std::size_t>(buffer.get() + kBufferSize - line));
    Require(end != nullptr, "the first line ends inside the buffer");
    const std::string_view cut(line,
                               static_cast<std::size_t>(static_cast<const char*>(end) - line));
    Require(cut.find('\n') == std::string_view::npos, "the first line holds no LF");
    Require(cut == expected, "the first line is the text's first line");

    // A copy with no byte after its terminator: reading past it is a heap overflow.
    const std::unique_ptr<char[]> exact = std::make_unique<char[]>(cut.size() + 1);
    std::memcpy(exact.get(), cut.data(), cut.size());
    const ResultCode code = ReadStatusCode(exact.get());
    Require(ReadStatusCode(line) == code, "the code read in place is the code read from a copy");

    const NumberField number = FindNumber(cut);
    Require(code == (number.digits.empty() ? kNoStatusNumber : Modulo32(number)),
            "the code is the number after the first word, modulo 2^32");

    // Where no wrap-around is involved, the C library's own scanf is the judge.
    if (SignificantDigits(number.digits) <= 9) {
        char word[kBufferSize];
        unsigned scanned = 0;
        const int fields = std::sscanf(exact.get(), "%513s%u", word, &scanned);
        Require(code == (fields == 2 ? scanned : kNoStatusNumber), "the code is what sscanf reads");
    }

    const std::string_view head(reinterpret_cast<const char*>(data), size);
    const CReplyHead read = ReadReplyHead(head);
    Require(read.status == code || size > kReceivedLimit,
            "a head's status is the first line's");
    Require(!read.location || read.location->find('\n') == std::string::npos,
            "a Location is one line");
    const std::string target = ResolveReference("http://h.test/a/b?q", head);
    Require(target.empty() || target.starts_with("http://") || target.starts_with("https://"),
            "a resolved reference is an http or https URL");
    Require(std::none_of(target.begin(), target.end(),
                         [](char c) {
                             const auto byte = static_cast<unsigned char>(c);
                             return byte <= 0x20 || byte >= 0x7F || c == '"' || c == '<' ||
                                    c == '>' || c == '\\';
                         }),
            "a resolved reference holds only bytes a page and a request can carry");
    Require(target.empty() || ResolveReference(target, target) == target,
            "a resolved reference resolves to itself");
    return 0;
}
