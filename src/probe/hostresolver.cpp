#include "hostresolver.h"

#include <ares.h>
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>

#include <QSocketNotifier>
#include <cstring>
#include <optional>

#include "probe/urlsplit.h"

bool IsDottedAddress(const std::string& name) {
    return !name.empty() && name[0] >= '0' && name[0] <= '9';
}

ResultCode ReadDottedAddress(const std::string& name, std::uint32_t& address) {
    address = ::inet_addr(name.c_str());
    // inet_addr gives the broadcast address for a text it cannot read; no connection is tried
    // there, which ends as a refused connect would.
    if (address == INADDR_NONE && name != "255.255.255.255") {
        return kCannotConnect;
    }
    return 0;
}

namespace {

// The hosts file read as the system's own IPv4 lookup reads it, which the run of one link at a
// time used before it shared this resolver: an IPv4 line, else an IPv6 line whose address is
// IPv4-mapped (its IPv4 address) or the loopback (127.0.0.1, so Debian's "::1 ip6-localhost"
// is found). Any other IPv6 line is no answer.
std::optional<std::uint32_t> FromHostsFile(ares_channel channel, const std::string& name) {
    std::optional<std::uint32_t> address;
    hostent* found = nullptr;
    if (ares_gethostbyname_file(channel, name.c_str(), AF_INET, &found) == ARES_SUCCESS) {
        std::uint32_t ipv4 = 0;
        std::memcpy(&ipv4, found->h_addr_list[0], sizeof ipv4);
        address = ipv4;
    } else if (ares_gethostbyname_file(channel, name.c_str(), AF_INET6, &found) == ARES_SUCCESS) {
        in6_addr ipv6{};
        std::memcpy(&ipv6, found->h_addr_list[0], sizeof ipv6);
        if (IN6_IS_ADDR_V4MAPPED(&ipv6)) {
            std::uint32_t ipv4 = 0;
            std::memcpy(&ipv4, &ipv6.s6_addr[12], sizeof ipv4);
            address = ipv4;
        } else if (IN6_IS_ADDR_LOOPBACK(&ipv6)) {
            address = htonl(INADDR_LOOPBACK);
        }
    }
    if (found != nullptr) {
        ares_free_hostent(found);
    }
    return address;
}

}  // namespace

struct CHostResolver::CLookup {
    CHostResolver* resolver;
    unsigned long id;
};

CHostResolver::CHostResolver() {
    static const int libraryStarted = ares_library_init(ARES_LIB_INIT_ALL);
    ares_options options{};
    options.sock_state_cb = &CHostResolver::OnSocketState;
    options.sock_state_cb_data = this;
    // The channel asks the name servers only: the hosts file is read first, by FromHostsFile.
    char lookups[] = "b";
    options.lookups = lookups;
    if (libraryStarted != ARES_SUCCESS ||
        ares_init_options(&m_channel, &options, ARES_OPT_SOCK_STATE_CB | ARES_OPT_LOOKUPS) !=
            ARES_SUCCESS) {
        m_channel = nullptr;
    }
    m_timeout.setSingleShot(true);
    connect(&m_timeout, &QTimer::timeout, this,
            [this] { Process(ARES_SOCKET_BAD, ARES_SOCKET_BAD); });
}

CHostResolver::~CHostResolver() {
    // Destroying the channel answers every open lookup with ARES_EDESTRUCTION; nobody hears it.
    m_pending.clear();
    if (m_channel != nullptr) {
        ares_destroy(m_channel);
    }
}

unsigned long CHostResolver::Resolve(const std::string& host, Callback callback) {
    const unsigned long id = m_nextId++;
    m_pending[id] = std::move(callback);
    if (const std::optional<CHostAnswer> known = AnswerAtOnce(host)) {
        Answer(id, known->code, known->address);
    } else {
        ares_gethostbyname(m_channel, ConnectName(host).c_str(), AF_INET,
                           &CHostResolver::OnHostFound, new CLookup{this, id});
        ArmTimeout();
    }
    return id;
}

std::optional<CHostAnswer> CHostResolver::AnswerAtOnce(const std::string& host) const {
    const std::string name = ConnectName(host);
    if (name.empty()) {
        return CHostAnswer{kInvalidPortOrName, 0};
    }
    if (IsDottedAddress(name)) {
        CHostAnswer answer;
        answer.code = ReadDottedAddress(name, answer.address);
        return answer;
    }
    if (m_channel == nullptr) {
        return CHostAnswer{kHostNotFound, 0};
    }
    if (const std::optional<std::uint32_t> listed = FromHostsFile(m_channel, name)) {
        return CHostAnswer{0, *listed};
    }
    return std::nullopt;
}

void CHostResolver::Cancel(unsigned long id) {
    m_pending.erase(id);
}

void CHostResolver::OnHostFound(void* arg, int status, int, hostent* found) {
    const CLookup lookup = *static_cast<CLookup*>(arg);
    delete static_cast<CLookup*>(arg);
    // Only the resolver's end answers so, and then nobody waits any more.
    if (status == ARES_EDESTRUCTION) {
        return;
    }
    std::uint32_t address = 0;
    ResultCode code = kHostNotFound;
    if (status == ARES_SUCCESS && found != nullptr && found->h_addrtype == AF_INET &&
        found->h_addr_list[0] != nullptr) {
        std::memcpy(&address, found->h_addr_list[0], sizeof address);
        code = 0;
    }
    lookup.resolver->Answer(lookup.id, code, address);
}

// c-ares may answer from inside ares_gethostbyname (a hosts-file hit does), so every answer
// takes a turn of the event loop before it reaches its requester.
void CHostResolver::Answer(unsigned long id, ResultCode code, std::uint32_t address) {
    QMetaObject::invokeMethod(
        this,
        [this, id, code, address] {
            const auto found = m_pending.find(id);
            if (found == m_pending.end()) {
                return;
            }
            const Callback callback = std::move(found->second);
            m_pending.erase(found);
            callback(code, address);
        },
        Qt::QueuedConnection);
}

void CHostResolver::OnSocketState(void* data, int socket, int readable, int writable) {
    static_cast<CHostResolver*>(data)->WatchSocket(socket, readable != 0, writable != 0);
}

// A notifier that c-ares is done with may be the one whose signal is being handled, so it is
// switched off at once and deleted later.
void CHostResolver::WatchSocket(int socket, bool readable, bool writable) {
    auto& [reader, writer] = m_watched[socket];
    if (!readable && !writable) {
        for (QSocketNotifier* notifier : {reader, writer}) {
            if (notifier != nullptr) {
                notifier->setEnabled(false);
                notifier->deleteLater();
            }
        }
        m_watched.erase(socket);
        return;
    }
    if (reader == nullptr) {
        reader = new QSocketNotifier(socket, QSocketNotifier::Read, this);
        connect(reader, &QSocketNotifier::activated, this,
                [this, socket] { Process(socket, ARES_SOCKET_BAD); });
    }
    reader->setEnabled(readable);
    if (writable && writer == nullptr) {
        writer = new QSocketNotifier(socket, QSocketNotifier::Write, this);
        connect(writer, &QSocketNotifier::activated, this,
                [this, socket] { Process(ARES_SOCKET_BAD, socket); });
    }
    if (writer != nullptr) {
        writer->setEnabled(writable);
    }
}

void CHostResolver::Process(int readSocket, int writeSocket) {
    if (m_channel != nullptr) {
        ares_process_fd(m_channel, readSocket, writeSocket);
        ArmTimeout();
    }
}

void CHostResolver::ArmTimeout() {
    timeval wait{};
    if (const timeval* next = ares_timeout(m_channel, nullptr, &wait); next != nullptr) {
        m_timeout.start(static_cast<int>(next->tv_sec * 1000 + (next->tv_usec + 999) / 1000));
    } else {
        m_timeout.stop();
    }
}
