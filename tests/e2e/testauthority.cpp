#include "e2e/testauthority.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <cstdlib>

namespace {

using CCertificatePtr = std::unique_ptr<X509, decltype(&X509_free)>;

// EVP_EC_gen("P-256") or EVP_RSA_gen(rsaBits) without the macros' C casts, which clang warns
// about.
EVP_PKEY* NewKey(int rsaBits = 0) {
    if (rsaBits > 0) {
        return EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", static_cast<std::size_t>(rsaBits));
    }
    return EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", const_cast<char*>("P-256"));
}

bool AddExtension(X509* certificate, X509* issuer, int nid, const std::string& value) {
    X509V3_CTX context;
    X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str());
    const bool added = extension != nullptr && X509_add_ext(certificate, extension, -1) == 1;
    X509_EXTENSION_free(extension);
    return added;
}

// A certificate for key, named commonName, valid from notBefore to notAfter seconds from now,
// to be signed by its issuer (itself when issuer is null).
CCertificatePtr NewCertificate(EVP_PKEY* key, const std::string& commonName, long serial,
                               long notBefore, long notAfter, X509* issuer) {
    CCertificatePtr certificate(X509_new(), &X509_free);
    X509_NAME* name = X509_get_subject_name(certificate.get());
    const bool made =
        X509_set_version(certificate.get(), 2) == 1 &&
        ASN1_INTEGER_set(X509_get_serialNumber(certificate.get()), serial) == 1 &&
        X509_gmtime_adj(X509_getm_notBefore(certificate.get()), notBefore) != nullptr &&
        X509_gmtime_adj(X509_getm_notAfter(certificate.get()), notAfter) != nullptr &&
        X509_set_pubkey(certificate.get(), key) == 1 &&
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>(commonName.c_str()), -1,
                                   -1, 0) == 1 &&
        X509_set_issuer_name(
            certificate.get(),
            X509_get_subject_name(issuer != nullptr ? issuer : certificate.get())) == 1;
    return made ? std::move(certificate) : CCertificatePtr(nullptr, &X509_free);
}

bool WritePem(const std::string& path, X509* first, X509* second) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    bool written = PEM_write_X509(file, first) == 1;
    if (second != nullptr) {
        written = written && PEM_write_X509(file, second) == 1;
    }
    return std::fclose(file) == 0 && written;
}

bool WriteKey(const std::string& path, EVP_PKEY* key) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const bool written =
        PEM_write_PrivateKey(file, key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
    return std::fclose(file) == 0 && written;
}

}  // namespace

void CTestAuthority::CKeyFree::operator()(EVP_PKEY* key) const {
    EVP_PKEY_free(key);
}

void CTestAuthority::CCertificateFree::operator()(X509* certificate) const {
    X509_free(certificate);
}

CTestAuthority::CTestAuthority(const std::string& name) : m_key(NewKey()) {
    if (!m_key) {
        return;
    }
    CCertificatePtr certificate =
        NewCertificate(m_key.get(), name, m_serial++, -24 * 3600, 30 * 24 * 3600, nullptr);
    if (certificate &&
        AddExtension(certificate.get(), certificate.get(), NID_basic_constraints,
                     "critical,CA:TRUE") &&
        AddExtension(certificate.get(), certificate.get(), NID_key_usage,
                     "critical,keyCertSign,cRLSign") &&
        AddExtension(certificate.get(), certificate.get(), NID_subject_key_identifier, "hash") &&
        X509_sign(certificate.get(), m_key.get(), EVP_sha256()) > 0) {
        m_certificate.reset(certificate.release());
    }
}

CTestAuthority::CTestAuthority(const std::string& name, const CTestAuthority& issuer)
    : m_key(NewKey()) {
    if (!m_key || !issuer.Valid()) {
        return;
    }
    CCertificatePtr certificate = NewCertificate(m_key.get(), name, issuer.m_serial++, -24 * 3600,
                                                 30 * 24 * 3600, issuer.m_certificate.get());
    if (certificate &&
        AddExtension(certificate.get(), issuer.m_certificate.get(), NID_basic_constraints,
                     "critical,CA:FALSE") &&
        AddExtension(certificate.get(), issuer.m_certificate.get(), NID_subject_key_identifier,
                     "hash") &&
        X509_sign(certificate.get(), issuer.m_key.get(), EVP_sha256()) > 0) {
        m_certificate.reset(certificate.release());
    }
}

CTestAuthority::~CTestAuthority() = default;

bool CTestAuthority::WriteCertificate(const std::string& path) const {
    return Valid() && WritePem(path, m_certificate.get(), nullptr);
}

bool CTestAuthority::Issue(const CLeaf& leaf, const std::string& certificatePath,
                           const std::string& keyPath) const {
    if (!Valid()) {
        return false;
    }
    const std::unique_ptr<EVP_PKEY, CKeyFree> key(NewKey(leaf.rsaBits));
    if (!key) {
        return false;
    }
    const CCertificatePtr certificate = NewCertificate(
        key.get(), leaf.hostName, m_serial++, leaf.notBefore, leaf.notAfter, m_certificate.get());
    return certificate &&
           (!leaf.subjectAltName || AddExtension(certificate.get(), m_certificate.get(),
                                                 NID_subject_alt_name, "DNS:" + leaf.hostName)) &&
           AddExtension(certificate.get(), m_certificate.get(), NID_ext_key_usage,
                        leaf.extendedKeyUsage) &&
           AddExtension(certificate.get(), m_certificate.get(), NID_authority_key_identifier,
                        "keyid:always") &&
           X509_sign(certificate.get(), m_key.get(), EVP_sha256()) > 0 &&
           WritePem(certificatePath, certificate.get(), m_certificate.get()) &&
           WriteKey(keyPath, key.get());
}

CTestPki::CTestPki() {
    const std::string authorityPath = m_dir / "authority.pem";
    m_ready = m_stranger.Valid() && m_notACa.Valid() && m_authority.WriteCertificate(authorityPath);
    ::setenv("SSL_CERT_FILE", authorityPath.c_str(), 1);
    ::setenv("SSL_CERT_DIR", m_dir.Path().c_str(), 1);
}

CTestPki& CTestPki::Get() {
    static CTestPki pki;
    return pki;
}

CTlsIdentity CTestPki::Identity(const std::string& certifiedName, Kind kind) {
    const std::string stem = m_dir / ("server" + std::to_string(++m_issued));
    const CTlsIdentity identity{stem + ".pem", stem + ".key"};
    CTestAuthority::CLeaf leaf{certifiedName};
    if (kind == Kind::Expired) {
        leaf.notBefore = -2 * 24 * 3600;
        leaf.notAfter = -24 * 3600;
    }
    leaf.subjectAltName = kind != Kind::CommonNameOnly;
    if (kind == Kind::ForClientsOnly) {
        leaf.extendedKeyUsage = "clientAuth";
    }
    if (kind == Kind::WeakKey) {
        leaf.rsaBits = 768;
    }
    const CTestAuthority& issuer = kind == Kind::Untrusted      ? m_stranger
                                   : kind == Kind::IssuedByNoCa ? m_notACa
                                                                : m_authority;
    if (!issuer.Issue(leaf, identity.certificatePath, identity.keyPath)) {
        return {};
    }
    return identity;
}
