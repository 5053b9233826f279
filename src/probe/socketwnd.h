#pragma once

#include <QObject>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "probe/resultcodes.h"

class QSocketNotifier;
class CTlsSession;

// Socket event codes and the event mask the probe asks for, with their Windows Sockets values.
inline constexpr unsigned kFdRead = 1;
inline constexpr unsigned kFdWrite = 2;
inline constexpr unsigned kFdOob = 4;
inline constexpr unsigned kFdAccept = 8;
inline constexpr unsigned kFdConnect = 16;
inline constexpr unsigned kFdClose = 32;

// Whoever a connection reports its socket events to (the view, in Linkvet). The event word
// holds the event code in its low 16 bits and an error code in its high 16 bits. The handler
// may destroy the connection that reports.
class CSocketNotifySink {
public:
    virtual long OnSocketNotify(int socket, unsigned long eventWord) = 0;

protected:
    ~CSocketNotifySink() = default;
};

// The TLS failure (10006 to 10009) that an FD_CLOSE carries in its error half, else 0.
ResultCode TlsFailureOf(unsigned long eventWord);

// One TCP connection of the probe, on a POSIX socket. Connect blocks (bounded by a time-out);
// after AsyncSelect the socket is non-blocking and its events reach the sink through the Qt
// event loop, one queued notification at a time, as WSAAsyncSelect messages would:
//   - FD_READ is reported when data arrives; once reported it is reported again only after a
//     Receive, if data is still, or again, waiting;
//   - FD_CLOSE is reported once, when the peer has closed its side (and no data is waiting).
// A notification still queued when its connection is destroyed is dropped.
//
// With TLS, the same calls and the same rules hold for the decrypted stream: AsyncSelect
// starts the handshake, which the event loop drives without waiting; what is sent before it
// completes goes out once it has. A failed handshake is reported as FD_CLOSE with the failure
// code (10006 to 10009) in the error half.
class CSocketWnd : public QObject {
public:
    explicit CSocketWnd(CSocketNotifySink& parent);
    ~CSocketWnd() override;

    // Whether the next Connect leads to TLS, checked against the host's name.
    void SetTls(bool on) { m_useTls = on; }

    // Creates a stream socket and connects to an IPv4 address (network byte order), waiting no
    // later than deadline; the name is looked up beforehand, by the same resolver as when many
    // links are in flight. serverName is the host the TLS certificate must be for.
    // 0 when connected, else 10001 (port 0), 10003 (no socket) or 10004 (refused, failed or
    // timed out).
    ResultCode Connect(std::uint32_t address, const std::string& port,
                       const std::string& serverName,
                       std::chrono::steady_clock::time_point deadline);
    // Starts a connect to an IPv4 address (network byte order) without waiting: 0 when it is
    // under way, else 10001 (port 0), 10003 or 10004. Its end comes as FD_CONNECT, with the
    // error in the high 16 bits, once AsyncSelect asks for it; FD_READ and FD_CLOSE follow a
    // connect that succeeded. serverName is the host the TLS certificate must be for.
    ResultCode ConnectAsync(std::uint32_t address, const std::string& port,
                            const std::string& serverName);
    // After a connect that gave 10003: whether the socket could not be made only because the
    // process or the system had no descriptor left (EMFILE, ENFILE), which a later try may not
    // meet.
    bool OutOfDescriptors() const { return m_outOfDescriptors; }
    // Asks for notifications of the events in mask; 0 without a socket.
    int AsyncSelect(unsigned mask);
    long Send(const void* data, std::size_t size, int flags);
    // The byte count, 0 at end of stream, negative on an error or when nothing is waiting.
    long Receive(void* buffer, std::size_t size, int flags);
    int Close();

    int Handle() const { return m_hSocket; }

    // How many connection objects are alive in the process.
    static int LiveCount();

private:
    void TakeSocket(int fd, const std::string& serverName);
    void OnReadable();
    void ReportReadable(long peeked, int error);
    void OnConnectDone();
    void Post(unsigned event, int error);
    static void Deliver(unsigned long windowId, int socket, unsigned long eventWord);

    void StartTls();
    void DriveTls();
    void FlushTls();
    void FailTls();
    void OnTlsReadable();
    void OnTlsWritable();
    void CheckTlsBufferLater();

    CSocketNotifySink& m_parent;
    int m_hSocket = -1;
    unsigned long m_windowId;
    unsigned m_eventMask = 0;
    bool m_readReported = false;
    bool m_closeReported = false;
    bool m_connectPending = false;
    bool m_outOfDescriptors = false;
    std::unique_ptr<QSocketNotifier> m_notifier;
    bool m_useTls = false;
    // The host as connected to, for the certificate check.
    std::string m_serverName;
    std::unique_ptr<CTlsSession> m_tls;
    // Bytes sent by the caller that the session has not taken yet.
    std::string m_tlsOutgoing;
    std::unique_ptr<QSocketNotifier> m_writeNotifier;
    std::unique_ptr<QSocketNotifier> m_connectNotifier;
};
