#include <unistd.h>

#include "platform/terminal.h"

bool isTerminal(std::FILE* stream) {
    return stream != nullptr && ::isatty(::fileno(stream)) == 1;
}
