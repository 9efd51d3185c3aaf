#pragma once
// The TWAIN records a scanning data source and its host exchange beyond identity, status and user
// interface (twain/protocol/twain_types.hpp has those): capability containers, image information
// and layout, the three transfer mechanisms, events, the Source Manager's entry points and its
// memory functions. Written from the published TWAIN 2.x standard in the form its header takes
// for GNU compilers on Linux: packed to 2-byte boundaries, 32-bit TW_UINT32, pointer-sized
// TW_HANDLE and TW_MEMREF. Both sides of DS_Entry read these exact bytes, so every size and
// offset is pinned below.

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "twain/protocol/twain_types.hpp"

namespace twain {

#pragma pack(push, 2)

// A signed fixed-point number: Whole + Frac / 65536.
struct TW_FIX32 {
    TW_INT16 Whole;
    TW_UINT16 Frac;
};

// A rectangle in ICAP_UNITS: left, top, right and bottom edges.
struct TW_FRAME {
    TW_FIX32 Left;
    TW_FIX32 Top;
    TW_FIX32 Right;
    TW_FIX32 Bottom;
};

// DAT_CAPABILITY: which capability, in which container (TWON_...), and the container's handle.
struct TW_CAPABILITY {
    TW_UINT16 Cap;
    TW_UINT16 ConType;
    TW_HANDLE hContainer;
};

// TWON_ONEVALUE: one value of ItemType; every type up to 32 bits sits in Item (a TW_FIX32 too).
// Strings and frames do not fit: their one-value container holds the whole item at Item's place.
struct TW_ONEVALUE {
    TW_UINT16 ItemType;
    TW_UINT32 Item;
};

// TWON_ENUMERATION: NumItems items of ItemType from ItemList on, with the current and default
// positions in the list.
struct TW_ENUMERATION {
    TW_UINT16 ItemType;
    TW_UINT32 NumItems;
    TW_UINT32 CurrentIndex;
    TW_UINT32 DefaultIndex;
    TW_UINT8 ItemList[1];  // NumItems items follow from here
};

// TWON_ARRAY: NumItems items of ItemType from ItemList on.
struct TW_ARRAY {
    TW_UINT16 ItemType;
    TW_UINT32 NumItems;
    TW_UINT8 ItemList[1];  // NumItems items follow from here
};

// TWON_RANGE: values of ItemType from MinValue to MaxValue in steps of StepSize. Each field holds
// the value's bits: a TW_FIX32 as its four bytes, an integer as itself.
struct TW_RANGE {
    TW_UINT16 ItemType;
    TW_UINT32 MinValue;
    TW_UINT32 MaxValue;
    TW_UINT32 StepSize;
    TW_UINT32 DefaultValue;
    TW_UINT32 CurrentValue;
};

// DAT_IMAGEINFO: the image about to be transferred (ImageLength -1 when the height is not known
// until the end).
struct TW_IMAGEINFO {
    TW_FIX32 XResolution;
    TW_FIX32 YResolution;
    TW_INT32 ImageWidth;
    TW_INT32 ImageLength;
    TW_INT16 SamplesPerPixel;
    TW_INT16 BitsPerSample[8];
    TW_INT16 BitsPerPixel;
    TW_BOOL Planar;
    TW_INT16 PixelType;     // TWPT_...
    TW_UINT16 Compression;  // TWCP_...
};

// DAT_IMAGELAYOUT: where on the page the image lies, and which document, page and frame it is.
struct TW_IMAGELAYOUT {
    TW_FRAME Frame;
    TW_UINT32 DocumentNumber;
    TW_UINT32 PageNumber;
    TW_UINT32 FrameNumber;
};

// DAT_PENDINGXFERS: how many transfers remain (-1 as 0xFFFF: unknown, the feeder decides).
struct TW_PENDINGXFERS {
    TW_UINT16 Count;
    union {
        TW_UINT32 EOJ;
        TW_UINT32 Reserved;
    };
};

// DAT_SETUPMEMXFER: the buffer sizes the source accepts for memory transfers.
struct TW_SETUPMEMXFER {
    TW_UINT32 MinBufSize;
    TW_UINT32 MaxBufSize;
    TW_UINT32 Preferred;
};

// A buffer: who owns it and whether TheMem is a pointer or a handle (TWMF_...).
struct TW_MEMORY {
    TW_UINT32 Flags;
    TW_UINT32 Length;
    TW_MEMREF TheMem;
};

// DAT_IMAGEMEMXFER: one strip of a memory transfer, in the buffer the host hands over.
struct TW_IMAGEMEMXFER {
    TW_UINT16 Compression;
    TW_UINT32 BytesPerRow;
    TW_UINT32 Columns;
    TW_UINT32 Rows;
    TW_UINT32 XOffset;
    TW_UINT32 YOffset;
    TW_UINT32 BytesWritten;
    TW_MEMORY Memory;
};

// DAT_SETUPFILEXFER: the file a file transfer writes, and its format (TWFF_...).
struct TW_SETUPFILEXFER {
    TW_STR255 FileName;
    TW_UINT16 Format;
    TW_INT16 VRefNum;  // unused on Linux
};

// DAT_EVENT: an event of the host's loop handed to the source; the source answers with a message
// for the host (MSG_XFERREADY, MSG_CLOSEDSREQ, ...) or MSG_NULL.
struct TW_EVENT {
    TW_MEMREF pEvent;
    TW_UINT16 TWMessage;
};

// DAT_CALLBACK: the host's function that the Source Manager calls with a source's messages.
struct TW_CALLBACK {
    TW_MEMREF CallBackProc;
    TW_UINT32 RefCon;
    TW_INT16 Message;
};

// DAT_CALLBACK2: the same with a pointer-sized RefCon.
struct TW_CALLBACK2 {
    TW_MEMREF CallBackProc;
    std::uintptr_t RefCon;
    TW_INT16 Message;
};

#pragma pack(pop)

// The Source Manager's entry point, and its memory functions: a source allocates what the host
// frees (native transfer handles, capability containers) with these.
using DSMENTRYPROC = TW_UINT16 (*)(pTW_IDENTITY pOrigin, pTW_IDENTITY pDest, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG,
                                   TW_MEMREF pData);
using TWAINCALLBACKPROC = DSMENTRYPROC;
using DSM_MEMALLOCATE = TW_HANDLE (*)(TW_UINT32 size);
using DSM_MEMFREE = void (*)(TW_HANDLE handle);
using DSM_MEMLOCK = TW_MEMREF (*)(TW_HANDLE handle);
using DSM_MEMUNLOCK = void (*)(TW_HANDLE handle);

#pragma pack(push, 2)

// DAT_ENTRYPOINT: what the Source Manager hands a source (MSG_SET) or a host (MSG_GET).
struct TW_ENTRYPOINT {
    TW_UINT32 Size;  // sizeof(TW_ENTRYPOINT)
    DSMENTRYPROC DSM_Entry;
    DSM_MEMALLOCATE DSM_MemAllocate;
    DSM_MEMFREE DSM_MemFree;
    DSM_MEMLOCK DSM_MemLock;
    DSM_MEMUNLOCK DSM_MemUnlock;
};

#pragma pack(pop)

using pTW_FIX32 = TW_FIX32*;
using pTW_FRAME = TW_FRAME*;
using pTW_CAPABILITY = TW_CAPABILITY*;
using pTW_ONEVALUE = TW_ONEVALUE*;
using pTW_ENUMERATION = TW_ENUMERATION*;
using pTW_ARRAY = TW_ARRAY*;
using pTW_RANGE = TW_RANGE*;
using pTW_IMAGEINFO = TW_IMAGEINFO*;
using pTW_IMAGELAYOUT = TW_IMAGELAYOUT*;
using pTW_PENDINGXFERS = TW_PENDINGXFERS*;
using pTW_SETUPMEMXFER = TW_SETUPMEMXFER*;
using pTW_MEMORY = TW_MEMORY*;
using pTW_IMAGEMEMXFER = TW_IMAGEMEMXFER*;
using pTW_SETUPFILEXFER = TW_SETUPFILEXFER*;
using pTW_EVENT = TW_EVENT*;
using pTW_CALLBACK = TW_CALLBACK*;
using pTW_CALLBACK2 = TW_CALLBACK2*;
using pTW_ENTRYPOINT = TW_ENTRYPOINT*;

// TW_FIX32 from a real, rounded to the nearest 1/65536 (halves away from zero), as the standard's
// conversion does; and back.
inline TW_FIX32 to_fix32(double value) noexcept {
    const auto bits = static_cast<std::int32_t>(std::lround(value * 65536.0));
    return {static_cast<TW_INT16>(bits >> 16), static_cast<TW_UINT16>(bits & 0xffff)};
}
constexpr double from_fix32(TW_FIX32 value) noexcept {
    return static_cast<double>(value.Whole) + static_cast<double>(value.Frac) / 65536.0;
}

static_assert(sizeof(TW_FIX32) == 4);
static_assert(offsetof(TW_FIX32, Frac) == 2);
static_assert(sizeof(TW_FRAME) == 16);
static_assert(offsetof(TW_FRAME, Top) == 4);
static_assert(offsetof(TW_FRAME, Right) == 8);
static_assert(offsetof(TW_FRAME, Bottom) == 12);

static_assert(sizeof(TW_CAPABILITY) == 4 + sizeof(TW_HANDLE));
static_assert(offsetof(TW_CAPABILITY, ConType) == 2);
static_assert(offsetof(TW_CAPABILITY, hContainer) == 4);

static_assert(sizeof(TW_ONEVALUE) == 6);
static_assert(offsetof(TW_ONEVALUE, Item) == 2);
static_assert(offsetof(TW_ENUMERATION, NumItems) == 2);
static_assert(offsetof(TW_ENUMERATION, CurrentIndex) == 6);
static_assert(offsetof(TW_ENUMERATION, DefaultIndex) == 10);
static_assert(offsetof(TW_ENUMERATION, ItemList) == 14);
static_assert(offsetof(TW_ARRAY, NumItems) == 2);
static_assert(offsetof(TW_ARRAY, ItemList) == 6);
static_assert(sizeof(TW_RANGE) == 22);
static_assert(offsetof(TW_RANGE, MinValue) == 2);
static_assert(offsetof(TW_RANGE, MaxValue) == 6);
static_assert(offsetof(TW_RANGE, StepSize) == 10);
static_assert(offsetof(TW_RANGE, DefaultValue) == 14);
static_assert(offsetof(TW_RANGE, CurrentValue) == 18);

static_assert(sizeof(TW_IMAGEINFO) == 42);
static_assert(offsetof(TW_IMAGEINFO, YResolution) == 4);
static_assert(offsetof(TW_IMAGEINFO, ImageWidth) == 8);
static_assert(offsetof(TW_IMAGEINFO, ImageLength) == 12);
static_assert(offsetof(TW_IMAGEINFO, SamplesPerPixel) == 16);
static_assert(offsetof(TW_IMAGEINFO, BitsPerSample) == 18);
static_assert(offsetof(TW_IMAGEINFO, BitsPerPixel) == 34);
static_assert(offsetof(TW_IMAGEINFO, Planar) == 36);
static_assert(offsetof(TW_IMAGEINFO, PixelType) == 38);
static_assert(offsetof(TW_IMAGEINFO, Compression) == 40);

static_assert(sizeof(TW_IMAGELAYOUT) == 28);
static_assert(offsetof(TW_IMAGELAYOUT, DocumentNumber) == 16);
static_assert(offsetof(TW_IMAGELAYOUT, PageNumber) == 20);
static_assert(offsetof(TW_IMAGELAYOUT, FrameNumber) == 24);

static_assert(sizeof(TW_PENDINGXFERS) == 6);
static_assert(offsetof(TW_PENDINGXFERS, EOJ) == 2);
static_assert(sizeof(TW_SETUPMEMXFER) == 12);
static_assert(offsetof(TW_SETUPMEMXFER, MaxBufSize) == 4);
static_assert(offsetof(TW_SETUPMEMXFER, Preferred) == 8);

static_assert(sizeof(TW_MEMORY) == 8 + sizeof(TW_MEMREF));
static_assert(offsetof(TW_MEMORY, Length) == 4);
static_assert(offsetof(TW_MEMORY, TheMem) == 8);
static_assert(sizeof(TW_IMAGEMEMXFER) == 26 + sizeof(TW_MEMORY));
static_assert(offsetof(TW_IMAGEMEMXFER, BytesPerRow) == 2);
static_assert(offsetof(TW_IMAGEMEMXFER, Columns) == 6);
static_assert(offsetof(TW_IMAGEMEMXFER, Rows) == 10);
static_assert(offsetof(TW_IMAGEMEMXFER, XOffset) == 14);
static_assert(offsetof(TW_IMAGEMEMXFER, YOffset) == 18);
static_assert(offsetof(TW_IMAGEMEMXFER, BytesWritten) == 22);
static_assert(offsetof(TW_IMAGEMEMXFER, Memory) == 26);

static_assert(sizeof(TW_SETUPFILEXFER) == 260);
static_assert(offsetof(TW_SETUPFILEXFER, Format) == 256);
static_assert(offsetof(TW_SETUPFILEXFER, VRefNum) == 258);

static_assert(sizeof(TW_EVENT) == sizeof(TW_MEMREF) + 2);
static_assert(offsetof(TW_EVENT, TWMessage) == sizeof(TW_MEMREF));
static_assert(sizeof(TW_CALLBACK) == sizeof(TW_MEMREF) + 6);
static_assert(offsetof(TW_CALLBACK, RefCon) == sizeof(TW_MEMREF));
static_assert(offsetof(TW_CALLBACK, Message) == sizeof(TW_MEMREF) + 4);
static_assert(sizeof(TW_CALLBACK2) == 2 * sizeof(TW_MEMREF) + 2);
static_assert(offsetof(TW_CALLBACK2, Message) == 2 * sizeof(TW_MEMREF));

static_assert(sizeof(TW_ENTRYPOINT) == 4 + 5 * sizeof(void*));
static_assert(offsetof(TW_ENTRYPOINT, DSM_Entry) == 4);
static_assert(offsetof(TW_ENTRYPOINT, DSM_MemAllocate) == 4 + sizeof(void*));
static_assert(offsetof(TW_ENTRYPOINT, DSM_MemUnlock) == 4 + 4 * sizeof(void*));

}  // namespace twain
