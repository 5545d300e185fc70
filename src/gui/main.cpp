// lumivox: the desktop program. The whole command tail is one video page URL.

#include <string>
#include <vector>

#include "gui/lumivox_app.h"
#include "gui/single_instance.h"
#include "platform/log.h"

int main(int argc, char** argv) {
    // The log file keeps the stages too; the encoder, a child, logs down to the same level. Set
    // before any thread starts.
    setLogThreshold(LogLevel::Info);
    handLogThresholdToChildren();
    CLumivoxApp app(std::vector<std::string>(argv + 1, argv + argc),
                    SingleInstance::defaultServerPath());
    return app.InitInstance(argv[0]);
}
