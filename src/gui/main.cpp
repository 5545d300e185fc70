// lumivox: the desktop program. The whole command tail is one video page URL.

#include <cstdio>
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
    // Without a folder of the user's own, no lock or socket is made where others could take it.
    const Result<QString> serverPath = SingleInstance::defaultServerPath();
    if (!serverPath) {
        std::fprintf(stderr, "lumivox: %s; running without the single-instance guard\n",
                     serverPath.error().c_str());
    }
    CLumivoxApp app(std::vector<std::string>(argv + 1, argv + argc),
                    serverPath ? *serverPath : QString());
    return app.InitInstance(argv[0]);
}
