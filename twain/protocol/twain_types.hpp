#pragma once
// The TWAIN records that cross DS_Entry, written from the published TWAIN standard in the form its
// header takes for GNU compilers on Linux: records packed to 2-byte boundaries, 32-bit TW_UINT32,
// and TW_STRnn fields holding NUL-terminated C strings. The Linux Data Source Manager and every
// TWAIN host on Linux read these exact bytes, so sizes and offsets are pinned below.

#include <cstddef>
#include <cstdint>

namespace twain {

using TW_INT8 = char;
using TW_INT16 = std::int16_t;
using TW_INT32 = std::int32_t;
using TW_UINT8 = std::uint8_t;
using TW_UINT16 = std::uint16_t;
using TW_UINT32 = std::uint32_t;
using TW_BOOL = std::uint16_t;
using TW_HANDLE = void*;
using TW_MEMREF = void*;

// Room for 32, 64, 128 and 255 characters and the terminating NUL, rounded up to an even size.
using TW_STR32 = char[34];
using TW_STR64 = char[66];
using TW_STR128 = char[130];
using TW_STR255 = char[256];

#pragma pack(push, 2)

// DAT_IDENTITY's version part: which piece of code this is.
struct TW_VERSION {
    TW_UINT16 MajorNum;
    TW_UINT16 MinorNum;
    TW_UINT16 Language;  // TWLG_...
    TW_UINT16 Country;   // TWCY_...
    TW_STR32 Info;       // free text, such as "1.0.0d0"
};

// DAT_IDENTITY: identifies an application, a data source or the Source Manager.
struct TW_IDENTITY {
    TW_UINT32 Id;  // assigned by the Source Manager
    TW_VERSION Version;
    TW_UINT16 ProtocolMajor;
    TW_UINT16 ProtocolMinor;
    TW_UINT32 SupportedGroups;  // DG_... bits
    TW_STR32 Manufacturer;
    TW_STR32 ProductFamily;
    TW_STR32 ProductName;
};

// DAT_STATUS: the condition code behind the last TWRC_FAILURE.
struct TW_STATUS {
    TW_UINT16 ConditionCode;  // TWCC_...
    union {
        TW_UINT16 Data;
        TW_UINT16 Reserved;
    };
};

// DAT_USERINTERFACE: how the host wants the data source's user interface shown.
struct TW_USERINTERFACE {
    TW_BOOL ShowUI;
    TW_BOOL ModalUI;
    TW_HANDLE hParent;
};

#pragma pack(pop)

using pTW_IDENTITY = TW_IDENTITY*;
using pTW_STATUS = TW_STATUS*;
using pTW_USERINTERFACE = TW_USERINTERFACE*;

// The data source's one entry point, as the Source Manager finds it by the name "DS_Entry".
using DSENTRYPROC = TW_UINT16 (*)(pTW_IDENTITY pOrigin, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG,
                                  TW_MEMREF pData);

static_assert(sizeof(TW_STR32) == 34);
static_assert(sizeof(TW_VERSION) == 42);
static_assert(offsetof(TW_VERSION, MajorNum) == 0);
static_assert(offsetof(TW_VERSION, MinorNum) == 2);
static_assert(offsetof(TW_VERSION, Language) == 4);
static_assert(offsetof(TW_VERSION, Country) == 6);
static_assert(offsetof(TW_VERSION, Info) == 8);

static_assert(sizeof(TW_IDENTITY) == 156);
static_assert(offsetof(TW_IDENTITY, Id) == 0);
static_assert(offsetof(TW_IDENTITY, Version) == 4);
static_assert(offsetof(TW_IDENTITY, ProtocolMajor) == 46);
static_assert(offsetof(TW_IDENTITY, ProtocolMinor) == 48);
static_assert(offsetof(TW_IDENTITY, SupportedGroups) == 50);
static_assert(offsetof(TW_IDENTITY, Manufacturer) == 54);
static_assert(offsetof(TW_IDENTITY, ProductFamily) == 88);
static_assert(offsetof(TW_IDENTITY, ProductName) == 122);

static_assert(sizeof(TW_STATUS) == 4);
static_assert(offsetof(TW_STATUS, Data) == 2);

static_assert(sizeof(TW_USERINTERFACE) == 4 + sizeof(TW_HANDLE));
static_assert(offsetof(TW_USERINTERFACE, hParent) == 4);

}  // namespace twain
