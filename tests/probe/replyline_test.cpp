#include "probe/replyline.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>

namespace {

ResultCode CodeOf(const std::string& reply) {
    std::array<char, 514> buffer{};
    std::memcpy(buffer.data(), reply.data(), std::min(reply.size(), std::size_t{512}));
    return ReadStatusCode(CutFirstLine(buffer.data(), buffer.size()));
}

TEST(ReplyLine, TheNumberAfterTheFirstWordIsTheCode) {
    EXPECT_EQ(CodeOf("HTTP/1.0 404 Not Found\r\nServer: x\r\n\r\n"), 404u);
    EXPECT_EQ(CodeOf("HTTP/1.1 200 OK"), 200u);
    EXPECT_EQ(CodeOf("\n\n  HTTP/1.0\t302 Found\r\n"), 302u) << "leading LFs and blanks skipped";
    EXPECT_EQ(CodeOf("220 ProFTPD ready\r\n"), kNoStatusNumber) << "the word is 220, no number";
    EXPECT_EQ(CodeOf("x 10002"), 10002u);
    EXPECT_EQ(CodeOf("x +7"), 7u);
    EXPECT_EQ(CodeOf("x -1"), 4294967295u) << "%u wraps a sign";
    EXPECT_EQ(CodeOf("x 4294967297"), 1u);
}

TEST(ReplyLine, OnlyTheFirstLineCanSupplyTheNumber) {
    EXPECT_EQ(CodeOf("HTTP/1.0\n404 Not Found"), kNoStatusNumber);
    EXPECT_EQ(CodeOf("HTTP/1.0\r\n404"), kNoStatusNumber);
    EXPECT_EQ(CodeOf(""), kNoStatusNumber);
    EXPECT_EQ(CodeOf("\n\n\n"), kNoStatusNumber);
    EXPECT_EQ(CodeOf("Hello there"), kNoStatusNumber);
    EXPECT_EQ(CodeOf(std::string("HTTP/1.0 4\0" "04", 13)), 4u) << "text ends at a zero byte";
}

TEST(ReplyLine, AFullBufferStillEndsInAZeroByte) {
    std::array<char, 8> buffer;
    buffer.fill('7');
    EXPECT_STREQ(CutFirstLine(buffer.data(), buffer.size()), "7777777");
}

}  // namespace
