#pragma once
// Keys the service hands out and checks again later, as JSON Web Tokens signed with HMAC-SHA256
// ("HS256"): the comment thread key and the access-right key. The claims are the service's own
// business; the signature proves that a token came from this run of the service unchanged.

#include <optional>
#include <string>
#include <string_view>

class TokenSigner {
public:
    // A signer with a fresh random secret: tokens of an earlier run are refused.
    TokenSigner();

    // "header.claims.signature", base64url each; `claimsJson` is a JSON object.
    std::string sign(std::string_view claimsJson) const;
    // The claims JSON of a token this signer made, nothing for any other text.
    std::optional<std::string> verify(std::string_view token) const;

private:
    std::string secret_;
};
