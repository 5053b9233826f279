#pragma once

#include <QTimer>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "probe/hostcache.h"
#include "probe/redirectchain.h"
#include "probe/socketwnd.h"
#include "run/linkschedule.h"

// The bytes of the GET request, in the three sends the probe has always made.
void SendHttpRequest(CSocketWnd& socket, const std::string& host, const std::string& path);
// What is kept of a reply: its first bytes, enough for the status line.
inline constexpr std::size_t kReplyBufferSize = 514;

// On FD_READ: the first chunk of the reply into buffer, which is zeroed first and keeps at
// least two zero bytes at its end; what else is waiting is read and dropped.
void ReceiveFirstChunk(CSocketWnd& socket, char* buffer, std::size_t size);

// One link in flight while many are: its name lookup, its connection and its own time-out,
// all on the event loop. The verdict goes to the owner as the probe's last act; the owner may
// keep the probe but must not destroy it there.
class CLinkProbe : public CSocketNotifySink {
public:
    class COwner {
    public:
        virtual void OnProbeDone(CLinkProbe& probe, const CVerdict& verdict) = 0;
        // No descriptor was left for the connection: the link has no verdict and is to be
        // started again once another connection has ended.
        virtual void OnProbeWaitsForDescriptor(CLinkProbe& probe) = 0;

    protected:
        ~COwner() = default;
    };

    CLinkProbe(COwner& owner, CHostCache& hosts, std::string url, int scheme);
    virtual ~CLinkProbe();
    CLinkProbe(const CLinkProbe&) = delete;
    CLinkProbe& operator=(const CLinkProbe&) = delete;

    // An http or https link then reads each reply's head and follows its redirects (https
    // ones only when https is set); the link's verdict is the chain's (CRedirectChain).
    void FollowRedirects(bool https);
    // The time-out runs from here and covers the lookup, the connect and the reply, of every
    // hop when redirects are followed.
    void Start(int timeoutMillis);
    const std::string& Url() const { return m_url; }

    long OnSocketNotify(int socket, unsigned long eventWord) override;

private:
    enum class CState { Idle, Resolving, Connecting, Awaiting, Done };

    void Ask(const std::string& url);
    void OnResolved(ResultCode code, std::uint32_t address);
    void ReadFirstChunk();
    void ReadHead();
    void OnAnswer(const CReplyHead& head);
    void OnTimeout();
    void Finish(const CVerdict& verdict);
    // Ends the probe as Finish does, without a verdict.
    void Stop();

    COwner& m_owner;
    CHostCache& m_hosts;
    std::string m_url;
    int m_scheme;
    // The URL asked now: the link, or where its redirects led.
    std::string m_asked;
    std::string m_host;
    std::unique_ptr<CRedirectChain> m_chain;
    std::string m_head;
    CState m_state = CState::Idle;
    unsigned long m_lookup = 0;
    std::unique_ptr<CSocketWnd> m_socket;
    QTimer m_timeout;
};
