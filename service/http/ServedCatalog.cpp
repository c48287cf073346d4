#include "ServedCatalog.h"

#include "ArtRenderer.h"

namespace melodex::http {

std::shared_ptr<const ServedCatalog> ServedCatalog::open(const std::string& directory, const fp::FingerprintConfig& config,
                                                         std::string& error) {
    auto served = std::make_shared<ServedCatalog>();
    if (!served->catalog_.open(directory, error))
        return nullptr;
    served->identifier_ = std::make_unique<fp::Identifier>(config, served->catalog_.index());
    served->pages_ = std::make_unique<LinkPages>(served->catalog_);
    return served;
}

std::string ServedCatalog::albumArt(uint32_t albumId) const {
    std::lock_guard lock(artMutex_);
    if (const auto it = albumArt_.find(albumId); it != albumArt_.end())
        return it->second;
    const catalog::Album* album = catalog_.album(albumId);
    if (album == nullptr)
        return {};
    return albumArt_[albumId] = ArtRenderer::albumJpeg(album->title, album->coverPath, ArtRenderer::kArtSize, ArtRenderer::kArtSize);
}

} // namespace melodex::http
