#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "probe/resultcodes.h"

typedef struct ssl_st SSL;

// The failure code for the certificate check's outcome (an X509_V_* value) when a handshake
// has failed: an expired or not yet valid certificate, one for another name, one whose chain
// leads to no trusted authority, else the handshake as such.
ResultCode TlsFailureCode(long verifyResult);

// One TLS client session over a connected, non-blocking socket that it does not own: OpenSSL,
// TLS 1.2 at least, the host's name sent for server name indication and the certificate
// checked against the system's trust store (SSL_CERT_FILE and SSL_CERT_DIR as OpenSSL reads
// them) and against the host's name or address. Nothing here waits: each call does what the
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
    // After Step::Failed: 10006 to 10009.
    ResultCode Failure() const { return m_failure; }

    // Encrypts and sends; the byte count, or a negative value with the step that would let it
    // go on (Failed when it never can).
    long Write(const void* data, std::size_t size, Step& waitFor);
    // The byte count, 0 once the peer has closed, negative when nothing is waiting or on an
    // error.
    long Read(void* buffer, std::size_t size);
    // Whether application data is waiting (1), nothing is yet (0), or the peer has closed or
    // the session broke (-1).
    int Peek();
    // Decrypted or undecrypted bytes held inside the session, which the socket no longer shows.
    bool HasBuffered() const;
    // Sends the closing alert of a connected session, without waiting for the reply.
    void Shutdown();

private:
    bool ExpectHost(const std::string& host);
    Step WaitStep(int result);

    SSL* m_ssl = nullptr;
    bool m_connected = false;
    // A fatal error has ended the session.
    bool m_broken = false;
    ResultCode m_failure = 0;
};
