#include "CatalogHolder.h"

#include <utility>

namespace melodex::http {

CatalogHolder::~CatalogHolder() { stop(); }

bool CatalogHolder::open(const std::string& directory, const fp::FingerprintConfig& config, std::string& error) {
    auto served = ServedCatalog::open(directory, config, error);
    if (!served)
        return false;
    std::lock_guard one(refreshing_);
    config_ = config;
    replace(std::move(served));
    return true;
}

std::shared_ptr<const ServedCatalog> CatalogHolder::current() const {
    std::lock_guard lock(mutex_);
    return current_;
}

void CatalogHolder::replace(std::shared_ptr<const ServedCatalog> next) {
    std::shared_ptr<const ServedCatalog> old;
    {
        std::lock_guard lock(mutex_);
        old = std::exchange(current_, std::move(next));
    }
    // `old` goes here, or when the last request holding it is done: not under the lock.
}

bool CatalogHolder::refresh(bool& changed, std::string& error) {
    changed = false;
    std::lock_guard one(refreshing_);
    const std::shared_ptr<const ServedCatalog> held = current();
    if (!held)
        return true;
    const std::string& directory = held->catalog().directory();
    if (catalog::Manifest::current(directory) == held->catalog().manifest().name())
        return true;
    // Opened whole before it is swapped in: requests go on with the version held meanwhile.
    auto next = ServedCatalog::open(directory, config_, error);
    if (!next)
        return false;
    replace(std::move(next));
    changed = true;
    return true;
}

void CatalogHolder::watch(std::chrono::milliseconds interval, std::function<void(const std::string&)> log) {
    stop();
    {
        std::lock_guard lock(mutex_);
        stopping_ = false;
    }
    watcher_ = std::thread([this, interval, log = std::move(log)] {
        std::string lastError;
        for (;;) {
            {
                std::unique_lock lock(mutex_);
                if (wake_.wait_for(lock, interval, [this] { return stopping_; }))
                    return;
            }
            bool changed = false;
            std::string error;
            if (!refresh(changed, error)) {
                if (log && error != lastError)
                    log("catalog version not taken up: " + error);
                lastError = error;
            } else if (changed) {
                lastError.clear();
                const auto served = current();
                if (log)
                    log("catalog " + served->catalog().manifest().name() + " taken up (" +
                        std::to_string(served->catalog().tracks().size()) + " tracks)");
            }
        }
    });
}

void CatalogHolder::stop() {
    if (!watcher_.joinable())
        return;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    watcher_.join();
}

} // namespace melodex::http
