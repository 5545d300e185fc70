#include "app/account_secrets.h"

#include <system_error>

namespace fs = std::filesystem;

namespace {

// The settings file's path as one name for it, whichever way it was reached.
std::string fileName(const fs::path& iniPath) {
    std::error_code error;
    const fs::path canonical = fs::weakly_canonical(fs::absolute(iniPath, error), error);
    return (error ? iniPath : canonical).string();
}

void addWarning(std::string* warning, const std::string& text) {
    if (warning != nullptr && warning->empty()) {
        *warning = text;
    }
}

}  // namespace

std::string passwordSecretKey(const fs::path& iniPath) {
    return fileName(iniPath) + " Password";
}

std::string sessionSecretKey(const fs::path& iniPath) {
    return fileName(iniPath) + " Session";
}

void readAccountSecrets(Settings& settings, const fs::path& iniPath, SecretStore* store,
                        std::string* problem) {
    if (store == nullptr) {
        return;
    }
    for (const auto& [value, key] :
         {std::pair{&settings.password, passwordSecretKey(iniPath)},
          std::pair{&settings.sessionCookie, sessionSecretKey(iniPath)}}) {
        if (!value->empty()) {
            continue;
        }
        Result<std::optional<std::string>> stored = store->read(key);
        if (!stored) {
            addWarning(problem, "the keyring cannot be read: " + stored.error());
            return;  // the other one would fail the same way
        }
        *value = stored->value_or("");
    }
}

Settings settingsWithSecretsStored(Settings settings, const fs::path& iniPath, SecretStore* store,
                                   std::string* warning) {
    if (store == nullptr) {
        return settings;
    }
    for (const auto& [value, key] :
         {std::pair{&settings.password, passwordSecretKey(iniPath)},
          std::pair{&settings.sessionCookie, sessionSecretKey(iniPath)}}) {
        if (Status stored = store->write(key, *value); !stored) {
            // Nothing to keep is nothing lost: no warning for an account without secrets.
            if (!value->empty()) {
                addWarning(warning, "the keyring cannot keep the account's secrets (" +
                                        stored.error() + "); lumivox.ini keeps them");
            }
            return settings;  // this one, and the next, stay in lumivox.ini
        }
        value->clear();
    }
    return settings;
}
