#include "replyline.h"

#include <cstring>

namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

const char* SkipSpace(const char* at) {
    while (*at != '\0' && IsSpace(*at)) {
        ++at;
    }
    return at;
}

}  // namespace

const char* CutFirstLine(char* buffer, std::size_t size) {
    buffer[size - 1] = '\0';
    char* line = buffer;
    while (*line == '\n') {
        ++line;
    }
    if (char* end = std::strchr(line, '\n')) {
        *end = '\0';
    }
    return line;
}

ResultCode ReadStatusCode(const char* firstLine) {
    const char* at = SkipSpace(firstLine);
    if (*at == '\0') {
        return kNoStatusNumber;
    }
    while (*at != '\0' && !IsSpace(*at)) {
        ++at;
    }
    at = SkipSpace(at);
    bool negative = false;
    if (*at == '+' || *at == '-') {
        negative = *at == '-';
        ++at;
    }
    if (!IsDigit(*at)) {
        return kNoStatusNumber;
    }
    ResultCode code = 0;
    for (; IsDigit(*at); ++at) {
        code = code * 10 + static_cast<ResultCode>(*at - '0');
    }
    return negative ? 0u - code : code;
}
