// The Windows version-resource API (ANSI forms), read from PE/COFF files.
//
// GetFileVersionInfoSizeA tells the size of the buffer for a file's version resource (0
// when the file is missing, is not a 32- or 64-bit PE image, is damaged, or carries no
// version resource); GetFileVersionInfoA copies the resource into the caller's buffer,
// with UTF-8 copies of its texts beside it; VerQueryValueA finds a value inside that
// buffer: "\" gives the VS_FIXEDFILEINFO, "\VarFileInfo\Translation" and other binary
// values give their bytes, "\StringFileInfo\041004b0\FileVersion" and other texts give
// their UTF-8 copy.
//
// The file is read with bounded I/O: only its headers, the resource directory entries
// on the way to the version resource and the resource itself (at most 64 KiB), whatever
// sizes the file declares. The version resource is the first name and first language
// below type 16 (RT_VERSION).
#pragma once

#include <cstdint>

#include "win/tipi.h"

#define VS_FFI_SIGNATURE 0xFEEF04BDu
#define VS_FFI_STRUCVERSION 0x00010000u
#define VS_VERSION_INFO 1
#define VS_FILE_INFO 16  // RT_VERSION

// The fixed part of a version resource, 13 words as Windows lays them out.
typedef struct tagVS_FIXEDFILEINFO {
    DWORD dwSignature;  // 0xFEEF04BD
    DWORD dwStrucVersion;
    DWORD dwFileVersionMS;  // major << 16 | minor
    DWORD dwFileVersionLS;  // build << 16 | revision
    DWORD dwProductVersionMS;
    DWORD dwProductVersionLS;
    DWORD dwFileFlagsMask;
    DWORD dwFileFlags;
    DWORD dwFileOS;
    DWORD dwFileType;
    DWORD dwFileSubtype;
    DWORD dwFileDateMS;
    DWORD dwFileDateLS;
} VS_FIXEDFILEINFO;

static_assert(sizeof(VS_FIXEDFILEINFO) == 52, "VS_FIXEDFILEINFO is 13 DWORDs");

extern "C" {

// Size in bytes of the buffer GetFileVersionInfoA fills for `lptstrFilename` (a UTF-8
// path): the version resource and room for the UTF-8 copies of its texts; 0 when there
// is no version resource. `lpdwHandle`, when given, is set to 0.
DWORD GetFileVersionInfoSizeA(LPCSTR lptstrFilename, LPDWORD lpdwHandle);

// Copy the version resource into `lpData` (dwLen bytes). A buffer smaller than the size
// above receives the resource's beginning, its root length cut to what was kept (texts
// that no longer fit are not offered). FALSE when the file has no readable version
// resource or the buffer is under 48 bytes. `dwHandle` is ignored.
BOOL GetFileVersionInfoA(LPCSTR lptstrFilename, DWORD dwHandle, DWORD dwLen, LPVOID lpData);

// Find `lpSubBlock` in a buffer filled by GetFileVersionInfoA (and only there): "\" gives
// the VS_FIXEDFILEINFO (FALSE when it is absent, short or without its signature); a
// path such as "\VarFileInfo\Translation" gives a binary value and its length in bytes;
// a text value gives its UTF-8 copy and its length in bytes counting the terminating
// NUL (0 for an empty value). Keys are compared without regard to ASCII case.
BOOL VerQueryValueA(LPCVOID pBlock, LPCSTR lpSubBlock, LPVOID* lplpBuffer, PUINT puLen);

}  // extern "C"
