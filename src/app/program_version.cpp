#include "app/program_version.h"

const char* programVersion() {
    return LUMIVOX_VERSION;
}
