#pragma once
// The Windows base types, declared once for every Windows-style header of the system
// (automation, registry, version resources): the fixed widths Windows gives them.

#include <cstdint>

#ifndef WINAPI
#define WINAPI
#endif
#ifndef APIENTRY
#define APIENTRY
#endif

using BYTE = std::uint8_t;
using CHAR = char;
using SHORT = std::int16_t;
using USHORT = std::uint16_t;
using WORD = std::uint16_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using DWORD = std::uint32_t;
using INT = std::int32_t;
using UINT = std::uint32_t;
using BOOL = std::int32_t;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;
using FLOAT = float;
using DOUBLE = double;
using PVOID = void*;
using LPVOID = void*;
using LPCVOID = const void*;
using ULONG_PTR = std::uintptr_t;
using LPBYTE = BYTE*;
using LPCBYTE = const BYTE*;
using LPDWORD = DWORD*;
using PDWORD = DWORD*;
using PUINT = UINT*;
using LPSTR = char*;
using LPCSTR = const char*;
using HANDLE = void*;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};
using PFILETIME = FILETIME*;
using LPFILETIME = FILETIME*;
