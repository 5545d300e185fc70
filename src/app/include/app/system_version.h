#pragma once
// The classification of the running Windows system by its version record. Its only use is the
// choice of the registry key that holds the system's font table: the NT family keeps it under
// "Software\Microsoft\Windows NT\CurrentVersion\Fonts", every other system under
// "Software\Microsoft\Windows\CurrentVersion\Fonts". Systems without that table (Linux) find
// font files through fontconfig instead and never ask.

#include <cstdint>
#include <optional>

enum class SystemPlatform {
    Win32s,     // Windows 3.1 with the 32-bit extension
    Windows9x,  // Windows 95, 98, Me
    WindowsNT,  // Windows NT 3.51 and every later NT system
    WindowsCE,
    Other,  // any other system
};

// What the system reports about itself, as the Windows version record holds it.
struct SystemVersionRecord {
    SystemPlatform platform = SystemPlatform::Other;
    uint32_t major = 0;
    uint32_t minor = 0;
    uint32_t build = 0;  // as reported; only the low 16 bits count
};

// System version codes. 1..7: the Windows 95 family (95, 95 OSR2, 95 OSR2.5, 98, 98 SE builds,
// 98 later builds, Me); 101..199: the NT family; 201: CE; 0: anything else.
inline constexpr int kSystemUnknown = 0;
inline constexpr int kSystemNtFirst = 101;
inline constexpr int kSystemNtLast = 199;
// An NT version newer or older than those the table names: still the NT family.
inline constexpr int kSystemNtOther = 199;
inline constexpr int kSystemCe = 201;

// The code of `record`; kSystemUnknown when there is no record.
//  - Windows 9x 4.0..4.9: build 950 gives 1, 951..1080 gives 2, above 1080 gives 3;
//    4.10: build 1998 gives 4, 1999..2182 gives 5, 2183 and above 6; 4.90 gives 7; any other
//    9x version or build gives 0.
//  - NT 3.51, 4.0, 5.0, 5.1 give 101..104; 5.2, 6.0, 6.1, 6.2, 6.3 and 10.0 continue with
//    105..110; any other NT version gives 199, so that every NT system uses the NT key.
//  - CE gives 201; Win32s and other systems give 0.
int classifySystemVersion(const std::optional<SystemVersionRecord>& record);

// True when `code` names a system of the NT family (its font table is under the NT key).
bool isNtFamily(int code);
