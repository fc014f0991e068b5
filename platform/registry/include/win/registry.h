// The registry store: the Win32 registry functions (ANSI forms) with their Windows
// names, types, error codes and semantics, kept in one REGEDIT4 text file per hive.
//
//   HKEY_CURRENT_USER   HKCU.reg
//   HKEY_LOCAL_MACHINE  HKLM.reg
//   HKEY_CLASSES_ROOT   HKCR.reg
//
// in the folder $VQ_REGISTRO_DIR when that is set, else $XDG_CONFIG_HOME/vq/registro/
// (default ~/.config/vq/registro/). The files are what regedit writes: "REGEDIT4", a blank
// line, then one [HKEY_CURRENT_USER\Software\...] section per key with its values
// ("name"="text", @= for the default value, dword:0000002a, hex:..., hex(2):... and so
// on), so they can be read and edited by hand.
//
// Every call reads the hive as it is on disk now (another process may have changed it).
// A change is a read-modify-write under an exclusive lock on "<hive>.lock" beside the
// file, and the new file replaces the old one atomically, so concurrent writers lose
// nothing and a crash never leaves half a hive. A hive that cannot be parsed gives
// ERROR_BADDB and is never overwritten (the line at fault is named once on stderr).
// A file edited by hand is read as regedit would import it; when the store next writes
// the hive it writes it back in its own layout, without the comment lines.
//
// Names of keys and values compare without regard to case and keep the case they were
// created with. Text is UTF-8 (the "ANSI" code page of this system). Strings are stored
// as the bytes given, so REG_SZ data normally carries its terminating NUL in its size.
//
// Differences from Windows: REG_OPTION_VOLATILE keys are kept like the others; there are
// no security descriptors, links or notifications. Thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <string>

#define VQ_REG_EXPORT __attribute__((visibility("default")))
#include "win/tipi.h"

using ACCESS_MASK = DWORD;
using REGSAM = ACCESS_MASK;
using LSTATUS = LONG;

struct HKEY__;
using HKEY = HKEY__*;
using PHKEY = HKEY*;

struct _SECURITY_ATTRIBUTES;  // never dereferenced: callers pass nullptr
using SECURITY_ATTRIBUTES = _SECURITY_ATTRIBUTES;
using LPSECURITY_ATTRIBUTES = _SECURITY_ATTRIBUTES*;

// Predefined keys, with their Windows values.
#define HKEY_CLASSES_ROOT (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000000u)))
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000001u)))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000002u)))
#define HKEY_USERS \
    (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000003u)))  // not kept: ERROR_INVALID_HANDLE

// Error codes (LONG results). Macros, as on Windows, so that other headers of the
// platform layer may repeat them.
#ifndef ERROR_SUCCESS
#define ERROR_SUCCESS 0
#endif
#ifndef ERROR_FILE_NOT_FOUND
#define ERROR_FILE_NOT_FOUND 2
#endif
#ifndef ERROR_ACCESS_DENIED
#define ERROR_ACCESS_DENIED 5
#endif
#ifndef ERROR_INVALID_HANDLE
#define ERROR_INVALID_HANDLE 6
#endif
#ifndef ERROR_NOT_ENOUGH_MEMORY
#define ERROR_NOT_ENOUGH_MEMORY 8
#endif
#ifndef ERROR_WRITE_FAULT
#define ERROR_WRITE_FAULT 29
#endif
#ifndef ERROR_READ_FAULT
#define ERROR_READ_FAULT 30
#endif
#ifndef ERROR_LOCK_VIOLATION
#define ERROR_LOCK_VIOLATION 33
#endif
#ifndef ERROR_INVALID_PARAMETER
#define ERROR_INVALID_PARAMETER 87
#endif
#ifndef ERROR_DISK_FULL
#define ERROR_DISK_FULL 112
#endif
#ifndef ERROR_BAD_PATHNAME
#define ERROR_BAD_PATHNAME 161
#endif
#ifndef ERROR_MORE_DATA
#define ERROR_MORE_DATA 234
#endif
#ifndef ERROR_NO_MORE_ITEMS
#define ERROR_NO_MORE_ITEMS 259
#endif
#ifndef ERROR_NOACCESS
#define ERROR_NOACCESS 998
#endif
#ifndef ERROR_BADDB
#define ERROR_BADDB 1009  // a hive file that cannot be parsed
#endif
#ifndef ERROR_BADKEY
#define ERROR_BADKEY 1010  // a key or value name that cannot be stored
#endif
#ifndef ERROR_CANTOPEN
#define ERROR_CANTOPEN 1011
#endif
#ifndef ERROR_CANTREAD
#define ERROR_CANTREAD 1012
#endif
#ifndef ERROR_CANTWRITE
#define ERROR_CANTWRITE 1013
#endif
#ifndef ERROR_REGISTRY_IO_FAILED
#define ERROR_REGISTRY_IO_FAILED 1016
#endif
#ifndef ERROR_KEY_DELETED
#define ERROR_KEY_DELETED 1018  // the key of an open handle was deleted
#endif

// Access rights (REGSAM).
#ifndef KEY_QUERY_VALUE
#define KEY_QUERY_VALUE 0x0001u
#endif
#ifndef KEY_SET_VALUE
#define KEY_SET_VALUE 0x0002u
#endif
#ifndef KEY_CREATE_SUB_KEY
#define KEY_CREATE_SUB_KEY 0x0004u
#endif
#ifndef KEY_ENUMERATE_SUB_KEYS
#define KEY_ENUMERATE_SUB_KEYS 0x0008u
#endif
#ifndef KEY_NOTIFY
#define KEY_NOTIFY 0x0010u
#endif
#ifndef KEY_CREATE_LINK
#define KEY_CREATE_LINK 0x0020u
#endif
#ifndef KEY_WOW64_64KEY
#define KEY_WOW64_64KEY 0x0100u
#endif
#ifndef KEY_WOW64_32KEY
#define KEY_WOW64_32KEY 0x0200u
#endif
#ifndef KEY_READ
#define KEY_READ 0x00020019u
#endif
#ifndef KEY_EXECUTE
#define KEY_EXECUTE KEY_READ
#endif
#ifndef KEY_WRITE
#define KEY_WRITE 0x00020006u
#endif
#ifndef KEY_ALL_ACCESS
#define KEY_ALL_ACCESS 0x000F003Fu
#endif
#ifndef MAXIMUM_ALLOWED
#define MAXIMUM_ALLOWED 0x02000000u
#endif

// Options of RegCreateKeyExA and results in its disposition.
#ifndef REG_OPTION_RESERVED
#define REG_OPTION_RESERVED 0x0u
#endif
#ifndef REG_OPTION_NON_VOLATILE
#define REG_OPTION_NON_VOLATILE 0x0u
#endif
#ifndef REG_OPTION_VOLATILE
#define REG_OPTION_VOLATILE 0x1u
#endif
#ifndef REG_OPTION_OPEN_LINK
#define REG_OPTION_OPEN_LINK 0x8u
#endif
#ifndef REG_CREATED_NEW_KEY
#define REG_CREATED_NEW_KEY 1u
#endif
#ifndef REG_OPENED_EXISTING_KEY
#define REG_OPENED_EXISTING_KEY 2u
#endif

// Value types.
#ifndef REG_NONE
#define REG_NONE 0u
#endif
#ifndef REG_SZ
#define REG_SZ 1u
#endif
#ifndef REG_EXPAND_SZ
#define REG_EXPAND_SZ 2u
#endif
#ifndef REG_BINARY
#define REG_BINARY 3u
#endif
#ifndef REG_DWORD
#define REG_DWORD 4u
#endif
#ifndef REG_DWORD_LITTLE_ENDIAN
#define REG_DWORD_LITTLE_ENDIAN 4u
#endif
#ifndef REG_DWORD_BIG_ENDIAN
#define REG_DWORD_BIG_ENDIAN 5u
#endif
#ifndef REG_LINK
#define REG_LINK 6u
#endif
#ifndef REG_MULTI_SZ
#define REG_MULTI_SZ 7u
#endif
#ifndef REG_QWORD
#define REG_QWORD 11u
#endif

extern "C" {

// Open an existing key below hKey (an empty or null lpSubKey opens a new handle to hKey
// itself). ERROR_FILE_NOT_FOUND when it does not exist.
VQ_REG_EXPORT LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions,
                                        REGSAM samDesired, PHKEY phkResult);

// Open a key, creating it and every missing key above it. *lpdwDisposition (optional)
// tells REG_CREATED_NEW_KEY from REG_OPENED_EXISTING_KEY.
VQ_REG_EXPORT LONG WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass,
                                          DWORD dwOptions, REGSAM samDesired,
                                          LPSECURITY_ATTRIBUTES lpSecurityAttributes,
                                          PHKEY phkResult, LPDWORD lpdwDisposition);

// Read a value (null or empty name: the key's default value). With lpData null only the
// type and size are given; a buffer too small gives ERROR_MORE_DATA and the size needed.
VQ_REG_EXPORT LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved,
                                           LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);

VQ_REG_EXPORT LONG WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved,
                                         DWORD dwType, const BYTE* lpData, DWORD cbData);

VQ_REG_EXPORT LONG WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName);

// Delete a key that has no subkeys (ERROR_ACCESS_DENIED when it has some, as on Windows).
VQ_REG_EXPORT LONG WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey);

// Delete a key with all its subkeys and values (null lpSubKey: empty hKey itself).
VQ_REG_EXPORT LONG WINAPI RegDeleteTreeA(HKEY hKey, LPCSTR lpSubKey);

VQ_REG_EXPORT LONG WINAPI RegCloseKey(HKEY hKey);

// Subkeys in the order of their names, compared without regard to case. *lpcchName is
// the buffer size in characters on entry and the name's length without the NUL on return.
VQ_REG_EXPORT LONG WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName,
                                        LPDWORD lpReserved, LPSTR lpClass, LPDWORD lpcchClass,
                                        PFILETIME lpftLastWriteTime);

// Values in the order they were created.
VQ_REG_EXPORT LONG WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName,
                                        LPDWORD lpcchValueName, LPDWORD lpReserved, LPDWORD lpType,
                                        LPBYTE lpData, LPDWORD lpcbData);

// Counts and longest lengths of the subkeys and values of a key.
VQ_REG_EXPORT LONG WINAPI RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass,
                                           LPDWORD lpReserved, LPDWORD lpcSubKeys,
                                           LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                                           LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen,
                                           LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor,
                                           PFILETIME lpftLastWriteTime);

// The text of a REG_EXPAND_SZ value with each %NAME% replaced by the environment variable
// NAME. A name that is not set stays as written, and its closing "%" may open the next
// name, as on Windows ("%IGNOTA%HOME%" gives "%IGNOTA" and the value of HOME). Returns
// the characters the result needs with its NUL, and writes lpDst only when nSize holds
// them all; 0 for a null lpSrc.
VQ_REG_EXPORT DWORD WINAPI ExpandEnvironmentStringsA(LPCSTR lpSrc, LPSTR lpDst, DWORD nSize);

}  // extern "C"

namespace vq {

// The folder of the hive files: $VQ_REGISTRO_DIR, else $XDG_CONFIG_HOME/vq/registro,
// else ~/.config/vq/registro (the home folder from $HOME, else the password database).
// Read anew at every call.
VQ_REG_EXPORT std::string CartellaRegistro();

// An open key for C++ callers, closed when the holder goes.
class ChiaveAperta {
public:
    ChiaveAperta() = default;
    ~ChiaveAperta() { chiudi(); }
    ChiaveAperta(const ChiaveAperta&) = delete;
    ChiaveAperta& operator=(const ChiaveAperta&) = delete;
    // For the PHKEY argument of RegOpenKeyExA / RegCreateKeyExA: closes a key held before.
    HKEY* put() noexcept {
        chiudi();
        return &h_;
    }
    HKEY get() const noexcept { return h_; }

private:
    void chiudi() noexcept {
        if (h_ != nullptr) RegCloseKey(h_);
        h_ = nullptr;
    }
    HKEY h_ = nullptr;
};

// ExpandEnvironmentStringsA for C++ callers: the expanded text; std::bad_alloc when the
// store runs out of memory.
inline std::string EspandiAmbiente(const std::string& testo) {
    std::string r;
    DWORD n = ExpandEnvironmentStringsA(testo.c_str(), nullptr, 0);
    // Asked again when the environment grew the text in between.
    while (n > r.size()) {
        r.assign(n, '\0');
        n = ExpandEnvironmentStringsA(testo.c_str(), r.data(), static_cast<DWORD>(r.size()));
    }
    if (n == 0) throw std::bad_alloc();
    r.resize(n - 1);
    return r;
}

}  // namespace vq
