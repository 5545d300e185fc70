#pragma once
// Decryption of HLS segments encrypted with METHOD=AES-128: each segment is AES-128-CBC with
// PKCS#7 padding, whole, under a 16-byte key and a 16-byte IV (RFC 8216, section 5.2).

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/result.h"

using AesKey = std::array<uint8_t, 16>;
using AesIv = std::array<uint8_t, 16>;

// The plain bytes of `cipherText`. Fails when its length is not a whole number of 16-byte
// blocks or the padding is wrong (a cut or damaged segment, or the wrong key): such a segment
// must never be written as if it were good.
Result<std::string> decryptAes128Cbc(std::string_view cipherText, const AesKey& key,
                                     const AesIv& iv);

// The same in place: `data` becomes the plain bytes (it is shorter by the padding). After a
// failure its contents are unspecified. Spares a copy of every segment of a download.
Status decryptAes128CbcInPlace(std::string& data, const AesKey& key, const AesIv& iv);

// The key of a key answer: exactly 16 bytes, not all zero (a refused key sometimes comes as an
// empty or zero-filled body with a success status).
Result<AesKey> aesKeyOf(std::string_view body);
