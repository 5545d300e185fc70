#pragma once
// Whether an output stream is shown on a terminal, where a progress line may be redrawn in place.

#include <cstdio>

bool isTerminal(std::FILE* stream);
