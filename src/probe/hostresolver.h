#pragma once

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "probe/resultcodes.h"

class QSocketNotifier;
struct ares_channeldata;
struct hostent;

// A host that begins with a digit is taken as a dotted address and never looked up.
bool IsDottedAddress(const std::string& name);
// Reads a dotted address into address (network byte order): 0, or 10004 for a text that
// inet_addr cannot read.
ResultCode ReadDottedAddress(const std::string& name, std::uint32_t& address);

// 0 and the address in network byte order, or the failure code.
struct CHostAnswer {
    ResultCode code = 0;
    std::uint32_t address = 0;
};

// Name resolution that never blocks the event loop, for one link at a time and for many at
// once alike: a c-ares channel whose sockets the loop watches. IPv4 only, /etc/hosts first,
// leading blanks dropped, and a host that begins with a digit taken as a dotted address and
// never looked up.
class CHostResolver : public QObject {
public:
    // 0 and the address in network byte order, or the failure code (10001 for an empty host,
    // 10002 for a name not found, 10004 for a dotted address that cannot be read).
    using Callback = std::function<void(ResultCode code, std::uint32_t address)>;

    CHostResolver();
    ~CHostResolver() override;
    CHostResolver(const CHostResolver&) = delete;
    CHostResolver& operator=(const CHostResolver&) = delete;

    // The answer always comes later from the event loop, never from inside this call, and
    // never after Cancel or the resolver's end. Returns the request's id.
    unsigned long Resolve(const std::string& host, Callback callback);
    void Cancel(unsigned long id);
    // The answer when no name server need be asked: for an empty host, a dotted address or a
    // name the hosts file gives; nothing otherwise.
    std::optional<CHostAnswer> AnswerAtOnce(const std::string& host) const;

private:
    struct CLookup;

    static void OnSocketState(void* data, int socket, int readable, int writable);
    static void OnHostFound(void* arg, int status, int timeouts, hostent* found);
    void WatchSocket(int socket, bool readable, bool writable);
    void Process(int readSocket, int writeSocket);
    void ArmTimeout();
    // Hands the answer to its requester from the event loop, if it is still wanted.
    void Answer(unsigned long id, ResultCode code, std::uint32_t address);

    ares_channeldata* m_channel = nullptr;
    unsigned long m_nextId = 1;
    std::map<unsigned long, Callback> m_pending;
    std::map<int, std::pair<QSocketNotifier*, QSocketNotifier*>> m_watched;
    QTimer m_timeout;
};
