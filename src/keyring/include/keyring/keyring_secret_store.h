#pragma once
// The account's secrets in the desktop's keyring: the Secret Service (GNOME Keyring, KWallet)
// through QtKeychain, under the service name "Lumivox". Each call waits for its answer in a
// local event loop, at most kPatienceMs.
//
// The store is unavailable (every call fails, quickly) when no QCoreApplication exists, when
// called off the application's thread, or once a call found no keyring to talk to (no session
// bus, no Secret Service): the settings then keep the secrets in lumivox.ini.

#include <optional>
#include <string>

#include "app/secret_store.h"

class KeyringSecretStore final : public SecretStore {
public:
    static constexpr int kPatienceMs = 15000;

    Result<std::optional<std::string>> read(const std::string& key) override;
    Status write(const std::string& key, const std::string& value) override;

private:
    Status usable() const;

    std::optional<std::string> unreachable_;  // why the keyring cannot be reached, once known
};
