// Any bytes as an encoder command line split by the Windows rules; the arguments it gives,
// quoted and joined again, split back into the same arguments.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<std::string> arguments =
        splitCommandLine(std::string_view(reinterpret_cast<const char*>(data), size));
    std::string joined;
    for (const std::string& argument : arguments) {
        joined += (joined.empty() ? "" : " ") + quoteArgument(argument);
    }
    if (splitCommandLine(joined) != arguments) {
        __builtin_trap();
    }
    return 0;
}
