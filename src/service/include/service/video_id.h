#pragma once
// The video ID of a page URL: the base name of the downloaded stream and of the movie, and the
// `v` of the getflv request.

#include <optional>
#include <string>
#include <string_view>

// The text after the first "watch/" of `pageUrl`, up to a "?" or "#" (a query or fragment is
// no part of the ID). Nothing when "watch/" is missing or the ID is not safe (below).
std::optional<std::string> videoIdFromPageUrl(std::string_view pageUrl);

// True when `id` can name a file inside the save folder on every system: not empty, no path
// separator ("/" or "\"), no "..", no control character, none of : * ? " < > |.
bool isSafeVideoId(std::string_view id);
