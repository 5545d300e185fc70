#pragma once
// The login of today's service: the browser's `user_session` cookie, which a user copies from
// the browser (developer tools) or Lumivox reads from a browser profile. Its value is a secret:
// never print or log it.

#include <optional>
#include <string>
#include <string_view>

inline constexpr const char* kSessionCookieName = "user_session";

// The bare cookie value of what a user gave: the value itself ("user_session_123_abc..."),
// "user_session=VALUE", or a whole "Cookie:" header line holding it (other pairs ignored).
// Surrounding blanks and line ends are dropped. Nothing when no value is left or it holds a
// character a cookie value cannot carry (blank, ";", ",", a quote, a backslash, a control
// character or a byte above 0x7E).
std::optional<std::string> sessionCookieValue(std::string_view given);

// The account ID inside a value of the usual form "user_session_<id>_<hex>"; empty otherwise.
std::string userIdOfSessionCookie(std::string_view value);
