#include "ServedCatalog.h"

#include "ArtRenderer.h"

namespace melodex::http {

std::shared_ptr<const ServedCatalog> ServedCatalog::open(const std::string& directory, const fp::FingerprintConfig& config,
                                                         std::string& error) {
    auto served = std::make_shared<ServedCatalog>();
    if (!served->catalog.open(directory, error))
        return nullptr;
    served->identifier = std::make_unique<fp::Identifier>(config, served->catalog.index());
    served->pages = std::make_unique<LinkPages>(served->catalog);
    for (const catalog::Album& album : served->catalog.albums())
        served->albumArt[album.id] =
            ArtRenderer::albumJpeg(album.title, album.coverPath, ArtRenderer::kArtSize, ArtRenderer::kArtSize);
    return served;
}

} // namespace melodex::http
