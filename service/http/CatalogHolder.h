// The catalog a running service answers from, and the taking up of its new versions. A request
// takes the version in force once (current()) and keeps it to the end, so a version swapped in
// while it runs changes nothing for it; the next request gets the new one. A version is
// dropped (its files unmapped) when the last request holding it finishes.
#pragma once

#include "ServedCatalog.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace melodex::http {

class CatalogHolder {
public:
    CatalogHolder() = default;
    ~CatalogHolder();
    CatalogHolder(const CatalogHolder&) = delete;
    CatalogHolder& operator=(const CatalogHolder&) = delete;

    // Opens the catalog in `directory` and serves it.
    bool open(const std::string& directory, const fp::FingerprintConfig& config, std::string& error);
    std::shared_ptr<const ServedCatalog> current() const;
    // Serves `next` from the next request on; its folder is the one watched from then on.
    void replace(std::shared_ptr<const ServedCatalog> next);

    // Takes up the version CURRENT names in the held catalog's folder when it is not the one
    // held. `changed` tells whether it did; false with a reason when the new version cannot be
    // opened (the one held stays).
    bool refresh(bool& changed, std::string& error);

    // Refreshes every `interval` on a thread of its own until stop(); `log` hears of every
    // version taken up and every one refused.
    void watch(std::chrono::milliseconds interval, std::function<void(const std::string&)> log);
    void stop();

private:
    fp::FingerprintConfig config_;
    mutable std::mutex mutex_;
    std::shared_ptr<const ServedCatalog> current_;
    std::mutex refreshing_;  // one refresh at a time
    std::thread watcher_;
    std::condition_variable wake_;
    bool stopping_ = false;
};

} // namespace melodex::http
