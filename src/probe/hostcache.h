#pragma once

#include <QObject>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "probe/hostresolver.h"

// Each host's answer, asked for once and kept for the run: links to the same host (in any
// letter case) share one lookup, and one still under way is joined rather than asked again.
// Without it every URL was a lookup of its own, and the resolver reads the hosts file for each.
// Answers come as the resolver's do: later, from the event loop, never after Cancel.
class CHostCache : public QObject {
public:
    using Callback = CHostResolver::Callback;

    CHostCache() = default;
    CHostCache(const CHostCache&) = delete;
    CHostCache& operator=(const CHostCache&) = delete;

    unsigned long Resolve(const std::string& host, Callback callback);
    void Cancel(unsigned long id);
    // The answer known without a turn of the event loop: one kept from earlier in the run, or
    // one the resolver has at once, which is kept from now on.
    std::optional<CHostAnswer> AnswerAtOnce(const std::string& host);

private:
    static std::string KeyOf(const std::string& host);
    void OnAnswer(const std::string& key, const CHostAnswer& answer);
    void AnswerLater(unsigned long id, const CHostAnswer& answer);
    void Deliver(unsigned long id, const CHostAnswer& answer);

    CHostResolver m_resolver;
    unsigned long m_nextId = 1;
    std::unordered_map<std::string, CHostAnswer> m_answers;
    // Hosts being looked up -> the requests waiting for them.
    std::unordered_map<std::string, std::vector<unsigned long>> m_asking;
    std::unordered_map<unsigned long, Callback> m_waiting;
};
