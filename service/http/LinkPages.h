// The small HTML pages behind the links of a reply (every link the client opens leads somewhere
// real): ringtone, full song, wallpaper, a recommendation that names another song of the catalog,
// and an index of the catalog.
#pragma once

#include "catalog/Catalog.h"

#include <string>

namespace melodex::http {

enum class LinkKind { Ringtone, FullSong, Wallpaper, Recommend };

class LinkPages {
public:
    LinkPages(const catalog::Catalog& catalog);

    // The track a recommendation for `track` names: the next song of another artist if there
    // is one, else the next song; null when the catalog holds only this one.
    const catalog::Track* recommendationFor(const catalog::Track& track) const;

    // The page of `kind` for a track; links in it are relative to this service.
    std::string page(LinkKind kind, const catalog::Track& track) const;
    std::string index() const;

    static std::string escape(const std::string& text);

private:
    std::string songBox(const catalog::Track& track) const;

    const catalog::Catalog& catalog_;
};

} // namespace melodex::http
