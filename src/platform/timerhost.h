#pragma once

#include <QObject>
#include <functional>
#include <map>

namespace platform {

// SetTimer/KillTimer by fixed identifier on the Qt event loop. A timer repeats until it is
// killed, as a Windows timer does; setting a running identifier again restarts it with the
// new period. The handler runs on the thread of the event loop, one event at a time.
class CTimerHost : public QObject {
public:
    using Handler = std::function<void(int id)>;

    explicit CTimerHost(Handler handler);
    ~CTimerHost() override;

    void SetTimer(int id, int periodMillis);
    void KillTimer(int id);
    bool IsRunning(int id) const { return m_qtIdsById.count(id) != 0; }

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    Handler m_handler;
    std::map<int, int> m_qtIdsById;
};

}  // namespace platform
