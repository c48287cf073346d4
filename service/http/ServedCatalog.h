// One version of a catalog as the HTTP layer serves it: the catalog itself, its identifier, its
// link pages and its album pictures. A request takes the version in force from the
// CatalogHolder once and uses it to the end, so versions can be swapped while requests run:
// a version lives until the last request holding it finishes.
#pragma once

#include "LinkPages.h"
#include "catalog/Catalog.h"
#include "fingerprint/FingerprintConfig.h"
#include "fingerprint/Identifier.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace melodex::http {

class ServedCatalog {
public:
    // Opens the catalog in `directory`; null with a reason on failure.
    static std::shared_ptr<const ServedCatalog> open(const std::string& directory, const fp::FingerprintConfig& config,
                                                     std::string& error);

    const catalog::Catalog& catalog() const { return catalog_; }
    const fp::Identifier& identifier() const { return *identifier_; }
    const LinkPages& pages() const { return *pages_; }

    // The album's 88x88 JPEG, drawn when first asked for (a catalog of 10^5 tracks would
    // otherwise draw every album before it could answer, and again for each version); empty
    // when the version has no such album.
    std::string albumArt(uint32_t albumId) const;

private:
    catalog::Catalog catalog_;
    std::unique_ptr<fp::Identifier> identifier_;
    std::unique_ptr<LinkPages> pages_;
    // Per version: an album id of a catalog built again may name another album.
    mutable std::mutex artMutex_;
    mutable std::map<uint32_t, std::string> albumArt_;
};

} // namespace melodex::http
