#include "signed_token.h"

#include "demo_crypto.h"

namespace {

const std::string& headerPart() {
    static const std::string header = base64Url(R"({"alg":"HS256","typ":"JWT"})");
    return header;
}

}  // namespace

TokenSigner::TokenSigner() : secret_(randomBytes(32)) {}

std::string TokenSigner::sign(std::string_view claimsJson) const {
    const std::string signedPart = headerPart() + "." + base64Url(claimsJson);
    return signedPart + "." + base64Url(hmacSha256(secret_, signedPart));
}

std::optional<std::string> TokenSigner::verify(std::string_view token) const {
    const size_t lastDot = token.rfind('.');
    if (lastDot == std::string_view::npos)
        return std::nullopt;
    const std::string_view signedPart = token.substr(0, lastDot);
    const std::optional<std::string> signature = fromBase64Url(token.substr(lastDot + 1));
    if (!signature || !sameSecret(*signature, hmacSha256(secret_, signedPart)) ||
        signedPart.substr(0, signedPart.find('.')) != headerPart()) {
        return std::nullopt;
    }
    return fromBase64Url(signedPart.substr(signedPart.find('.') + 1));
}
