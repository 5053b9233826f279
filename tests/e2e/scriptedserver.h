#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

typedef struct ssl_ctx_st SSL_CTX;
typedef struct ssl_st SSL;

// The certificate chain and key a TLS server presents, as PEM files.
struct CTlsIdentity {
    std::string certificatePath;
    std::string keyPath;
};

// A TCP server on a loopback address for one test, with a scripted behaviour per connection.
// It runs on a thread of its own, so the run under test keeps the main thread and its event
// loop. Every behaviour is bounded: it ends when the peer closes or the server stops.
// A TLS server completes the handshake before the behaviour, whose helpers then read and
// write through the session; a connection whose handshake fails gets no behaviour.
class CScriptedServer {
public:
    // Called once per accepted connection; the server closes the socket afterwards.
    using Behaviour = std::function<void(int socket, CScriptedServer& server)>;

    // concurrent: each connection gets a thread of its own, as a real host serves many
    // clients at once; otherwise connections are served one after another.
    CScriptedServer(const std::string& address, int port, Behaviour behaviour, int backlog = 16,
                    bool concurrent = false);
    // A TLS host serves its connections one after another; one that asks for a client
    // certificate refuses a client without one.
    CScriptedServer(const std::string& address, int port, const CTlsIdentity& tls,
                    Behaviour behaviour, bool askClientCertificate = false);
    ~CScriptedServer();
    CScriptedServer(const CScriptedServer&) = delete;
    CScriptedServer& operator=(const CScriptedServer&) = delete;

    bool Listening() const { return m_listener >= 0 && (!m_tlsWanted || m_tlsContext); }
    int Connections() const { return m_connections; }
    // TLS: the handshakes completed, and the server name each client indicated.
    int Handshakes() const { return m_handshakes; }
    std::vector<std::string> ServerNames() const;
    // The bytes received on each connection, up to the request's empty line.
    std::vector<std::string> Requests() const;

    // Helpers for behaviours.
    std::string ReadRequest(int socket);
    bool SendAll(int socket, const std::string& bytes);
    // Waits until the peer closes or the server stops, reading and dropping what comes.
    void WaitForPeerClose(int socket);
    // Waits at most millis for the same; true when the peer has closed or the server stops.
    bool PeerClosesWithin(int socket, int millis);
    bool Stopping() const { return m_stopping; }

    // Ready-made behaviours.
    static Behaviour Reply(const std::string& bytes);
    static Behaviour ReplyInPieces(std::vector<std::string> pieces, int pauseMillis);
    static Behaviour CloseAtOnce();
    static Behaviour Silent();
    static Behaviour EndlessBody(const std::string& head);
    static Behaviour Greeting(const std::string& bytes);
    // Sends the reply one byte at a time, pausing before each, until the peer closes.
    static Behaviour Drip(const std::string& bytes, int pauseMillis);
    // Sends the start of a reply, then resets the connection (SO_LINGER 0, then close).
    static Behaviour ResetAfter(const std::string& partial);

private:
    void Start(const std::string& address, int port, int backlog);
    void Serve();
    bool AcceptTls(int socket);
    void EndTls();
    long Receive(int socket, char* buffer, std::size_t size);
    bool Readable(int socket, int millis);

    struct CContextFree {
        void operator()(SSL_CTX* context) const;
    };

    int m_listener = -1;
    bool m_tlsWanted = false;
    std::unique_ptr<SSL_CTX, CContextFree> m_tlsContext;
    // The session of the connection being served; only the server's thread touches it.
    SSL* m_session = nullptr;
    std::atomic<int> m_handshakes{0};
    std::vector<std::string> m_serverNames;
    int m_stopPipe[2] = {-1, -1};
    Behaviour m_behaviour;
    std::atomic<bool> m_stopping{false};
    std::atomic<int> m_connections{0};
    mutable std::mutex m_mutex;
    std::vector<std::string> m_requests;
    bool m_concurrent = false;
    std::vector<std::thread> m_workers;
    std::thread m_thread;
};

// The name server the namespace's resolv.conf names (127.0.0.53), answering every query for
// an IPv4 address with one address after a pause, as a slow resolver would. A pause longer than
// the test is a name server that never answers.
class CSlowNameServer {
public:
    CSlowNameServer(const char* address, int pauseMillis);
    ~CSlowNameServer();
    CSlowNameServer(const CSlowNameServer&) = delete;
    CSlowNameServer& operator=(const CSlowNameServer&) = delete;
    bool Ready() const { return m_ready; }
    int Queries() const { return m_queries; }

private:
    void Serve();

    int m_socket;
    unsigned m_address;
    int m_pause;
    bool m_ready = false;
    std::atomic<bool> m_stopping{false};
    std::atomic<int> m_queries{0};
    std::thread m_thread;
};

struct CProgramResult;

// Runs a program with LINKVET_HOME set to home, presses Ctrl+C once ready() holds and a
// little time has passed, and collects what the program did.
CProgramResult InterruptWhen(const std::string& program, const std::vector<std::string>& arguments,
                             const std::string& home, const std::function<bool()>& ready);
// The same, once the server has taken a connection and the request has had time to go out.
CProgramResult InterruptWhenConnected(const std::string& program,
                                      const std::vector<std::string>& arguments,
                                      const std::string& home, const CScriptedServer& server);
