#pragma once
// Small pieces both protocols' hosts use to read requests and write answers.

#include <httplib.h>

#include <ctime>
#include <string>

// The value of cookie `name` in the request's Cookie headers; empty when it was not sent.
std::string cookieValue(const httplib::Request& request, const std::string& name);

// `digits` random lowercase hexadecimal digits (not for secrets: see randomBytes).
std::string randomHex(size_t digits);

// A minimal HTML page.
std::string page(const std::string& title, const std::string& body);

// `seconds` (Unix time) as ISO 8601 in Japan's time, as the service writes its times:
// "2026-11-09T12:34:56+09:00".
std::string japanTime(std::time_t seconds);
