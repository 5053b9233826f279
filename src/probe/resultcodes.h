#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

// Every probed link ends in one result code: an HTTP status number from the reply, or a
// failure code of the probe's own.
using ResultCode = std::uint32_t;

inline constexpr ResultCode kUnspecifiedSocketError = 10000;
inline constexpr ResultCode kInvalidPortOrName = 10001;
inline constexpr ResultCode kHostNotFound = 10002;
inline constexpr ResultCode kNoSocket = 10003;
inline constexpr ResultCode kCannotConnect = 10004;
inline constexpr ResultCode kHostTooSlow = 10005;

struct CResultCodeEntry {
    ResultCode code;
    std::string_view reasonText;
};

inline constexpr std::size_t kResultCodeCount = 21;

// The closed table of codes Linkvet knows; an entry's index is its position in the report
// filter and its row in the preferences list.
inline constexpr std::array<CResultCodeEntry, kResultCodeCount> kResultCodes = {{
    {200, "HTTP Code 200 OK"},
    {201, "HTTP Code 201 Created"},
    {202, "HTTP Code 202 Accepted"},
    {204, "HTTP Code 204 No Content"},
    {301, "HTTP Code 301 Moved Permanently"},
    {302, "HTTP Code 302 Moved Temporarily"},
    {304, "HTTP Code 304 Not Modified"},
    {400, "HTTP Code 400 Bad Request"},
    {401, "HTTP Code 401 Unauthorized"},
    {403, "HTTP Code 403 Forbidden"},
    {404, "HTTP Code 404 Not Found"},
    {500, "HTTP Code 500 Internal Server Error"},
    {501, "HTTP Code 501 Not Implemented"},
    {502, "HTTP Code 502 Bad Gateway"},
    {503, "HTTP Code 503 Service Unavailable"},
    {kUnspecifiedSocketError, "Unspecified Socket Error"},
    {kInvalidPortOrName, "Request for Invalid Port or Name"},
    {kHostNotFound, "Can't Find Named Host"},
    {kNoSocket, "Can't Establish Socket"},
    {kCannotConnect, "Can't Connect to Host"},
    {kHostTooSlow, "Host Took Too Long to Respond"},
}};

inline constexpr ResultCode kTlsHandshakeFailed = 10006;
inline constexpr ResultCode kCertificateNotTrusted = 10007;
inline constexpr ResultCode kCertificateForAnotherName = 10008;
inline constexpr ResultCode kCertificateExpired = 10009;
inline constexpr ResultCode kLocalFileMissing = 10010;
inline constexpr ResultCode kFragmentMissing = 10011;
inline constexpr ResultCode kTooManyRedirects = 10012;
inline constexpr ResultCode kMovedPermanently = 10013;

// Codes beyond the report filter's 21, for checks that go further than plain http: each has a
// reason text of its own and is always reported, so stored 21-character filters keep their
// meaning.
inline constexpr auto kExtendedResultCodes = std::to_array<CResultCodeEntry>({
    {kTlsHandshakeFailed, "Secure Connection (TLS) Failed"},
    {kCertificateNotTrusted, "Certificate Not Trusted"},
    {kCertificateForAnotherName, "Certificate Is for Another Host Name"},
    {kCertificateExpired, "Certificate Expired or Not Yet Valid"},
    {kLocalFileMissing, "Local File Not Found"},
    {kFragmentMissing, "Fragment Not Found in Target Page"},
    {kTooManyRedirects, "Too Many Redirects"},
    {kMovedPermanently, "Moved Permanently"},
});

// The reason text of an extended code; nullopt for any other code.
std::optional<std::string_view> ExtendedReasonText(ResultCode code);

inline constexpr std::string_view kUnknownReasonText = "--------------> UNKNOWN REASON !!!!!";

// Report filters: one character per table index, '0' meaning "not reported".
inline constexpr std::string_view kWatchLikeAHawkFilter = "011111111111111111111";
inline constexpr std::string_view kWatchWithOneEyeShutFilter = "000000011110000001000";

// The table index of a code, by exact match on the number.
std::optional<std::size_t> ResultCodeIndex(ResultCode code);

// Whether the filter reports a code: a code outside the table always is; a code in it unless
// its character is '0'. A filter too short to have the character reports the code.
bool FilterReports(std::string_view filter, ResultCode code);
