#ifndef VELMORA_MONITOR_SCANNERLIB_SCANNER_LIBRARY_ENTRY_POINTS_H
#define VELMORA_MONITOR_SCANNERLIB_SCANNER_LIBRARY_ENTRY_POINTS_H
/*
 * The entry points of the scanner library, as button-monitor looks them up.
 *
 * The scanner library is the bundle "7720ScannerLib.bundle" in the shared support folder of the
 * scanner bundle:
 *   /Library/Application Support/Velmora/7720 Series Scanner.bundle/Contents/SharedSupport/
 *       7720ScannerLib.bundle/Contents/Info.plist       (CFBundleExecutable names the code)
 *       7720ScannerLib.bundle/Contents/MacOS/<CFBundleExecutable>   (an ELF shared object)
 * The monitor loads the code with dlopen (RTLD_NOW | RTLD_LOCAL) and looks up the functions
 * below by these exact names with dlsym. It links against nothing of the library. Any of them
 * may be missing: the monitor then skips that call and carries on without an error.
 *
 * One open-to-close sequence at a time. Each use of the library is a sequence of its own:
 * load, EnableScannerEx, then ScanVersion and DeviceParameterSet (a destination list upload)
 * or EndNetworkScan (the end of a network scan), then DisableScanner, unload. The monitor uses
 * the library from two threads (USB events and network events), but never runs two sequences
 * at once in one process, so the library needs no lock of its own for them. It may be loaded
 * and unloaded many times in the life of one process.
 *
 * All arguments and results are 32-bit values or pointers.
 */

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* What EnableScannerEx hands out; the monitor keeps it as an opaque value. 0 is no handle. */
typedef uint32_t ScannerDeviceHandle;

/* Exported with default visibility, so that a library built with -fvisibility=hidden that
 * includes this header exports its definitions. */
#define SCANNER_LIBRARY_ENTRY_POINT __attribute__((visibility("default")))

/* "EnableScannerEx": enables the device with these USB identifiers (the monitor passes vendor
 * 7731, product 183) and returns its handle, or 0 when there is none. Every later call of the
 * sequence gets this handle (0 when the library lacks EnableScannerEx). */
SCANNER_LIBRARY_ENTRY_POINT ScannerDeviceHandle EnableScannerEx(int32_t vendor, int32_t product);

/* "DisableScanner": disables the device at the end of the sequence. Its result is not used;
 * the monitor forgets the handle afterwards. Not called when the handle is 0. */
SCANNER_LIBRARY_ENTRY_POINT int32_t DisableScanner(ScannerDeviceHandle handle);

/* "ScanVersion": fills three bytes about the device; non-zero means they were filled. The
 * monitor reads only bit 0 of flags: set, the device's panel takes no destination list and the
 * monitor sends the empty block (below) instead of its list. version1 and version2 are the
 * library's own. Called before every destination list upload; when it is missing or returns 0,
 * nothing is sent. */
SCANNER_LIBRARY_ENTRY_POINT int32_t ScanVersion(ScannerDeviceHandle handle, uint8_t* version1,
                                                uint8_t* version2, uint8_t* flags);

/* "DeviceParameterSet": sets a device parameter. The monitor sets only parameter 1, the panel's
 * destination list: count is the number of entries in the block (1 to 20), block points to
 * length bytes (4 to 342). The block belongs to the monitor and is freed as soon as the call
 * returns: a library that wants it later copies it. The result is not used.
 *
 * The destination list block. 16-bit fields are in the host's byte order (little-endian here,
 * so the header 0xE404 is the bytes 04 E4):
 *   offset 0   2 bytes   header: 0xE404 when the block carries a destination list,
 *                        0x0000 when it carries none
 *   offset 2   entries, back to back, no padding, no terminator; each entry is
 *                2 bytes  n, the length of the name in bytes, 0 to 15
 *                n bytes  the name in Windows Latin-1 (code page 1252), no terminator
 * The list form has header 0xE404 and the entries "File", "Clipboard", then up to 18
 * destination applications by their panel names (count = applications + 2, length = 2 + the
 * sum of 2 + n). The empty form has header 0x0000 and one entry of length 0 (count 1, length
 * 4). A name is at most 15 characters: ".app" is dropped from its end first, and a name is cut
 * before its first character that Windows Latin-1 lacks, so an entry may have length 0. */
SCANNER_LIBRARY_ENTRY_POINT int32_t DeviceParameterSet(ScannerDeviceHandle handle,
                                                       int32_t parameter, int32_t count,
                                                       const uint8_t* block, int32_t length);

/* "EndNetworkScan": ends the scan of a network-attached device. Called in a sequence of its
 * own when the device reports over the network that its scan has ended, after the monitor has
 * cleared its network-scan status ("IsNetworkScanning" false, "RemoteIPAddress" "" in the
 * scanner status preferences). Its result is handed to the monitor's caller. */
SCANNER_LIBRARY_ENTRY_POINT int32_t EndNetworkScan(ScannerDeviceHandle handle);

#ifdef __cplusplus
}
#endif

#endif
