#include "service/segment_cipher.h"

#include <openssl/evp.h>

#include <algorithm>
#include <memory>

namespace {

struct CipherContextFree {
    void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};
using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, CipherContextFree>;

constexpr size_t kBlockBytes = 16;

}  // namespace

Result<std::string> decryptAes128Cbc(std::string_view cipherText, const AesKey& key,
                                     const AesIv& iv) {
    if (cipherText.empty() || cipherText.size() % kBlockBytes != 0) {
        return Failure{"the encrypted segment is " + std::to_string(cipherText.size()) +
                       " bytes long, not a whole number of 16-byte blocks"};
    }
    const CipherContext context(EVP_CIPHER_CTX_new());
    if (!context ||
        EVP_DecryptInit_ex(context.get(), EVP_aes_128_cbc(), nullptr, key.data(), iv.data()) != 1) {
        return Failure{"the AES-128 decryption could not be set up"};
    }
    std::string plain(cipherText.size(), '\0');
    int written = 0;
    if (EVP_DecryptUpdate(context.get(), reinterpret_cast<unsigned char*>(plain.data()), &written,
                          reinterpret_cast<const unsigned char*>(cipherText.data()),
                          static_cast<int>(cipherText.size())) != 1) {
        return Failure{"the segment could not be decrypted"};
    }
    int last = 0;
    if (EVP_DecryptFinal_ex(context.get(), reinterpret_cast<unsigned char*>(plain.data()) + written,
                            &last) != 1) {
        return Failure{"the decrypted segment has no valid padding (damaged, or the wrong key)"};
    }
    plain.resize(static_cast<size_t>(written + last));
    return plain;
}

Result<AesKey> aesKeyOf(std::string_view body) {
    if (body.size() != 16) {
        return Failure{"the key is " + std::to_string(body.size()) + " bytes long, not 16"};
    }
    AesKey key{};
    std::copy(body.begin(), body.end(), key.begin());
    if (std::all_of(key.begin(), key.end(), [](uint8_t b) { return b == 0; })) {
        return Failure{"the key is all zero"};
    }
    return key;
}
