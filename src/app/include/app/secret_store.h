#pragma once
// A place for the account's secrets (the password, today's session cookie) other than
// lumivox.ini: the desktop's keyring where one runs. The settings use it through
// account_secrets.h and keep the secrets in lumivox.ini (readable by its owner only) whenever
// it cannot be reached.

#include <optional>
#include <string>

#include "platform/result.h"

class SecretStore {
public:
    virtual ~SecretStore() = default;

    // The secret stored under `key`; nullopt when there is none. Fails when the store cannot
    // be reached (no keyring runs, access refused).
    virtual Result<std::optional<std::string>> read(const std::string& key) = 0;
    // Stores `value` under `key`, replacing what was there; an empty `value` removes the entry.
    virtual Status write(const std::string& key, const std::string& value) = 0;
};
