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
    // A coarse timer may fire up to 5 % late, which a chain of redirects could slip through.
    m_timeout.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_timeout, &QTimer::timeout, [this] { OnTimeout(); });
}

CLinkProbe::~CLinkProbe() {
    m_hosts.Cancel(m_lookup);
}

void CLinkProbe::FollowRedirects(bool https) {
    if (SpeaksHttp(m_scheme)) {
        m_chain = std::make_unique<CRedirectChain>(m_url, https);
    }
}

void CLinkProbe::Start(int timeoutMillis) {
    m_timeout.start(timeoutMillis);
    Ask(m_url);
}

void CLinkProbe::Ask(const std::string& url) {
    m_asked = url;
    m_scheme = SchemeOf(url, m_scheme);
    m_host = SplitHost(url, m_scheme);
    m_state = CState::Resolving;
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
                SendHttpRequest(*m_socket, m_host, SplitPath(m_asked, m_scheme));
            }
            break;
        case kFdRead:
            if (m_chain) {
                ReadHead();
            } else {
                ReadFirstChunk();
            }
            break;
        case kFdClose:
            // A failed handshake is a verdict of its own; as with one link at a time, a host
            // that closes without a word is slow.
            if (const ResultCode tlsFailure = TlsFailureOf(eventWord); tlsFailure != 0) {
                Finish({tlsFailure, false});
                break;
            }
            m_socket.reset();
            // A host that closes after part of a head has answered with what it sent.
            if (m_chain && !m_head.empty()) {
                OnAnswer(ReadReplyHead(m_head));
            }
            break;
        default:
            break;
    }
    return 0;
}

void CLinkProbe::ReadFirstChunk() {
    std::array<char, kReplyBufferSize> reply{};
    ReceiveFirstChunk(*m_socket, reply.data(), reply.size());
    Finish({ReadStatusCode(CutFirstLine(reply.data(), reply.size())), true});
}

// The head may come in pieces; each receive lets the next FD_READ through. Only a redirect
// needs the head whole: any other answer is known from its first line.
void CLinkProbe::ReadHead() {
    char buffer[4096];
    const long got =
        m_socket->Receive(buffer, std::min(sizeof buffer, kReplyHeadLimit - m_head.size()), 0);
    if (got > 0) {
        m_head.append(buffer, static_cast<std::size_t>(got));
    }
    const CReplyHead head = ReadReplyHead(m_head);
    const bool known = ReplyHeadEnd(m_head) != std::string::npos ||
                       m_head.size() >= kReplyHeadLimit ||
                       (FirstLineComplete(m_head) && !IsFollowedRedirect(head.status));
    if (known) {
        OnAnswer(head);
    }
}

void CLinkProbe::OnAnswer(const CReplyHead& head) {
    if (const std::optional<std::string> next = m_chain->Next(head)) {
        m_socket.reset();
        m_head.clear();
        Ask(*next);
        return;
    }
    CChainEnd end = m_chain->End(head.status, true);
    Finish({end.code, true, std::move(end.movedTo)});
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
