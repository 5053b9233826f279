#include "e2e/scriptedserver.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QProcess>
#include <cerrno>
#include <chrono>

#include "support/runprogram.h"

namespace {

constexpr int kPollMillis = 50;
// A client that stalls its handshake does not hold the server up longer than this.
constexpr int kHandshakeSeconds = 5;

// Any certificate is served, a weak one too: judging it is the client's part.
SSL_CTX* NewServerContext(const CTlsIdentity& tls, bool askClientCertificate) {
    SSL_CTX* context = SSL_CTX_new(TLS_server_method());
    if (context == nullptr) {
        return nullptr;
    }
    SSL_CTX_set_security_level(context, 0);
    if (askClientCertificate) {
        SSL_CTX_set_verify(context, SSL_VERIFY_PEER | SSL_VERIFY_FAIL_IF_NO_PEER_CERT, nullptr);
    }
    if (SSL_CTX_use_certificate_chain_file(context, tls.certificatePath.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(context, tls.keyPath.c_str(), SSL_FILETYPE_PEM) != 1) {
        SSL_CTX_free(context);
        return nullptr;
    }
    return context;
}

}  // namespace

void CScriptedServer::CContextFree::operator()(SSL_CTX* context) const {
    SSL_CTX_free(context);
}

CScriptedServer::CScriptedServer(const std::string& address, int port, const CTlsIdentity& tls,
                                 Behaviour behaviour, bool askClientCertificate)
    : m_tlsWanted(true),
      m_tlsContext(NewServerContext(tls, askClientCertificate)),
      m_behaviour(std::move(behaviour)) {
    Start(address, port, 16);
}

CScriptedServer::CScriptedServer(const std::string& address, int port, Behaviour behaviour,
                                 int backlog, bool concurrent)
    : m_behaviour(std::move(behaviour)), m_concurrent(concurrent) {
    Start(address, port, backlog);
}

void CScriptedServer::Start(const std::string& address, int port, int backlog) {
    if (::pipe2(m_stopPipe, O_CLOEXEC) != 0) {
        return;
    }
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int yes = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(static_cast<std::uint16_t>(port));
    where.sin_addr.s_addr = ::inet_addr(address.c_str());
    if (::bind(listener, reinterpret_cast<sockaddr*>(&where), sizeof where) != 0 ||
        ::listen(listener, backlog) != 0) {
        ::close(listener);
        return;
    }
    m_listener = listener;
    m_thread = std::thread([this] { Serve(); });
}

CScriptedServer::~CScriptedServer() {
    m_stopping = true;
    if (m_stopPipe[1] >= 0) {
        [[maybe_unused]] const ssize_t written = ::write(m_stopPipe[1], "x", 1);
    }
    if (m_thread.joinable()) {
        m_thread.join();
    }
    for (std::thread& worker : m_workers) {
        worker.join();
    }
    for (int fd : {m_listener, m_stopPipe[0], m_stopPipe[1]}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

void CScriptedServer::Serve() {
    // OpenSSL writes with write(): a client that has gone must not end the test program.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    while (!m_stopping) {
        pollfd waiting[2] = {{m_listener, POLLIN, 0}, {m_stopPipe[0], POLLIN, 0}};
        if (::poll(waiting, 2, -1) <= 0 || (waiting[1].revents & POLLIN) != 0) {
            continue;
        }
        const int client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) {
            continue;
        }
        ++m_connections;
        const auto serve = [this, client] {
            if (!m_tlsWanted || AcceptTls(client)) {
                m_behaviour(client, *this);
            }
            EndTls();
            ::close(client);
        };
        if (m_concurrent) {
            m_workers.emplace_back(serve);
        } else {
            serve();
        }
    }
}

bool CScriptedServer::AcceptTls(int socket) {
    if (!m_tlsContext) {
        return false;
    }
    const timeval bound{kHandshakeSeconds, 0};
    ::setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound);
    ::setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, &bound, sizeof bound);
    m_session = SSL_new(m_tlsContext.get());
    if (m_session == nullptr || SSL_set_fd(m_session, socket) != 1 || SSL_accept(m_session) != 1) {
        return false;
    }
    ++m_handshakes;
    const char* name = SSL_get_servername(m_session, TLSEXT_NAMETYPE_host_name);
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_serverNames.emplace_back(name != nullptr ? name : "");
    return true;
}

void CScriptedServer::EndTls() {
    if (m_session != nullptr) {
        SSL_free(m_session);
        m_session = nullptr;
    }
}

std::vector<std::string> CScriptedServer::ServerNames() const {
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_serverNames;
}

long CScriptedServer::Receive(int socket, char* buffer, std::size_t size) {
    if (m_session != nullptr) {
        return SSL_read(m_session, buffer, static_cast<int>(size));
    }
    return ::recv(socket, buffer, size, 0);
}

bool CScriptedServer::Readable(int socket, int millis) {
    if (m_session != nullptr && SSL_pending(m_session) > 0) {
        return true;
    }
    pollfd waiting{socket, POLLIN, 0};
    return ::poll(&waiting, 1, millis) > 0;
}

std::vector<std::string> CScriptedServer::Requests() const {
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

std::string CScriptedServer::ReadRequest(int socket) {
    std::string request;
    char buffer[1024];
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (request.find("\r\n\r\n") == std::string::npos && !m_stopping &&
           std::chrono::steady_clock::now() < deadline) {
        if (!Readable(socket, kPollMillis)) {
            continue;
        }
        const long got = Receive(socket, buffer, sizeof buffer);
        if (got <= 0) {
            break;
        }
        request.append(buffer, static_cast<std::size_t>(got));
    }
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_requests.push_back(request);
    return request;
}

bool CScriptedServer::SendAll(int socket, const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const long put =
            m_session != nullptr
                ? SSL_write(m_session, bytes.data() + sent, static_cast<int>(bytes.size() - sent))
                : ::send(socket, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (put <= 0) {
            return false;
        }
        sent += static_cast<std::size_t>(put);
    }
    return true;
}

void CScriptedServer::WaitForPeerClose(int socket) {
    while (!PeerClosesWithin(socket, kPollMillis)) {
    }
}

bool CScriptedServer::PeerClosesWithin(int socket, int millis) {
    char buffer[1024];
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(millis);
    while (!m_stopping && std::chrono::steady_clock::now() < deadline) {
        if (!Readable(socket, kPollMillis)) {
            continue;
        }
        if (Receive(socket, buffer, sizeof buffer) <= 0) {
            return true;
        }
    }
    return m_stopping;
}

CScriptedServer::Behaviour CScriptedServer::Reply(const std::string& bytes) {
    return [bytes](int socket, CScriptedServer& server) {
        server.ReadRequest(socket);
        server.SendAll(socket, bytes);
        server.WaitForPeerClose(socket);
    };
}

CScriptedServer::Behaviour CScriptedServer::ReplyInPieces(std::vector<std::string> pieces,
                                                          int pauseMillis) {
    return [pieces, pauseMillis](int socket, CScriptedServer& server) {
        server.ReadRequest(socket);
        for (const std::string& piece : pieces) {
            if (!server.SendAll(socket, piece)) {
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(pauseMillis));
        }
        server.WaitForPeerClose(socket);
    };
}

CScriptedServer::Behaviour CScriptedServer::CloseAtOnce() {
    return [](int, CScriptedServer&) {};
}

CScriptedServer::Behaviour CScriptedServer::Silent() {
    return [](int socket, CScriptedServer& server) { server.WaitForPeerClose(socket); };
}

CScriptedServer::Behaviour CScriptedServer::EndlessBody(const std::string& head) {
    return [head](int socket, CScriptedServer& server) {
        server.ReadRequest(socket);
        server.SendAll(socket, head);
        const std::string body(64 * 1024, 'b');
        while (!server.Stopping() && server.SendAll(socket, body)) {
        }
    };
}

CScriptedServer::Behaviour CScriptedServer::Drip(const std::string& bytes, int pauseMillis) {
    return [bytes, pauseMillis](int socket, CScriptedServer& server) {
        server.ReadRequest(socket);
        for (const char byte : bytes) {
            if (server.PeerClosesWithin(socket, pauseMillis) || !server.SendAll(socket, {byte})) {
                return;
            }
        }
        server.WaitForPeerClose(socket);
    };
}

CScriptedServer::Behaviour CScriptedServer::ResetAfter(const std::string& partial) {
    return [partial](int socket, CScriptedServer& server) {
        server.ReadRequest(socket);
        server.SendAll(socket, partial);
        const linger reset{1, 0};
        ::setsockopt(socket, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    };
}

CScriptedServer::Behaviour CScriptedServer::Greeting(const std::string& bytes) {
    return [bytes](int socket, CScriptedServer& server) {
        server.SendAll(socket, bytes);
        server.WaitForPeerClose(socket);
    };
}

CProgramResult InterruptWhen(const std::string& program, const std::vector<std::string>& arguments,
                             const std::string& home, const std::function<bool()>& ready) {
    QProcess process;
    CProgramResult result;
    if (!StartProgram(process, program, arguments, home)) {
        return result;
    }
    while (!ready() && process.state() == QProcess::Running) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ::kill(static_cast<pid_t>(process.processId()), SIGINT);
    if (process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit) {
        result.exitCode = process.exitCode();
    }
    result.out = process.readAllStandardOutput().toStdString();
    result.err = process.readAllStandardError().toStdString();
    return result;
}

CProgramResult InterruptWhenConnected(const std::string& program,
                                      const std::vector<std::string>& arguments,
                                      const std::string& home, const CScriptedServer& server) {
    return InterruptWhen(program, arguments, home, [&server] { return server.Connections() > 0; });
}

namespace {

// The reply to a query: its header and question, then one answer giving the address.
std::string AnswerWith(const std::string& query, in_addr_t address) {
    std::size_t end = 12;
    while (end < query.size() && query[end] != 0) {
        end += 1 + static_cast<unsigned char>(query[end]);
    }
    end += 5;  // the root label, the type and the class
    if (end > query.size()) {
        return {};
    }
    std::string reply = query.substr(0, end);
    reply[2] = static_cast<char>(0x81);  // an answer to a recursive query, no error
    reply[3] = static_cast<char>(0x80);
    reply.replace(6, 6, std::string("\0\1\0\0\0\0", 6));
    reply += std::string("\xC0\x0C\0\1\0\1\0\0\0\x3C\0\4", 12);  // the question's name, A, IN
    return reply.append(reinterpret_cast<const char*>(&address), sizeof address);
}

}  // namespace

CSlowNameServer::CSlowNameServer(const char* address, int pauseMillis)
    : m_socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)),
      m_address(::inet_addr(address)),
      m_pause(pauseMillis) {
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(53);
    where.sin_addr.s_addr = ::inet_addr("127.0.0.53");
    m_ready = ::bind(m_socket, reinterpret_cast<const sockaddr*>(&where), sizeof where) == 0;
    m_thread = std::thread([this] { Serve(); });
}

CSlowNameServer::~CSlowNameServer() {
    m_stopping = true;
    m_thread.join();
    ::close(m_socket);
}

void CSlowNameServer::Serve() {
    while (!m_stopping) {
        pollfd waiting{m_socket, POLLIN, 0};
        if (::poll(&waiting, 1, 50) <= 0) {
            continue;
        }
        char query[512];
        sockaddr_in from{};
        socklen_t fromSize = sizeof from;
        const long size = ::recvfrom(m_socket, query, sizeof query, 0,
                                     reinterpret_cast<sockaddr*>(&from), &fromSize);
        if (size <= 0) {
            continue;
        }
        ++m_queries;
        const auto answerAt = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_pause);
        while (!m_stopping && std::chrono::steady_clock::now() < answerAt) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        const std::string reply =
            AnswerWith(std::string(query, static_cast<std::size_t>(size)), m_address);
        ::sendto(m_socket, reply.data(), reply.size(), 0, reinterpret_cast<const sockaddr*>(&from),
                 fromSize);
    }
}
