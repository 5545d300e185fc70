#include "app/system_version.h"

#include <array>

namespace {

struct NtVersion {
    uint32_t major;
    uint32_t minor;
    int code;
};

// NT 3.51, NT 4.0, 2000, XP, then XP x64 / Server 2003, Vista, 7, 8, 8.1 and 10 / 11.
constexpr std::array<NtVersion, 10> kNtVersions{{
    {3, 51, 101},
    {4, 0, 102},
    {5, 0, 103},
    {5, 1, 104},
    {5, 2, 105},
    {6, 0, 106},
    {6, 1, 107},
    {6, 2, 108},
    {6, 3, 109},
    {10, 0, 110},
}};

int classifyWindows9x(const SystemVersionRecord& record) {
    const uint32_t build = record.build & 0xFFFF;
    if (record.major != 4) {
        return kSystemUnknown;
    }
    if (record.minor < 10) {
        if (build == 950) {
            return 1;
        }
        if (build >= 951 && build <= 1080) {
            return 2;
        }
        return build > 1080 ? 3 : kSystemUnknown;
    }
    if (record.minor == 10) {
        if (build == 1998) {
            return 4;
        }
        if (build >= 1999 && build <= 2182) {
            return 5;
        }
        return build >= 2183 ? 6 : kSystemUnknown;
    }
    return record.minor == 90 ? 7 : kSystemUnknown;
}

int classifyWindowsNt(const SystemVersionRecord& record) {
    for (const NtVersion& version : kNtVersions) {
        if (version.major == record.major && version.minor == record.minor) {
            return version.code;
        }
    }
    return kSystemNtOther;
}

}  // namespace

int classifySystemVersion(const std::optional<SystemVersionRecord>& record) {
    if (!record) {
        return kSystemUnknown;
    }
    switch (record->platform) {
        case SystemPlatform::Windows9x:
            return classifyWindows9x(*record);
        case SystemPlatform::WindowsNT:
            return classifyWindowsNt(*record);
        case SystemPlatform::WindowsCE:
            return kSystemCe;
        case SystemPlatform::Win32s:
        case SystemPlatform::Other:
            return kSystemUnknown;
    }
    return kSystemUnknown;
}

bool isNtFamily(int code) {
    return code >= kSystemNtFirst && code <= kSystemNtLast;
}
