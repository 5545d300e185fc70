#pragma once
// Lenient access to the fields of a JSON comment entry: a field that is absent or of another
// type reads as "not given", never as a failure, as the readers of the XML thread treat a
// missing attribute. Numbers may also come as decimal strings (some writers quote them).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <simdjson.h>

// An integer field (a fraction is cut toward zero); nothing when absent or not a number.
std::optional<int64_t> jsonInteger(simdjson::dom::object entry, std::string_view key);

// A string field; "" when absent or not a string.
std::string_view jsonString(simdjson::dom::object entry, std::string_view key);

// A boolean field; also a number (non-zero is true). False when absent.
bool jsonFlag(simdjson::dom::object entry, std::string_view key);

// The words of a command field: an array of strings joined by blanks, or a string as it stands.
std::string jsonWords(simdjson::dom::object entry, std::string_view key);

// The value clamped into the 32-bit range.
int32_t clampToInt32(int64_t value);
