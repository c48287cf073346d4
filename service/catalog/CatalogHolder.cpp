#include "CatalogHolder.h"

#include <utility>

namespace melodex::catalog {

CatalogHolder::~CatalogHolder() { stop(); }

bool CatalogHolder::open(const std::string& directory, std::string& error) {
    auto catalog = std::make_shared<Catalog>();
    if (!catalog->open(directory, error))
        return false;
    std::lock_guard lock(mutex_);
    directory_ = directory;
    current_ = std::move(catalog);
    return true;
}

std::shared_ptr<const Catalog> CatalogHolder::current() const {
    std::lock_guard lock(mutex_);
    return current_;
}

bool CatalogHolder::refresh(bool& changed, std::string& error) {
    changed = false;
    std::lock_guard one(refreshing_);
    const std::shared_ptr<const Catalog> held = current();
    if (held && Manifest::current(directory_) == held->manifest().name())
        return true;
    // Opened whole before it is swapped in: requests go on with the version held meanwhile.
    auto catalog = std::make_shared<Catalog>();
    if (!catalog->open(directory_, error))
        return false;
    std::shared_ptr<const Catalog> old;
    {
        std::lock_guard lock(mutex_);
        old = std::exchange(current_, std::move(catalog));
    }
    changed = true;
    return true;  // `old` goes when the last request holding it is done
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
                if (log)
                    log("catalog " + current()->manifest().name() + " taken up (" +
                        std::to_string(current()->tracks().size()) + " tracks)");
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

} // namespace melodex::catalog
