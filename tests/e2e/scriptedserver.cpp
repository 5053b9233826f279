#include "e2e/scriptedserver.h"

#include <signal.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <QProcess>
#include <chrono>

#include "support/runprogram.h"

namespace {

constexpr int kPollMillis = 50;

}  // namespace

CScriptedServer::CScriptedServer(const std::string& address, int port, Behaviour behaviour,
                                 int backlog, bool concurrent)
    : m_behaviour(std::move(behaviour)), m_concurrent(concurrent) {
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
            m_behaviour(client, *this);
            ::close(client);
        };
        if (m_concurrent) {
            m_workers.emplace_back(serve);
        } else {
            serve();
        }
    }
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
        pollfd waiting{socket, POLLIN, 0};
        if (::poll(&waiting, 1, kPollMillis) <= 0) {
            continue;
        }
        const ssize_t got = ::recv(socket, buffer, sizeof buffer, 0);
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
        const ssize_t put = ::send(socket, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
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
        pollfd waiting{socket, POLLIN, 0};
        if (::poll(&waiting, 1, kPollMillis) <= 0) {
            continue;
        }
        if (::recv(socket, buffer, sizeof buffer, 0) <= 0) {
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

CProgramResult InterruptWhenConnected(const std::string& program,
                                      const std::vector<std::string>& arguments,
                                      const std::string& home, const CScriptedServer& server) {
    QProcess process;
    CProgramResult result;
    if (!StartProgram(process, program, arguments, home)) {
        return result;
    }
    while (server.Connections() == 0 && process.state() == QProcess::Running) {
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
