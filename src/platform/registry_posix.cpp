#include "platform/file_registry.h"
#include "platform/registry.h"

std::unique_ptr<Registry> openUserRegistry(const std::filesystem::path& workFolder) {
    return std::make_unique<FileRegistry>(workFolder / "registry.ini");
}
