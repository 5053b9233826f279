#pragma once

#include <memory>
#include <string>

#include "e2e/scriptedserver.h"
#include "support/temphome.h"

typedef struct evp_pkey_st EVP_PKEY;
typedef struct x509_st X509;

// A certificate authority made by a test at run time, and the server certificates it issues,
// written as PEM files. Keys are P-256; nothing is ever read from the system.
class CTestAuthority {
public:
    // What to put into an issued certificate.
    struct CLeaf {
        std::string hostName;
        // Validity, in seconds from now.
        long notBefore = -3600;
        long notAfter = 24 * 3600;
        // Without it the name stands only in the common name.
        bool subjectAltName = true;
        std::string extendedKeyUsage = "serverAuth";
        // An RSA key of this size instead of P-256.
        int rsaBits = 0;
    };

    explicit CTestAuthority(const std::string& name);
    // A certificate issued by issuer that is not a CA's, issuing all the same.
    CTestAuthority(const std::string& name, const CTestAuthority& issuer);
    ~CTestAuthority();
    CTestAuthority(const CTestAuthority&) = delete;
    CTestAuthority& operator=(const CTestAuthority&) = delete;

    bool Valid() const { return m_certificate != nullptr; }
    bool WriteCertificate(const std::string& path) const;
    // Writes the certificate (then the authority's, as a chain) and its key.
    bool Issue(const CLeaf& leaf, const std::string& certificatePath,
               const std::string& keyPath) const;

private:
    struct CKeyFree {
        void operator()(EVP_PKEY* key) const;
    };
    struct CCertificateFree {
        void operator()(X509* certificate) const;
    };

    std::unique_ptr<EVP_PKEY, CKeyFree> m_key;
    std::unique_ptr<X509, CCertificateFree> m_certificate;
    mutable long m_serial = 1;
};

// The test program's certificate authority, trusted through SSL_CERT_FILE and SSL_CERT_DIR
// from the first call on, so that nothing of the system's store counts. Made once per program:
// the probe reads the trust store once per process. Server identities are issued on demand.
class CTestPki {
public:
    enum class Kind {
        Valid,
        Expired,
        Untrusted,
        CommonNameOnly,
        IssuedByNoCa,
        ForClientsOnly,
        WeakKey
    };

    static CTestPki& Get();
    // A certificate for certifiedName: valid and issued by the trusted authority, expired
    // since yesterday, or issued by an authority nobody trusts.
    CTlsIdentity Identity(const std::string& certifiedName, Kind kind = Kind::Valid);
    bool Ready() const { return m_ready; }

private:
    CTestPki();

    CTempDir m_dir;
    CTestAuthority m_authority{"Linkvet Test Authority"};
    CTestAuthority m_stranger{"Stranger Authority"};
    CTestAuthority m_notACa{"Not an Authority", m_authority};
    bool m_ready = false;
    int m_issued = 0;
};
