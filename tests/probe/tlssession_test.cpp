#include "probe/tlssession.h"

#include <gtest/gtest.h>
#include <openssl/x509_vfy.h>

#include <optional>
#include <string>
#include <vector>

#include "probe/socketwnd.h"

namespace {

TEST(TlsFailure, TheCertificateCheckDecidesTheCode) {
    const std::vector<std::pair<long, ResultCode>> cases = {
        {X509_V_ERR_CERT_HAS_EXPIRED, kCertificateExpired},
        {X509_V_ERR_CERT_NOT_YET_VALID, kCertificateExpired},
        {X509_V_ERR_HOSTNAME_MISMATCH, kCertificateForAnotherName},
        {X509_V_ERR_IP_ADDRESS_MISMATCH, kCertificateForAnotherName},
        {X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT, kCertificateNotTrusted},
        {X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN, kCertificateNotTrusted},
        {X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT, kCertificateNotTrusted},
        {X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY, kCertificateNotTrusted},
        {X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE, kCertificateNotTrusted},
        {X509_V_ERR_CERT_UNTRUSTED, kCertificateNotTrusted},
        {X509_V_ERR_INVALID_CA, kCertificateNotTrusted},
        {X509_V_ERR_INVALID_PURPOSE, kCertificateNotTrusted},
        {X509_V_ERR_KEYUSAGE_NO_CERTSIGN, kCertificateNotTrusted},
        {X509_V_ERR_PATH_LENGTH_EXCEEDED, kCertificateNotTrusted},
        {X509_V_ERR_EE_KEY_TOO_SMALL, kCertificateNotTrusted},
        {X509_V_ERR_CA_KEY_TOO_SMALL, kCertificateNotTrusted},
        {X509_V_ERR_CA_MD_TOO_WEAK, kCertificateNotTrusted},
        {X509_V_OK, kTlsHandshakeFailed},
        {X509_V_ERR_CERT_SIGNATURE_FAILURE, kTlsHandshakeFailed},
        {X509_V_ERR_CERT_REVOKED, kTlsHandshakeFailed},
    };
    for (const auto& [verifyResult, code] : cases) {
        EXPECT_EQ(TlsFailureCode(verifyResult), code) << verifyResult;
    }
}

TEST(TlsSession, TheCertificateNameDropsTheAbsoluteDotAndHasNoEmptyLabel) {
    const std::vector<std::pair<std::string, std::optional<std::string>>> cases = {
        {"chain.test", "chain.test"},  {"chain.test.", "chain.test"},
        {"Chain.Test", "Chain.Test"},  {"h", "h"},
        {".test", std::nullopt},       {".chain.test.", std::nullopt},
        {"chain..test", std::nullopt}, {"chain.test..", std::nullopt},
        {".", std::nullopt},           {"", std::nullopt},
    };
    for (const auto& [host, name] : cases) {
        EXPECT_EQ(CertificateName(host), name) << host;
    }
}

TEST(TlsSession, ANameWithAnEmptyLabelFailsBeforeAnyByteIsSent) {
    CTlsSession session(-1, ".test");
    EXPECT_EQ(session.Handshake(), CTlsSession::Step::Failed);
    EXPECT_EQ(session.Failure(), kCertificateForAnotherName);
}

TEST(TlsFailure, OnlyAClosingNotificationCarriesOne) {
    EXPECT_EQ(TlsFailureOf(kFdClose | (10007ul << 16)), kCertificateNotTrusted);
    EXPECT_EQ(TlsFailureOf(kFdClose | (10009ul << 16)), kCertificateExpired);
    EXPECT_EQ(TlsFailureOf(kFdRead | (10007ul << 16)), 0u);
    EXPECT_EQ(TlsFailureOf(kFdClose), 0u) << "a plain close";
    EXPECT_EQ(TlsFailureOf(kFdClose | (104ul << 16)), 0u) << "a reset, as errno";
    EXPECT_EQ(TlsFailureOf(kFdClose | (10005ul << 16)), 0u);
    EXPECT_EQ(TlsFailureOf(kFdClose | (10010ul << 16)), 0u);
}

TEST(TlsSession, ASessionWithoutAConnectionNeverPretendsToBeOne) {
    CTlsSession session(-1, "h1.test");
    EXPECT_FALSE(session.Connected());
    EXPECT_EQ(session.Handshake(), CTlsSession::Step::Failed);
    EXPECT_EQ(session.Failure(), kTlsHandshakeFailed);
    char buffer[8];
    EXPECT_LT(session.Read(buffer, sizeof buffer), 0);
    CTlsSession::Step waitFor = CTlsSession::Step::Done;
    EXPECT_LT(session.Write("x", 1, waitFor), 0);
    EXPECT_EQ(waitFor, CTlsSession::Step::Failed);
    EXPECT_FALSE(session.HasBuffered());
}

}  // namespace
