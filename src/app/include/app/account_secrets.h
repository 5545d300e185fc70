#pragma once
// The account's secrets between lumivox.ini and a SecretStore (the desktop's keyring).
//
// Saving: the password and the session cookie go to the store, and lumivox.ini keeps them
// empty; when the store cannot take them they stay in lumivox.ini, which is then readable by
// its owner only. Loading: a secret written in lumivox.ini is used as it stands (a file of the
// old program, or one edited by hand, keeps working; the next save moves it to the store); an
// empty one is read from the store.
//
// The entries are named after the settings file, so that two work folders keep their own
// account. The secrets never appear in a warning or a log record.

#include <filesystem>
#include <string>

#include "app/secret_store.h"
#include "app/settings.h"

// The store's names of the two secrets of the settings file `iniPath`.
std::string passwordSecretKey(const std::filesystem::path& iniPath);
std::string sessionSecretKey(const std::filesystem::path& iniPath);

// Fills settings.password and settings.sessionCookie, where lumivox.ini left them empty, from
// `store` (none: nothing changes). A store that cannot be reached leaves them empty and, when
// `problem` is given, says why there (no keyring is an ordinary set-up, not worth a warning).
void readAccountSecrets(Settings& settings, const std::filesystem::path& iniPath,
                        SecretStore* store, std::string* problem = nullptr);

// `settings` as saveSettings should write them: each secret `store` took is emptied. A secret
// the store could not take stays, and `warning` (when given) says why.
Settings settingsWithSecretsStored(Settings settings, const std::filesystem::path& iniPath,
                                   SecretStore* store, std::string* warning = nullptr);
