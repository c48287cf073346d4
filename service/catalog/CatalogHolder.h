// The catalog a running service answers from, and the taking up of its new versions. A request
// takes the version in force once (current()) and keeps it to the end, so a version published
// while it runs changes nothing for it; the next request gets the new one. A version is
// dropped (its files unmapped) when the last request holding it finishes.
#pragma once

#include "Catalog.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace melodex::catalog {

class CatalogHolder {
public:
    CatalogHolder() = default;
    ~CatalogHolder();
    CatalogHolder(const CatalogHolder&) = delete;
    CatalogHolder& operator=(const CatalogHolder&) = delete;

    bool open(const std::string& directory, std::string& error);
    std::shared_ptr<const Catalog> current() const;

    // Takes up the version CURRENT names when it is not the one held. `changed` tells whether
    // it did; false with a reason when the new version cannot be opened (the one held stays).
    bool refresh(bool& changed, std::string& error);

    // Refreshes every `interval` on a thread of its own until stop(); `log` hears of every
    // version taken up and every one refused.
    void watch(std::chrono::milliseconds interval, std::function<void(const std::string&)> log);
    void stop();

private:
    std::string directory_;
    mutable std::mutex mutex_;
    std::shared_ptr<const Catalog> current_;
    std::mutex refreshing_;  // one refresh at a time
    std::thread watcher_;
    std::condition_variable wake_;
    bool stopping_ = false;
};

} // namespace melodex::catalog
