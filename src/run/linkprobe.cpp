#include "linkprobe.h"

#include <array>

#include "probe/httprequest.h"
#include "probe/replyline.h"
#include "probe/urlsplit.h"

namespace {

// Against a host that never stops sending, the discarded rest of a reply is read no further.
constexpr std::size_t kDrainLimit = 64 * 1024;

}  // namespace

void SendHttpRequest(CSocketWnd& socket, const std::string& host, const std::string& path) {
    const std::string request = HttpRequestHead(host, path);
    socket.Send(request.data(), request.size(), 0);
    socket.Send("\r\n", 2, 0);
    socket.Send("\r\n", 2, 0);
}

void ReceiveFirstChunk(CSocketWnd& socket, char* buffer, std::size_t size) {
    std::fill(buffer, buffer + size, '\0');
    socket.Receive(buffer, size - 2, 0);
    char scratch[512];
    for (std::size_t drained = 0; drained < kDrainLimit;) {
        const long got = socket.Receive(scratch, sizeof scratch, 0);
        if (got <= 0) {
            break;
        }
        drained += static_cast<std::size_t>(got);
    }
}

CLinkProbe::CLinkProbe(COwner& owner, CHostCache& hosts, std::string url, int scheme)
    : m_owner(owner), m_hosts(hosts), m_url(std::move(url)), m_scheme(scheme) {
    m_timeout.setSingleShot(true);
    QObject::connect(&m_timeout, &QTimer::timeout, [this] { OnTimeout(); });
}

CLinkProbe::~CLinkProbe() {
    m_hosts.Cancel(m_lookup);
}

void CLinkProbe::Start(int timeoutMillis) {
    m_host = SplitHost(m_url, m_scheme);
    m_state = CState::Resolving;
    m_timeout.start(timeoutMillis);
    m_lookup = m_hosts.Resolve(
        m_host, [this](ResultCode code, std::uint32_t address) { OnResolved(code, address); });
}

void CLinkProbe::OnResolved(ResultCode code, std::uint32_t address) {
    m_lookup = 0;
    if (code != 0) {
        Finish({code, false});
        return;
    }
    m_socket = std::make_unique<CSocketWnd>(*this);
    m_socket->SetTls(m_scheme == kSchemeHttps);
    const std::string serverName = ConnectName(m_host);
    if (const ResultCode failed = m_socket->ConnectAsync(address, PortFor(m_scheme), serverName);
        failed != 0) {
        if (m_socket->OutOfDescriptors()) {
            Stop();
            m_owner.OnProbeWaitsForDescriptor(*this);
            return;
        }
        Finish({failed, false});
        return;
    }
    m_state = CState::Connecting;
    m_socket->AsyncSelect(kFdConnect | kFdRead | kFdClose);
}

long CLinkProbe::OnSocketNotify(int, unsigned long eventWord) {
    switch (eventWord & 0xFFFF) {
        case kFdConnect:
            if ((eventWord >> 16) != 0) {
                Finish({kCannotConnect, false});
                break;
            }
            m_state = CState::Awaiting;
            if (SpeaksHttp(m_scheme)) {
                SendHttpRequest(*m_socket, m_host, SplitPath(m_url, m_scheme));
            }
            break;
        case kFdRead: {
            std::array<char, kReplyBufferSize> reply{};
            ReceiveFirstChunk(*m_socket, reply.data(), reply.size());
            Finish({ReadStatusCode(CutFirstLine(reply.data(), reply.size())), true});
            break;
        }
        case kFdClose:
            // A failed handshake is a verdict of its own; as with one link at a time, a host
            // that closes without a word is slow.
            if (const ResultCode tlsFailure = TlsFailureOf(eventWord); tlsFailure != 0) {
                Finish({tlsFailure, false});
                break;
            }
            m_socket.reset();
            break;
        default:
            break;
    }
    return 0;
}

// What the time-out cuts short decides the code, as one link at a time decides it: a connect
// not through in time is a failed connect (its connect is bounded so), anything else, a lookup
// included, a host too slow (timer 105 there).
void CLinkProbe::OnTimeout() {
    switch (m_state) {
        case CState::Connecting:
            Finish({kCannotConnect, false});
            break;
        default:
            Finish({kHostTooSlow, false});
            break;
    }
}

void CLinkProbe::Finish(const CVerdict& verdict) {
    if (m_state == CState::Done) {
        return;
    }
    Stop();
    m_owner.OnProbeDone(*this, verdict);
}

void CLinkProbe::Stop() {
    m_state = CState::Done;
    m_timeout.stop();
    m_hosts.Cancel(m_lookup);
    m_lookup = 0;
    m_socket.reset();
}
