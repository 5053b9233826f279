#include "tlssession.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>

namespace {

struct CContextFree {
    void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
};

struct CMethodFree {
    void operator()(BIO_METHOD* method) const { BIO_meth_free(method); }
};

SSL_CTX* NewClientContext() {
    SSL_CTX* context = SSL_CTX_new(TLS_client_method());
    if (context == nullptr) {
        return nullptr;
    }
    if (SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION) != 1 ||
        SSL_CTX_set_default_verify_paths(context) != 1) {
        SSL_CTX_free(context);
        return nullptr;
    }
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
    SSL_CTX_set_client_cert_cb(context, &CTlsSession::OnClientCertificateAsked);
    // What waits to be sent grows while a write waits for the socket, and may move.
    SSL_CTX_set_mode(context, SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    // A host that closes without the closing alert has still ended its reply, as with http.
    SSL_CTX_set_options(context, SSL_OP_IGNORE_UNEXPECTED_EOF);
    return context;
}

// One context for the process: the trust store is read once, on the first https link, not
// once per link.
SSL_CTX* ClientContext() {
    static const std::unique_ptr<SSL_CTX, CContextFree> context(NewClientContext());
    return context.get();
}

int SocketOf(BIO* bio) {
    return static_cast<int>(reinterpret_cast<std::intptr_t>(BIO_get_data(bio)));
}

bool WouldBlock() {
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
}

int BioWrite(BIO* bio, const char* data, int size) {
    BIO_clear_retry_flags(bio);
    const ssize_t sent = ::send(SocketOf(bio), data, static_cast<std::size_t>(size), MSG_NOSIGNAL);
    if (sent < 0 && WouldBlock()) {
        BIO_set_retry_write(bio);
    }
    return static_cast<int>(sent);
}

int BioRead(BIO* bio, char* data, int size) {
    BIO_clear_retry_flags(bio);
    const ssize_t got = ::recv(SocketOf(bio), data, static_cast<std::size_t>(size), 0);
    if (got < 0 && WouldBlock()) {
        BIO_set_retry_read(bio);
    }
    return static_cast<int>(got);
}

long BioControl(BIO*, int command, long, void*) {
    return command == BIO_CTRL_FLUSH ? 1 : 0;
}

int BioCreate(BIO* bio) {
    BIO_set_init(bio, 1);
    return 1;
}

// OpenSSL's own socket BIO writes with write(), which raises SIGPIPE when the host has gone:
// this one sends with MSG_NOSIGNAL, as the plain connection does.
const BIO_METHOD* SocketMethod() {
    static const std::unique_ptr<BIO_METHOD, CMethodFree> method([] {
        BIO_METHOD* made = BIO_meth_new(
            BIO_get_new_index() | BIO_TYPE_SOURCE_SINK | BIO_TYPE_DESCRIPTOR, "linkvet socket");
        if (made != nullptr) {
            BIO_meth_set_write(made, BioWrite);
            BIO_meth_set_read(made, BioRead);
            BIO_meth_set_ctrl(made, BioControl);
            BIO_meth_set_create(made, BioCreate);
        }
        return made;
    }());
    return method.get();
}

int Clamped(std::size_t size) {
    return static_cast<int>(std::min<std::size_t>(size, INT_MAX));
}

}  // namespace

ResultCode TlsFailureCode(long verifyResult) {
    switch (verifyResult) {
        case X509_V_ERR_CERT_HAS_EXPIRED:
        case X509_V_ERR_CERT_NOT_YET_VALID:
            return kCertificateExpired;
        case X509_V_ERR_HOSTNAME_MISMATCH:
        case X509_V_ERR_IP_ADDRESS_MISMATCH:
            return kCertificateForAnotherName;
        case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
        case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
        case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
        case X509_V_ERR_CERT_UNTRUSTED:
        case X509_V_ERR_CERT_REJECTED:
        // A chain that leads to a trusted authority through a certificate that may not issue,
        // a certificate not for serving, or keys and digests too weak to vouch for anything.
        case X509_V_ERR_INVALID_CA:
        case X509_V_ERR_INVALID_PURPOSE:
        case X509_V_ERR_KEYUSAGE_NO_CERTSIGN:
        case X509_V_ERR_PATH_LENGTH_EXCEEDED:
        case X509_V_ERR_EE_KEY_TOO_SMALL:
        case X509_V_ERR_CA_KEY_TOO_SMALL:
        case X509_V_ERR_CA_MD_TOO_WEAK:
            return kCertificateNotTrusted;
        default:
            return kTlsHandshakeFailed;
    }
}

std::optional<std::string> CertificateName(const std::string& host) {
    std::string name = host;
    if (!name.empty() && name.back() == '.') {
        name.pop_back();
    }
    if (name.empty() || name.front() == '.' || name.back() == '.' ||
        name.find("..") != std::string::npos) {
        return std::nullopt;
    }
    return name;
}

CTlsSession::CTlsSession(int socket, const std::string& host) {
    SSL_CTX* const context = ClientContext();
    const BIO_METHOD* const method = SocketMethod();
    m_ssl = context != nullptr && method != nullptr ? SSL_new(context) : nullptr;
    BIO* const bio = m_ssl != nullptr ? BIO_new(method) : nullptr;
    if (bio == nullptr) {
        m_failure = kTlsHandshakeFailed;
        return;
    }
    BIO_set_data(bio, reinterpret_cast<void*>(static_cast<std::intptr_t>(socket)));
    SSL_set_bio(m_ssl, bio, bio);
    SSL_set_connect_state(m_ssl);
    SSL_set_ex_data(m_ssl, 0, this);
    m_failure = ExpectHost(host);
    ERR_clear_error();
}

CTlsSession::~CTlsSession() {
    SSL_free(m_ssl);
}

// A dotted address is checked against the certificate's addresses and sent without server
// name indication, which carries names only.
ResultCode CTlsSession::ExpectHost(const std::string& host) {
    X509_VERIFY_PARAM* const check = SSL_get0_param(m_ssl);
    in_addr address{};
    if (::inet_pton(AF_INET, host.c_str(), &address) == 1) {
        return X509_VERIFY_PARAM_set1_ip_asc(check, host.c_str()) == 1 ? 0 : kTlsHandshakeFailed;
    }
    // No certificate can be for a name with an empty label.
    const std::optional<std::string> name = CertificateName(host);
    if (!name) {
        return kCertificateForAnotherName;
    }
    X509_VERIFY_PARAM_set_hostflags(
        check, X509_CHECK_FLAG_NEVER_CHECK_SUBJECT | X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    // SSL_set_tlsext_host_name without the macro's C cast; OpenSSL copies the name.
    const bool set = SSL_ctrl(m_ssl, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name,
                              const_cast<char*>(name->c_str())) == 1 &&
                     X509_VERIFY_PARAM_set1_host(check, name->c_str(), name->size()) == 1;
    return set ? 0 : kTlsHandshakeFailed;
}

// The probe has no certificate to give: the handshake goes on without one, and a host that
// insists ends the connection in place of a reply (with TLS 1.3, after the handshake).
int CTlsSession::OnClientCertificateAsked(SSL* ssl, X509**, EVP_PKEY**) {
    static_cast<CTlsSession*>(SSL_get_ex_data(ssl, 0))->m_clientCertificateAsked = true;
    return 0;
}

CTlsSession::Step CTlsSession::WaitStep(int result) {
    const int error = SSL_get_error(m_ssl, result);
    ERR_clear_error();
    m_broken = m_broken || error == SSL_ERROR_SYSCALL || error == SSL_ERROR_SSL;
    switch (error) {
        case SSL_ERROR_WANT_READ:
            return Step::WantRead;
        case SSL_ERROR_WANT_WRITE:
            return Step::WantWrite;
        default:
            return Step::Failed;
    }
}

CTlsSession::Step CTlsSession::Handshake() {
    if (m_failure != 0) {
        return Step::Failed;
    }
    if (m_connected) {
        return Step::Done;
    }
    ERR_clear_error();
    const int result = SSL_connect(m_ssl);
    if (result == 1) {
        m_connected = true;
        return Step::Done;
    }
    const Step step = WaitStep(result);
    if (step == Step::Failed) {
        m_failure = TlsFailureCode(SSL_get_verify_result(m_ssl));
    }
    return step;
}

long CTlsSession::Write(const void* data, std::size_t size, Step& waitFor) {
    if (!m_connected) {
        waitFor = Step::Failed;
        return -1;
    }
    ERR_clear_error();
    const int result = SSL_write(m_ssl, data, Clamped(size));
    if (result > 0) {
        return result;
    }
    waitFor = WaitStep(result);
    return -1;
}

long CTlsSession::Read(void* buffer, std::size_t size) {
    if (!m_connected) {
        return -1;
    }
    ERR_clear_error();
    const int result = SSL_read(m_ssl, buffer, Clamped(size));
    if (result > 0) {
        return result;
    }
    const Step step = WaitStep(result);
    return step == Step::Failed && !m_broken ? 0 : -1;
}

int CTlsSession::Peek() {
    if (!m_connected) {
        return -1;
    }
    char byte = 0;
    ERR_clear_error();
    const int result = SSL_peek(m_ssl, &byte, 1);
    if (result > 0) {
        return 1;
    }
    const Step step = WaitStep(result);
    if (step != Step::Failed) {
        return 0;
    }
    if (m_clientCertificateAsked && m_failure == 0) {
        m_failure = kTlsHandshakeFailed;
    }
    return -1;
}

bool CTlsSession::HasBuffered() const {
    return m_connected && SSL_has_pending(m_ssl) == 1;
}

// OpenSSL forbids the alert after a fatal error.
void CTlsSession::Shutdown() {
    if (m_connected && !m_broken) {
        ERR_clear_error();
        SSL_shutdown(m_ssl);
        ERR_clear_error();
    }
}
