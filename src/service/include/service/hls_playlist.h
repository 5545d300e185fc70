#pragma once
// HLS playlists (RFC 8216) as the service's delivery hosts write them: a master playlist that
// lists the video renditions (EXT-X-STREAM-INF) and the separate audio renditions
// (EXT-X-MEDIA TYPE=AUDIO), and one media playlist per rendition with an init section
// (EXT-X-MAP), an AES-128 key (EXT-X-KEY) and the segments of a complete video (VOD).
//
// URIs are taken as they stand when absolute (their signed queries must not change) and
// resolved against the playlist's own address when relative.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"

struct HlsVariant {
    int64_t bandwidth = 0;
    std::string codecs;
    int width = 0;
    int height = 0;
    std::string audioGroup;  // the GROUP-ID of the audio renditions that go with it
    std::string uri;         // its media playlist
};

struct HlsAudio {
    std::string groupId;
    std::string name;
    bool isDefault = false;
    std::string uri;  // its media playlist
};

struct MasterPlaylist {
    std::vector<HlsVariant> variants;
    std::vector<HlsAudio> audios;
};

// How a segment is encrypted.
struct HlsKey {
    enum class Method { None, Aes128 };
    Method method = Method::None;
    std::string uri;
    std::array<uint8_t, 16> iv{};
    bool explicitIv = false;  // false: the IV is the segment's media sequence number
};

struct HlsSegment {
    std::string uri;
    double durationSeconds = 0;
    int64_t sequence = 0;  // media sequence number
    HlsKey key;
    // The IV this segment is decrypted with: the key's own, else the sequence number written as
    // a 128-bit big-endian number.
    std::array<uint8_t, 16> iv() const;
};

struct MediaPlaylist {
    std::string initUri;  // EXT-X-MAP; empty when there is none
    // The key in force where EXT-X-MAP stands: the service writes the map before its key, so
    // the init section comes in clear (Method::None).
    HlsKey initKey;
    std::vector<HlsSegment> segments;
    bool complete = false;  // EXT-X-ENDLIST seen
};

// Reads a master playlist fetched from `baseUrl`. Fails when the text is no playlist or lists
// no video rendition.
Result<MasterPlaylist> readMasterPlaylist(std::string_view text, std::string_view baseUrl);

// Reads a media playlist fetched from `baseUrl`. Fails when the text is no playlist, lists no
// segment, is not complete (a live playlist), or names a key method other than NONE and
// AES-128 (SAMPLE-AES cannot be decrypted whole).
Result<MediaPlaylist> readMediaPlaylist(std::string_view text, std::string_view baseUrl);

// `uri` resolved against `baseUrl`: an absolute URI unchanged, "/path" on the base's origin,
// anything else beside the base's last path segment.
std::string resolveUri(std::string_view baseUrl, std::string_view uri);

// The variant to download: the one with the highest BANDWIDTH (ties: the larger picture).
// Nothing when the list is empty.
const HlsVariant* bestVariant(const MasterPlaylist& master);

// The audio rendition for `variant`: of its AUDIO group, the DEFAULT=YES one, else the first;
// nothing when the variant names no group or the group has none.
const HlsAudio* audioFor(const MasterPlaylist& master, const HlsVariant& variant);
