#include "hostcache.h"

#include "platform/asciitext.h"
#include "probe/urlsplit.h"

std::string CHostCache::KeyOf(const std::string& host) {
    return platform::AsciiLower(ConnectName(host));
}

unsigned long CHostCache::Resolve(const std::string& host, Callback callback) {
    const unsigned long id = m_nextId++;
    m_waiting[id] = std::move(callback);
    const std::string key = KeyOf(host);
    if (const auto known = m_answers.find(key); known != m_answers.end()) {
        AnswerLater(id, known->second);
        return id;
    }
    std::vector<unsigned long>& waiters = m_asking[key];
    waiters.push_back(id);
    if (waiters.size() == 1) {
        m_resolver.Resolve(key, [this, key](ResultCode code, std::uint32_t address) {
            OnAnswer(key, CHostAnswer{code, address});
        });
    }
    return id;
}

std::optional<CHostAnswer> CHostCache::AnswerAtOnce(const std::string& host) {
    const std::string key = KeyOf(host);
    if (const auto known = m_answers.find(key); known != m_answers.end()) {
        return known->second;
    }
    std::optional<CHostAnswer> answer = m_resolver.AnswerAtOnce(key);
    if (answer) {
        m_answers[key] = *answer;
    }
    return answer;
}

void CHostCache::Cancel(unsigned long id) {
    m_waiting.erase(id);
}

// The lookup goes on when its requesters have given up on it: its answer is kept for the next.
void CHostCache::OnAnswer(const std::string& key, const CHostAnswer& answer) {
    m_answers[key] = answer;
    const auto asking = m_asking.find(key);
    if (asking == m_asking.end()) {
        return;
    }
    const std::vector<unsigned long> waiters = std::move(asking->second);
    m_asking.erase(asking);
    for (const unsigned long id : waiters) {
        Deliver(id, answer);
    }
}

void CHostCache::AnswerLater(unsigned long id, const CHostAnswer& answer) {
    QMetaObject::invokeMethod(
        this, [this, id, answer] { Deliver(id, answer); }, Qt::QueuedConnection);
}

// A requester may cancel others, or itself, from its callback; each is looked up afresh.
void CHostCache::Deliver(unsigned long id, const CHostAnswer& answer) {
    const auto found = m_waiting.find(id);
    if (found == m_waiting.end()) {
        return;
    }
    const Callback callback = std::move(found->second);
    m_waiting.erase(found);
    callback(answer.code, answer.address);
}
