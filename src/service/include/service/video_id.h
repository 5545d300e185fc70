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

// True for a bare video ID as people type it: two ASCII letters, in any case, and digits
// ("sm9", "nm2829323", "so38016254", "nl", "ss", "ca" and the service's other prefixes alike).
// Nothing around it: blanks are the caller's to trim.
bool isBareVideoId(std::string_view text);

// True for the texts that name a video: an "http://" or "https://" address (scheme in any
// letter case) or a bare video ID. Only these start a job from the queue or a hand-over.
bool isVideoAddress(std::string_view text);

// The page URL a typed text stands for: a bare video ID (blanks around it ignored) is the watch
// page `webBase` + "/watch/" + the ID in lower case; any other text is returned as it stands.
std::string watchUrlForTyped(std::string_view typed, std::string_view webBase);
