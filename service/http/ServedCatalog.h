// What the HTTP layer serves from one catalog: the catalog itself, its identifier, its link
// pages and its album pictures. A request takes the current one from the CatalogHolder once
// and uses that snapshot to the end, so a catalog can be replaced while requests run: the old
// one lives until the last request holding it finishes.
#pragma once

#include "LinkPages.h"
#include "catalog/Catalog.h"
#include "fingerprint/FingerprintConfig.h"
#include "fingerprint/Identifier.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

namespace melodex::http {

struct ServedCatalog {
    catalog::Catalog catalog;
    std::unique_ptr<fp::Identifier> identifier;
    std::unique_ptr<LinkPages> pages;
    std::map<uint32_t, std::string> albumArt;  // album id -> 88x88 JPEG, drawn at open

    // Opens the catalog in `directory` and draws its pictures; null with a reason on failure.
    static std::shared_ptr<const ServedCatalog> open(const std::string& directory, const fp::FingerprintConfig& config,
                                                     std::string& error);
};

class CatalogHolder {
public:
    std::shared_ptr<const ServedCatalog> current() const { return current_.load(); }
    void replace(std::shared_ptr<const ServedCatalog> next) { current_.store(std::move(next)); }

private:
    std::atomic<std::shared_ptr<const ServedCatalog>> current_;
};

} // namespace melodex::http
