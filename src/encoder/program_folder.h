#pragma once
// Where this executable lives: frame-filter modules named without a folder are loaded from
// there, whatever the current folder is.

#include <string>

// The folder of the running executable, without a trailing separator; empty when unknown.
std::string executableFolder();
