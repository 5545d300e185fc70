#include "demo_crypto.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

#include <cstdlib>
#include <memory>

namespace {

struct CipherContextFree {
    void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};
using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, CipherContextFree>;

const unsigned char* bytesOf(std::string_view text) {
    return reinterpret_cast<const unsigned char*>(text.data());
}

}  // namespace

std::string randomBytes(size_t count) {
    std::string bytes(count, '\0');
    if (RAND_bytes(reinterpret_cast<unsigned char*>(bytes.data()), static_cast<int>(count)) != 1) {
        // Without the system's generator there is nothing safe to fall back to.
        std::abort();
    }
    return bytes;
}

std::string hmacSha256(std::string_view key, std::string_view data) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()), bytesOf(data), data.size(), digest,
         &length);
    return std::string(reinterpret_cast<const char*>(digest), length);
}

std::string sha256(std::string_view data) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(data.data(), data.size(), digest, &length, EVP_sha256(), nullptr);
    return std::string(reinterpret_cast<const char*>(digest), length);
}

std::string hexText(std::string_view bytes) {
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const char byte : bytes) {
        const auto value = static_cast<unsigned char>(byte);
        text += kHex[value >> 4];
        text += kHex[value & 15];
    }
    return text;
}

std::string base64Url(std::string_view bytes) {
    std::string text(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()),
                                       bytesOf(bytes), static_cast<int>(bytes.size()));
    text.resize(static_cast<size_t>(length));
    while (!text.empty() && text.back() == '=')
        text.pop_back();
    for (char& c : text) {
        c = c == '+' ? '-' : c == '/' ? '_' : c;
    }
    return text;
}

std::optional<std::string> fromBase64Url(std::string_view text) {
    std::string standard(text);
    for (char& c : standard) {
        if (c == '-' || c == '_') {
            c = c == '-' ? '+' : '/';
        } else if (c == '+' || c == '/' || c == '=') {
            return std::nullopt;  // only the URL alphabet, without padding
        }
    }
    const size_t padding = (4 - standard.size() % 4) % 4;
    if (padding == 3)
        return std::nullopt;
    standard.append(padding, '=');
    std::string bytes(standard.size() / 4 * 3, '\0');
    const int length = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(bytes.data()),
                                       bytesOf(standard), static_cast<int>(standard.size()));
    if (length < 0)
        return std::nullopt;
    bytes.resize(static_cast<size_t>(length) - padding);
    return bytes;
}

Result<std::string> encryptAes128Cbc(std::string_view plain, std::string_view key,
                                     std::string_view iv) {
    if (key.size() != 16 || iv.size() != 16)
        return Failure{"an AES-128 key and IV are 16 bytes each"};
    CipherContext context(EVP_CIPHER_CTX_new());
    if (!context || EVP_EncryptInit_ex(context.get(), EVP_aes_128_cbc(), nullptr, bytesOf(key),
                                       bytesOf(iv)) != 1) {
        return Failure{"cannot set up AES-128-CBC"};
    }
    std::string cipher(plain.size() + 16, '\0');
    auto* out = reinterpret_cast<unsigned char*>(cipher.data());
    int written = 0;
    int last = 0;
    if (EVP_EncryptUpdate(context.get(), out, &written, bytesOf(plain),
                          static_cast<int>(plain.size())) != 1 ||
        EVP_EncryptFinal_ex(context.get(), out + written, &last) != 1) {
        return Failure{"AES-128-CBC encryption failed"};
    }
    cipher.resize(static_cast<size_t>(written + last));
    return cipher;
}

bool sameSecret(std::string_view a, std::string_view b) {
    return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}
