#pragma once

#include <QString>

#include <optional>

#include "model/TavloUrl.h"

// Recognition of YouTube video links and the address of a video's thumbnail image.
namespace YouTube {

// True for the video hosts themselves (short links, the main site, its "www." and "m." forms).
bool isYouTubeURL(const TavloUrl &url);
// The video id of a short link, a watch page ("v" query item) or a /shorts/, /embed/ or /live/ path.
std::optional<QString> youTubeVideoID(const TavloUrl &url);
// https address of the video's "hqdefault" thumbnail.
std::optional<TavloUrl> youTubeThumbnailURL(const TavloUrl &url);

} // namespace YouTube
