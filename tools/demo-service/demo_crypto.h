#pragma once
// The OpenSSL pieces today's protocol needs: random secrets, HMAC-SHA256 signatures, SHA-256
// digests, base64url (the thread and access keys are JWTs) and the AES-128-CBC encryption of
// the HLS segments.

#include <optional>
#include <string>
#include <string_view>

#include "platform/result.h"

// `count` bytes from OpenSSL's generator.
std::string randomBytes(size_t count);

std::string hmacSha256(std::string_view key, std::string_view data);
std::string sha256(std::string_view data);

// Lowercase hexadecimal, two digits a byte.
std::string hexText(std::string_view bytes);

// Base64url without padding (RFC 4648 section 5), and back; nothing for a malformed text.
std::string base64Url(std::string_view bytes);
std::optional<std::string> fromBase64Url(std::string_view text);

// `plain` encrypted with AES-128-CBC and PKCS#7 padding, as an HLS "METHOD=AES-128" segment is:
// `key` and `iv` are 16 bytes each.
Result<std::string> encryptAes128Cbc(std::string_view plain, std::string_view key,
                                     std::string_view iv);

// True when `a` and `b` are equal, in a time that does not depend on where they differ.
bool sameSecret(std::string_view a, std::string_view b);
