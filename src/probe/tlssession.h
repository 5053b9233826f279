#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "probe/resultcodes.h"

typedef struct ssl_st SSL;
typedef struct x509_st X509;
typedef struct evp_pkey_st EVP_PKEY;

// The failure code for the certificate check's outcome (an X509_V_* value) when a handshake
// has failed: an expired or not yet valid certificate, one for another name, one whose chain
// leads to no trusted authority, else the handshake as such.
ResultCode TlsFailureCode(long verifyResult);

// The name a certificate must be for: the host without the trailing dot of an absolute name,
// or nothing when a label is empty (OpenSSL takes a leading dot to mean any name under the
// domain).
std::optional<std::string> CertificateName(const std::string& host);

// One TLS client session over a connected, non-blocking socket that it does not own: OpenSSL,
// TLS 1.2 at least, the host's name sent for server name indication and the certificate
// checked against the system's trust store (SSL_CERT_FILE and SSL_CERT_DIR as OpenSSL reads
// them) and against the host's name or address, by its subjectAltName only and without
// partial wildcards, as browsers check it. Nothing here waits: each call does what the
// socket allows and says what it waits for.
class CTlsSession {
public:
    enum class Step { Done, WantRead, WantWrite, Failed };

    // When no session can be set up, the first Handshake fails with 10006.
    CTlsSession(int socket, const std::string& host);
    ~CTlsSession();
    CTlsSession(const CTlsSession&) = delete;
    CTlsSession& operator=(const CTlsSession&) = delete;

    // Takes the handshake as far as the socket allows.
    Step Handshake();
    bool Connected() const { return m_connected; }
    // After Step::Failed, or a Peek as above: 10006 to 10009.
    ResultCode Failure() const { return m_failure; }

    // Encrypts and sends; the byte count, or a negative value with the step that would let it
    // go on (Failed when it never can).
    long Write(const void* data, std::size_t size, Step& waitFor);
    // The byte count, 0 once the peer has closed, negative when nothing is waiting or on an
    // error.
    long Read(void* buffer, std::size_t size);
    // Whether application data is waiting (1), nothing is yet (0), or the peer has closed or
    // the session broke (-1). The end of a connection whose host asked for a client
    // certificate, in place of any data, sets Failure to 10006: a TLS 1.3 host that insists on
    // one says so only after the handshake.
    int Peek();
    // Decrypted or undecrypted bytes held inside the session, which the socket no longer shows.
    bool HasBuffered() const;
    // Sends the closing alert of a connected session, without waiting for the reply.
    void Shutdown();

    // OpenSSL's call when the host asks for a client certificate.
    static int OnClientCertificateAsked(SSL* ssl, X509** certificate, EVP_PKEY** key);

private:
    // 0, or the failure the first Handshake reports.
    ResultCode ExpectHost(const std::string& host);
    Step WaitStep(int result);

    SSL* m_ssl = nullptr;
    bool m_connected = false;
    // A fatal error has ended the session.
    bool m_broken = false;
    bool m_clientCertificateAsked = false;
    ResultCode m_failure = 0;
};
