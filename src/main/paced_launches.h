#pragma once
// Programs started from a queue, one per timer tick, so that thousands of launches never
// hold the window's event loop and never start all at once.
#include <QObject>
#include <QTimer>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace lark::gui {

class PacedLaunches : public QObject {
public:
    using Launch = std::function<void(const std::string& path)>;
    // `launch` starts one; `stop` tells when the queue is to be dropped (the window closes).
    PacedLaunches(Launch launch, std::function<bool()> stop, QObject* parent);

    void add(std::vector<std::string> paths);
    std::size_t pending() const { return queue_.size(); }

    // Time between two launches.
    static constexpr int kIntervalMs = 50;

private:
    void step();

    Launch launch_;
    std::function<bool()> stop_;
    QTimer timer_;
    std::deque<std::string> queue_;
};

}  // namespace lark::gui
