#include "comments/json_fields.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

using simdjson::dom::element;
using simdjson::dom::element_type;

std::optional<int64_t> jsonInteger(simdjson::dom::object entry, std::string_view key) {
    element value;
    if (entry.at_key(key).get(value) != simdjson::SUCCESS) {
        return std::nullopt;
    }
    switch (value.type()) {
        case element_type::INT64:
            return value.get_int64().value_unsafe();
        case element_type::UINT64:
            return static_cast<int64_t>(std::min<uint64_t>(value.get_uint64().value_unsafe(),
                                                           std::numeric_limits<int64_t>::max()));
        case element_type::DOUBLE: {
            const double number = value.get_double().value_unsafe();
            constexpr double kLimit = 9.2e18;  // inside the int64 range
            return std::isfinite(number) ? static_cast<int64_t>(std::clamp(number, -kLimit, kLimit))
                                         : std::optional<int64_t>();
        }
        case element_type::STRING: {
            const std::string_view text = value.get_string().value_unsafe();
            int64_t number = 0;
            const auto [end, error] =
                std::from_chars(text.data(), text.data() + text.size(), number);
            if (error != std::errc() || end != text.data() + text.size()) {
                return std::nullopt;
            }
            return number;
        }
        default:
            return std::nullopt;
    }
}

std::string_view jsonString(simdjson::dom::object entry, std::string_view key) {
    std::string_view text;
    return entry.at_key(key).get_string().get(text) == simdjson::SUCCESS ? text
                                                                         : std::string_view();
}

bool jsonFlag(simdjson::dom::object entry, std::string_view key) {
    element value;
    if (entry.at_key(key).get(value) != simdjson::SUCCESS) {
        return false;
    }
    if (value.type() == element_type::BOOL) {
        return value.get_bool().value_unsafe();
    }
    return jsonInteger(entry, key).value_or(0) != 0;
}

std::string jsonWords(simdjson::dom::object entry, std::string_view key) {
    element value;
    if (entry.at_key(key).get(value) != simdjson::SUCCESS) {
        return {};
    }
    if (value.type() == element_type::STRING) {
        return std::string(value.get_string().value_unsafe());
    }
    std::string words;
    simdjson::dom::array list;
    if (value.get_array().get(list) != simdjson::SUCCESS) {
        return words;
    }
    for (element word : list) {
        std::string_view text;
        if (word.get_string().get(text) == simdjson::SUCCESS && !text.empty()) {
            if (!words.empty()) {
                words.push_back(' ');
            }
            words.append(text);
        }
    }
    return words;
}

int32_t clampToInt32(int64_t value) {
    return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}
