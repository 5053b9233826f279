#include "socketwnd.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <unordered_map>

#include "probe/tlssession.h"

namespace {

// The stand-in for window handles: a notification names its connection by an id that is
// never reused, so one that arrives after the connection is gone finds nothing and is dropped.
std::unordered_map<unsigned long, CSocketWnd*>& LiveWindows() {
    static std::unordered_map<unsigned long, CSocketWnd*> windows;
    return windows;
}

unsigned long g_nextWindowId = 1;

// The IPv4 endpoint for a port given as text, or nothing when the text starts with no port
// number (or with 0).
std::optional<sockaddr_in> Ipv4Endpoint(const std::string& port) {
    const long portNumber = std::strtol(port.c_str(), nullptr, 10);
    if (portNumber == 0) {
        return std::nullopt;
    }
    sockaddr_in endpoint{};
    endpoint.sin_family = AF_INET;
    endpoint.sin_port = htons(static_cast<std::uint16_t>(portNumber & 0xFFFF));
    return endpoint;
}

// A connect that waits no later than the deadline: Linux would otherwise wait about two
// minutes for a host that drops the handshake.
bool ConnectWithin(int fd, const sockaddr_in& address,
                   std::chrono::steady_clock::time_point deadline) {
    const int flags = ::fcntl(fd, F_GETFL);
    ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    int result = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    if (result != 0 && errno == EINPROGRESS) {
        pollfd waiting{fd, POLLOUT, 0};
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            const int ready = ::poll(&waiting, 1, static_cast<int>(std::max<long long>(0, left.count())));
            if (ready < 0 && errno == EINTR) {
                continue;
            }
            if (ready <= 0) {
                return false;
            }
            break;
        }
        int error = 0;
        socklen_t length = sizeof error;
        result = (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0) ? 0 : -1;
    }
    ::fcntl(fd, F_SETFL, flags);
    return result == 0;
}

}  // namespace

ResultCode TlsFailureOf(unsigned long eventWord) {
    const ResultCode error = (eventWord >> 16) & 0xFFFF;
    const bool isClose = (eventWord & 0xFFFF) == kFdClose;
    return isClose && error >= kTlsHandshakeFailed && error <= kCertificateExpired ? error : 0;
}

CSocketWnd::CSocketWnd(CSocketNotifySink& parent)
    : m_parent(parent), m_windowId(g_nextWindowId++) {
    LiveWindows()[m_windowId] = this;
}

CSocketWnd::~CSocketWnd() {
    LiveWindows().erase(m_windowId);
    Close();
}

int CSocketWnd::LiveCount() {
    return static_cast<int>(LiveWindows().size());
}

ResultCode CSocketWnd::Connect(std::uint32_t address, const std::string& port,
                               const std::string& serverName,
                               std::chrono::steady_clock::time_point deadline) {
    std::optional<sockaddr_in> where = Ipv4Endpoint(port);
    if (!where) {
        return kInvalidPortOrName;
    }
    where->sin_addr.s_addr = address;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return kNoSocket;
    }
    if (!ConnectWithin(fd, *where, deadline)) {
        ::close(fd);
        return kCannotConnect;
    }
    TakeSocket(fd, serverName);
    return 0;
}

ResultCode CSocketWnd::ConnectAsync(std::uint32_t address, const std::string& port,
                                    const std::string& serverName) {
    std::optional<sockaddr_in> where = Ipv4Endpoint(port);
    if (!where) {
        return kInvalidPortOrName;
    }
    where->sin_addr.s_addr = address;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        m_outOfDescriptors = errno == EMFILE || errno == ENFILE;
        return kNoSocket;
    }
    const int result = ::connect(fd, reinterpret_cast<const sockaddr*>(&*where), sizeof *where);
    if (result != 0 && errno != EINPROGRESS) {
        ::close(fd);
        return kCannotConnect;
    }
    TakeSocket(fd, serverName);
    m_connectPending = result != 0;
    return 0;
}

// A connection made anew replaces whatever this object held.
void CSocketWnd::TakeSocket(int fd, const std::string& serverName) {
    Close();
    m_hSocket = fd;
    m_serverName = serverName;
}

int CSocketWnd::AsyncSelect(unsigned mask) {
    if (m_hSocket == -1) {
        return 0;
    }
    ::fcntl(m_hSocket, F_SETFL, ::fcntl(m_hSocket, F_GETFL) | O_NONBLOCK);
    m_eventMask = mask;
    m_notifier = std::make_unique<QSocketNotifier>(m_hSocket, QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, this,
                     [this] { OnReadable(); });
    if (m_connectPending) {
        // Nothing can be read before the connect is through.
        m_notifier->setEnabled(false);
        m_connectNotifier = std::make_unique<QSocketNotifier>(m_hSocket, QSocketNotifier::Write);
        QObject::connect(m_connectNotifier.get(), &QSocketNotifier::activated, this,
                         [this] { OnConnectDone(); });
        return 0;
    }
    if (m_useTls && !m_tls) {
        StartTls();
    }
    if (mask & kFdConnect) {
        Post(kFdConnect, 0);
    }
    return 0;
}

void CSocketWnd::OnConnectDone() {
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(m_hSocket, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
        error = errno;
    }
    m_connectNotifier->setEnabled(false);
    m_connectPending = false;
    m_notifier->setEnabled(error == 0);
    if (m_eventMask & kFdConnect) {
        Post(kFdConnect, error);
    }
    // The request the sink sends on FD_CONNECT waits in the session until the handshake is done.
    if (error == 0 && m_useTls && !m_tls) {
        StartTls();
    }
}

long CSocketWnd::Send(const void* data, std::size_t size, int flags) {
    if (m_hSocket == -1) {
        return 0;
    }
    if (m_useTls) {
        m_tlsOutgoing.append(static_cast<const char*>(data), size);
        if (m_tls && m_tls->Connected()) {
            FlushTls();
        }
        return static_cast<long>(size);
    }
    return ::send(m_hSocket, data, size, flags | MSG_NOSIGNAL);
}

long CSocketWnd::Receive(void* buffer, std::size_t size, int flags) {
    if (m_hSocket == -1) {
        return -1;
    }
    const long got = m_useTls ? (m_tls ? m_tls->Read(buffer, size) : -1)
                              : ::recv(m_hSocket, buffer, size, flags | MSG_DONTWAIT);
    // A receive re-arms FD_READ: the next arrival (or what is still waiting) is reported anew.
    if (m_readReported && m_notifier) {
        m_readReported = false;
        m_notifier->setEnabled(!m_closeReported);
        CheckTlsBufferLater();
    }
    return got;
}

int CSocketWnd::Close() {
    m_notifier.reset();
    m_writeNotifier.reset();
    if (m_tls) {
        m_tls->Shutdown();
        m_tls.reset();
    }
    m_tlsOutgoing.clear();
    m_connectNotifier.reset();
    m_connectPending = false;
    if (m_hSocket == -1) {
        return 0;
    }
    const int result = ::close(m_hSocket);
    m_hSocket = -1;
    return result;
}

// The notifier is level-triggered, so it is switched off while a reported FD_READ waits for
// its Receive, and for good once FD_CLOSE has been reported.
void CSocketWnd::OnReadable() {
    if (m_tls) {
        OnTlsReadable();
        return;
    }
    char probe = 0;
    const long peeked = ::recv(m_hSocket, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
    if (peeked < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
        return;
    }
    ReportReadable(peeked, peeked == 0 ? 0 : errno);
}

// Data waiting (peeked > 0) is FD_READ; otherwise the peer has closed, or the connection
// broke with error.
void CSocketWnd::ReportReadable(long peeked, int error) {
    m_notifier->setEnabled(false);
    if (peeked > 0) {
        m_readReported = true;
        if (m_eventMask & kFdRead) {
            Post(kFdRead, 0);
        }
        return;
    }
    m_closeReported = true;
    if (m_eventMask & kFdClose) {
        Post(kFdClose, error);
    }
}

// ---------------------------------------------------------------- TLS

void CSocketWnd::StartTls() {
    m_tls = std::make_unique<CTlsSession>(m_hSocket, m_serverName);
    m_writeNotifier = std::make_unique<QSocketNotifier>(m_hSocket, QSocketNotifier::Write);
    m_writeNotifier->setEnabled(false);
    QObject::connect(m_writeNotifier.get(), &QSocketNotifier::activated, this,
                     [this] { OnTlsWritable(); });
    DriveTls();
}

// Takes the handshake as far as the socket allows, and once it is done sends what waits.
void CSocketWnd::DriveTls() {
    const CTlsSession::Step step = m_tls->Handshake();
    if (step == CTlsSession::Step::Failed) {
        FailTls();
        return;
    }
    if (step != CTlsSession::Step::Done) {
        m_writeNotifier->setEnabled(step == CTlsSession::Step::WantWrite);
        return;
    }
    FlushTls();
}

void CSocketWnd::FlushTls() {
    while (!m_tlsOutgoing.empty()) {
        CTlsSession::Step waitFor = CTlsSession::Step::Failed;
        const long sent = m_tls->Write(m_tlsOutgoing.data(), m_tlsOutgoing.size(), waitFor);
        if (sent < 0) {
            // A request that cannot go out is left to the time-out, as a failed send is.
            if (waitFor == CTlsSession::Step::Failed) {
                m_tlsOutgoing.clear();
            }
            m_writeNotifier->setEnabled(waitFor == CTlsSession::Step::WantWrite);
            return;
        }
        m_tlsOutgoing.erase(0, static_cast<std::size_t>(sent));
    }
    m_writeNotifier->setEnabled(false);
}

// A failed handshake ends the connection as a close that carries the failure code.
void CSocketWnd::FailTls() {
    m_writeNotifier->setEnabled(false);
    m_tlsOutgoing.clear();
    ReportReadable(0, static_cast<int>(m_tls->Failure()));
}

// Readable may mean handshake records, records that hold no data (session tickets), data, or
// the end: only data is FD_READ.
void CSocketWnd::OnTlsReadable() {
    if (!m_tls->Connected()) {
        DriveTls();
        if (!m_tls->Connected()) {
            return;
        }
    } else if (!m_tlsOutgoing.empty()) {
        FlushTls();
    }
    const int peeked = m_tls->Peek();
    if (peeked < 0 && m_tls->Failure() != 0) {
        FailTls();
    } else if (peeked != 0) {
        ReportReadable(peeked, 0);
    }
}

void CSocketWnd::OnTlsWritable() {
    if (m_tls->Connected()) {
        FlushTls();
        return;
    }
    DriveTls();
    if (m_tls->Connected()) {
        CheckTlsBufferLater();
    }
}

// Data the session already holds does not make the socket readable: it is looked at from the
// event loop, unless the connection is gone by then.
void CSocketWnd::CheckTlsBufferLater() {
    if (!m_tls || !m_tls->HasBuffered() || m_closeReported) {
        return;
    }
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_tls && m_notifier && m_notifier->isEnabled()) {
                OnTlsReadable();
            }
        },
        Qt::QueuedConnection);
}

void CSocketWnd::Post(unsigned event, int error) {
    const unsigned long eventWord = (static_cast<unsigned long>(error & 0xFFFF) << 16) | event;
    const unsigned long windowId = m_windowId;
    const int socket = m_hSocket;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [=] { Deliver(windowId, socket, eventWord); },
        Qt::QueuedConnection);
}

// The relay: hands the notification to the sink and touches nothing of the connection
// afterwards, since the sink's handler may have destroyed it.
void CSocketWnd::Deliver(unsigned long windowId, int socket, unsigned long eventWord) {
    const auto found = LiveWindows().find(windowId);
    if (found == LiveWindows().end()) {
        return;
    }
    found->second->m_parent.OnSocketNotify(socket, eventWord);
}
