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

Status decryptAes128CbcInPlace(std::string& data, const AesKey& key, const AesIv& iv) {
    if (data.empty() || data.size() % kBlockBytes != 0) {
        return Failure{"the encrypted segment is " + std::to_string(data.size()) +
                       " bytes long, not a whole number of 16-byte blocks"};
    }
    const CipherContext context(EVP_CIPHER_CTX_new());
    if (!context ||
        EVP_DecryptInit_ex(context.get(), EVP_aes_128_cbc(), nullptr, key.data(), iv.data()) != 1) {
        return Failure{"the AES-128 decryption could not be set up"};
    }
    // One update over the whole buffer: EVP allows its input and output to be the same bytes,
    // and keeps the last block back for the padding check of the final step.
    auto* bytes = reinterpret_cast<unsigned char*>(data.data());
    int written = 0;
    if (EVP_DecryptUpdate(context.get(), bytes, &written, bytes, static_cast<int>(data.size())) !=
        1) {
        return Failure{"the segment could not be decrypted"};
    }
    int last = 0;
    if (EVP_DecryptFinal_ex(context.get(), bytes + written, &last) != 1) {
        return Failure{"the decrypted segment has no valid padding (damaged, or the wrong key)"};
    }
    data.resize(static_cast<size_t>(written + last));
    return {};
}

Result<std::string> decryptAes128Cbc(std::string_view cipherText, const AesKey& key,
                                     const AesIv& iv) {
    std::string data(cipherText);
    if (Status decrypted = decryptAes128CbcInPlace(data, key, iv); !decrypted) {
        return Failure{decrypted.error()};
    }
    return data;
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
