#pragma once
// Whole files in and out of memory: the one way the subsystems read a file they take in at once.

#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/result.h"

// The bytes of `path`, untouched. Fails with the system's reason ("missing", a denied read, a
// folder) naming the file. `maxBytes` bounds what is accepted: a larger file fails with
// "larger than N bytes" rather than filling memory.
Result<std::string> readWholeFile(const std::filesystem::path& path,
                                  uint64_t maxBytes = UINT64_MAX);
