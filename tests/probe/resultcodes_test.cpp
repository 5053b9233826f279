#include "probe/resultcodes.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace {

TEST(ResultCodes, TheTableHoldsTwentyOneDistinctCodesInFilterOrder) {
    std::set<ResultCode> codes;
    for (const CResultCodeEntry& entry : kResultCodes) {
        codes.insert(entry.code);
    }
    EXPECT_EQ(codes.size(), kResultCodeCount);
    EXPECT_EQ(ResultCodeIndex(200), 0u);
    EXPECT_EQ(ResultCodeIndex(404), 10u);
    EXPECT_EQ(ResultCodeIndex(503), 14u);
    EXPECT_EQ(ResultCodeIndex(kUnspecifiedSocketError), 15u);
    EXPECT_EQ(ResultCodeIndex(kHostTooSlow), 20u);
    EXPECT_EQ(kResultCodes[*ResultCodeIndex(kHostNotFound)].reasonText, "Can't Find Named Host");
    EXPECT_FALSE(ResultCodeIndex(206));
    EXPECT_FALSE(ResultCodeIndex(10006));
}

TEST(ReportFilter, TheDefaultReportsEverythingButOk) {
    EXPECT_FALSE(FilterReports(kWatchLikeAHawkFilter, 200));
    for (ResultCode code : {201u, 301u, 302u, 304u, 404u, 10000u, 10001u, 10002u, 10003u, 10004u,
                            10005u}) {
        EXPECT_TRUE(FilterReports(kWatchLikeAHawkFilter, code)) << code;
    }
}

TEST(ReportFilter, OneEyeShutReportsOnlyTheWorst) {
    for (ResultCode code : {400u, 401u, 403u, 404u, 10002u}) {
        EXPECT_TRUE(FilterReports(kWatchWithOneEyeShutFilter, code)) << code;
    }
    for (ResultCode code : {200u, 301u, 500u, 10004u, 10005u}) {
        EXPECT_FALSE(FilterReports(kWatchWithOneEyeShutFilter, code)) << code;
    }
}

TEST(ReportFilter, CodesOutsideTheTableAreAlwaysReported) {
    const std::string allOff(kResultCodeCount, '0');
    for (ResultCode code : {100u, 206u, 303u, 405u, 505u, 0u, 4294967295u}) {
        EXPECT_TRUE(FilterReports(allOff, code)) << code;
    }
}

TEST(ResultCodes, TlsAndLocalFailuresHaveTextsOfTheirOwnOutsideTheFilter) {
    const std::vector<std::pair<ResultCode, std::string_view>> expected = {
        {10006, "Secure Connection (TLS) Failed"},
        {10007, "Certificate Not Trusted"},
        {10008, "Certificate Is for Another Host Name"},
        {10009, "Certificate Expired or Not Yet Valid"},
        {10010, "Local File Not Found"},
        {10011, "Fragment Not Found in Target Page"},
        {10012, "Too Many Redirects"},
        {10013, "Moved Permanently"}};
    const std::string allOff(kResultCodeCount, '0');
    for (const auto& [code, text] : expected) {
        EXPECT_EQ(ExtendedReasonText(code), text) << code;
        EXPECT_FALSE(ResultCodeIndex(code)) << "not one of the 21: " << code;
        EXPECT_TRUE(FilterReports(allOff, code)) << code;
        EXPECT_TRUE(FilterReports(kWatchWithOneEyeShutFilter, code)) << code;
    }
    for (ResultCode code : {404u, 10005u, 10014u, 206u}) {
        EXPECT_FALSE(ExtendedReasonText(code)) << code;
    }
}

TEST(ReportFilter, AnyCharacterButZeroCountsAsOn) {
    EXPECT_TRUE(FilterReports("x00000000000000000000", 200));
    EXPECT_FALSE(FilterReports("0x0000000000000000000", 200));
    EXPECT_TRUE(FilterReports("0", 404)) << "a character the filter lacks is not '0'";
}

}  // namespace
