// lumivox: the desktop program. The whole command tail is one video page URL.

#include <string>
#include <vector>

#include "gui/lumivox_app.h"
#include "gui/single_instance.h"

int main(int argc, char** argv) {
    CLumivoxApp app(std::vector<std::string>(argv + 1, argv + argc),
                    SingleInstance::defaultServerPath());
    return app.InitInstance(argv[0]);
}
