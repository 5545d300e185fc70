#include "service/hls_playlist.h"

#include <charconv>
#include <optional>

namespace {

std::string_view trimLine(std::string_view line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) {
        line.remove_suffix(1);
    }
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
        line.remove_prefix(1);
    }
    return line;
}

std::vector<std::string_view> linesOf(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t end = text.find('\n', start);
        const std::string_view line =
            trimLine(text.substr(start, end == std::string_view::npos ? text.npos : end - start));
        if (!line.empty()) {
            lines.push_back(line);
        }
        if (end == std::string_view::npos) {
            break;
        }
        start = end + 1;
    }
    // A byte-order mark before #EXTM3U is tolerated.
    if (!lines.empty() && lines.front().rfind("\xEF\xBB\xBF", 0) == 0) {
        lines.front().remove_prefix(3);
    }
    return lines;
}

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// The attribute list of a tag (`KEY=VALUE,KEY="quoted, value"`), looked up by name.
class Attributes {
public:
    explicit Attributes(std::string_view list) {
        size_t at = 0;
        while (at < list.size()) {
            const size_t equals = list.find('=', at);
            if (equals == std::string_view::npos) {
                break;
            }
            std::string_view name = trimLine(list.substr(at, equals - at));
            size_t valueStart = equals + 1;
            std::string_view value;
            size_t next;
            if (valueStart < list.size() && list[valueStart] == '"') {
                const size_t close = list.find('"', valueStart + 1);
                const size_t end = close == std::string_view::npos ? list.size() : close;
                value = list.substr(valueStart + 1, end - valueStart - 1);
                next = list.find(',', end);
            } else {
                next = list.find(',', valueStart);
                value = trimLine(list.substr(
                    valueStart, next == std::string_view::npos ? list.npos : next - valueStart));
            }
            pairs_.emplace_back(name, value);
            if (next == std::string_view::npos) {
                break;
            }
            at = next + 1;
        }
    }

    std::string_view get(std::string_view name) const {
        for (const auto& [key, value] : pairs_) {
            if (key == name) {
                return value;
            }
        }
        return {};
    }

private:
    std::vector<std::pair<std::string_view, std::string_view>> pairs_;
};

int64_t toInteger(std::string_view text) {
    int64_t value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

double toSeconds(std::string_view text) {
    double value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

std::optional<std::array<uint8_t, 16>> hexIv(std::string_view text) {
    if (startsWith(text, "0x") || startsWith(text, "0X")) {
        text.remove_prefix(2);
    }
    if (text.size() != 32) {
        return std::nullopt;
    }
    std::array<uint8_t, 16> iv{};
    for (size_t i = 0; i < 16; ++i) {
        unsigned value = 0;
        const auto [end, error] =
            std::from_chars(text.data() + 2 * i, text.data() + 2 * i + 2, value, 16);
        if (error != std::errc() || end != text.data() + 2 * i + 2) {
            return std::nullopt;
        }
        iv[i] = static_cast<uint8_t>(value);
    }
    return iv;
}

Result<void> checkHeader(const std::vector<std::string_view>& lines) {
    if (lines.empty() || lines.front() != "#EXTM3U") {
        return Failure{"the playlist does not begin with #EXTM3U"};
    }
    return {};
}

}  // namespace

std::string resolveUri(std::string_view baseUrl, std::string_view uri) {
    const size_t scheme = uri.find("://");
    if (scheme != std::string_view::npos && uri.find_first_of("/?#") > scheme) {
        return std::string(uri);
    }
    const size_t baseScheme = baseUrl.find("://");
    const size_t pathStart =
        baseScheme == std::string_view::npos ? 0 : baseUrl.find('/', baseScheme + 3);
    const std::string_view origin =
        pathStart == std::string_view::npos ? baseUrl : baseUrl.substr(0, pathStart);
    if (startsWith(uri, "//")) {
        return std::string(baseUrl.substr(0, baseScheme + 1)) + std::string(uri);
    }
    if (startsWith(uri, "/")) {
        return std::string(origin) + std::string(uri);
    }
    std::string_view path = pathStart == std::string_view::npos ? "/" : baseUrl.substr(pathStart);
    path = path.substr(0, path.find_first_of("?#"));
    path = path.substr(0, path.rfind('/') + 1);
    return std::string(origin) + std::string(path) + std::string(uri);
}

std::array<uint8_t, 16> HlsSegment::iv() const {
    if (key.explicitIv) {
        return key.iv;
    }
    std::array<uint8_t, 16> iv{};
    auto number = static_cast<uint64_t>(sequence);
    for (int i = 15; i >= 8; --i) {
        iv[static_cast<size_t>(i)] = static_cast<uint8_t>(number & 0xFF);
        number >>= 8;
    }
    return iv;
}

Result<MasterPlaylist> readMasterPlaylist(std::string_view text, std::string_view baseUrl) {
    const std::vector<std::string_view> lines = linesOf(text);
    if (Status header = checkHeader(lines); !header) {
        return header.failure();
    }
    MasterPlaylist master;
    std::optional<HlsVariant> pending;
    for (const std::string_view line : lines) {
        if (startsWith(line, "#EXT-X-STREAM-INF:")) {
            const Attributes a(line.substr(18));
            HlsVariant variant;
            variant.bandwidth = toInteger(a.get("BANDWIDTH"));
            variant.codecs = a.get("CODECS");
            variant.audioGroup = a.get("AUDIO");
            const std::string_view resolution = a.get("RESOLUTION");
            if (const size_t x = resolution.find('x'); x != std::string_view::npos) {
                variant.width = static_cast<int>(toInteger(resolution.substr(0, x)));
                variant.height = static_cast<int>(toInteger(resolution.substr(x + 1)));
            }
            pending = std::move(variant);
        } else if (startsWith(line, "#EXT-X-MEDIA:")) {
            const Attributes a(line.substr(13));
            if (a.get("TYPE") == "AUDIO" && !a.get("URI").empty()) {
                master.audios.push_back({std::string(a.get("GROUP-ID")), std::string(a.get("NAME")),
                                         a.get("DEFAULT") == "YES",
                                         resolveUri(baseUrl, a.get("URI"))});
            }
        } else if (line.front() != '#' && pending) {
            pending->uri = resolveUri(baseUrl, line);
            master.variants.push_back(std::move(*pending));
            pending.reset();
        }
    }
    if (master.variants.empty()) {
        return Failure{"the master playlist lists no video rendition"};
    }
    return master;
}

Result<MediaPlaylist> readMediaPlaylist(std::string_view text, std::string_view baseUrl) {
    const std::vector<std::string_view> lines = linesOf(text);
    if (Status header = checkHeader(lines); !header) {
        return header.failure();
    }
    MediaPlaylist playlist;
    HlsKey key;
    int64_t sequence = 0;
    double duration = 0;
    for (const std::string_view line : lines) {
        if (startsWith(line, "#EXT-X-MEDIA-SEQUENCE:")) {
            sequence = toInteger(line.substr(22));
        } else if (startsWith(line, "#EXT-X-MAP:")) {
            playlist.initUri = resolveUri(baseUrl, Attributes(line.substr(11)).get("URI"));
            playlist.initKey = key;
        } else if (startsWith(line, "#EXT-X-KEY:")) {
            const Attributes a(line.substr(11));
            const std::string_view method = a.get("METHOD");
            key = HlsKey{};
            if (method == "AES-128") {
                key.method = HlsKey::Method::Aes128;
                if (a.get("URI").empty()) {
                    return Failure{"an AES-128 key of the playlist has no URI"};
                }
                key.uri = resolveUri(baseUrl, a.get("URI"));
                if (!a.get("IV").empty()) {
                    const std::optional<std::array<uint8_t, 16>> iv = hexIv(a.get("IV"));
                    if (!iv) {
                        return Failure{"the playlist's IV is not 32 hexadecimal digits"};
                    }
                    key.iv = *iv;
                    key.explicitIv = true;
                }
            } else if (method != "NONE") {
                return Failure{"the playlist's encryption \"" + std::string(method) +
                               "\" is not supported"};
            }
        } else if (startsWith(line, "#EXTINF:")) {
            duration = toSeconds(line.substr(8));
        } else if (line == "#EXT-X-ENDLIST") {
            playlist.complete = true;
        } else if (line.front() != '#') {
            playlist.segments.push_back({resolveUri(baseUrl, line), duration, sequence++, key});
            duration = 0;
        }
    }
    if (playlist.segments.empty()) {
        return Failure{"the media playlist lists no segment"};
    }
    if (!playlist.complete) {
        return Failure{"the media playlist is not complete (no #EXT-X-ENDLIST)"};
    }
    return playlist;
}

const HlsVariant* bestVariant(const MasterPlaylist& master) {
    const HlsVariant* best = nullptr;
    for (const HlsVariant& v : master.variants) {
        if (best == nullptr || v.bandwidth > best->bandwidth ||
            (v.bandwidth == best->bandwidth && v.width * v.height > best->width * best->height)) {
            best = &v;
        }
    }
    return best;
}

const HlsAudio* audioFor(const MasterPlaylist& master, const HlsVariant& variant) {
    if (variant.audioGroup.empty()) {
        return nullptr;
    }
    const HlsAudio* first = nullptr;
    for (const HlsAudio& audio : master.audios) {
        if (audio.groupId != variant.audioGroup) {
            continue;
        }
        if (audio.isDefault) {
            return &audio;
        }
        if (first == nullptr) {
            first = &audio;
        }
    }
    return first;
}
