#include "timerhost.h"

#include <QTimerEvent>

namespace platform {

CTimerHost::CTimerHost(Handler handler) : m_handler(std::move(handler)) {}

CTimerHost::~CTimerHost() {
    while (!m_qtIdsById.empty()) {
        KillTimer(m_qtIdsById.begin()->first);
    }
}

void CTimerHost::SetTimer(int id, int periodMillis) {
    KillTimer(id);
    const int qtId = startTimer(periodMillis, Qt::PreciseTimer);
    if (qtId != 0) {
        m_qtIdsById[id] = qtId;
    }
}

void CTimerHost::KillTimer(int id) {
    const auto found = m_qtIdsById.find(id);
    if (found != m_qtIdsById.end()) {
        killTimer(found->second);
        m_qtIdsById.erase(found);
    }
}

void CTimerHost::timerEvent(QTimerEvent* event) {
    for (const auto& [id, qtId] : m_qtIdsById) {
        if (qtId == event->timerId()) {
            m_handler(id);
            return;
        }
    }
}

}  // namespace platform
