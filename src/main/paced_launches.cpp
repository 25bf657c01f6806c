#include "main/paced_launches.h"

#include <utility>

namespace lark::gui {

PacedLaunches::PacedLaunches(Launch launch, std::function<bool()> stop, QObject* parent)
    : QObject(parent), launch_(std::move(launch)), stop_(std::move(stop)) {
    timer_.setInterval(kIntervalMs);
    connect(&timer_, &QTimer::timeout, this, &PacedLaunches::step);
}

void PacedLaunches::add(std::vector<std::string> paths) {
    for (std::string& path : paths) queue_.push_back(std::move(path));
    if (!queue_.empty() && !timer_.isActive()) timer_.start();
}

void PacedLaunches::step() {
    if (stop_()) queue_.clear();
    if (queue_.empty()) {
        timer_.stop();
        return;
    }
    const std::string path = std::move(queue_.front());
    queue_.pop_front();
    launch_(path);
}

}  // namespace lark::gui
