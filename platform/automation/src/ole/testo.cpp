// BSTR allocation, task memory and UTF-8 <-> UTF-16 conversion.
//
// A BSTR is one block: a 4-byte length in bytes, the UTF-16 text, and a terminating 0
// character. The pointer handed out points at the text. Every BSTR of the process is
// allocated and freed here.
#include <ole/automation.h>
#include <ole/ole.hpp>
#include "ole/allocazione.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

namespace {

constexpr std::size_t kPrefisso = sizeof(std::uint32_t);

// The largest byte length a BSTR can carry in its 32-bit prefix, leaving room for the
// prefix and the terminator in a block of size_t bytes.
constexpr std::uint64_t kMaxByte = std::numeric_limits<std::uint32_t>::max() - 16;

BSTR Alloca(const void* dati, std::uint64_t byte) {
    if (byte > kMaxByte) return nullptr;
    std::size_t n = static_cast<std::size_t>(byte);
    auto* blocco =
        static_cast<unsigned char*>(ole::AllocaMemoria(kPrefisso + n + sizeof(OLECHAR) + 1));
    if (!blocco) return nullptr;
    std::uint32_t lunghezza = static_cast<std::uint32_t>(n);
    std::memcpy(blocco, &lunghezza, kPrefisso);
    unsigned char* testo = blocco + kPrefisso;
    if (dati) std::memcpy(testo, dati, n);
    else std::memset(testo, 0, n);
    // Terminator: two zero bytes after the text (three when the byte length is odd, so
    // that the last whole character is followed by a zero character).
    std::memset(testo + n, 0, sizeof(OLECHAR) + 1);
    return reinterpret_cast<BSTR>(testo);
}

unsigned char* Blocco(BSTR b) { return reinterpret_cast<unsigned char*>(b) - kPrefisso; }

std::size_t Lunghezza16(const OLECHAR* s) {
    std::size_t n = 0;
    while (s[n] != 0) ++n;
    return n;
}

}  // namespace

extern "C" {

BSTR SysAllocString(const OLECHAR* psz) {
    if (!psz) return nullptr;
    return Alloca(psz, static_cast<std::uint64_t>(Lunghezza16(psz)) * sizeof(OLECHAR));
}

BSTR SysAllocStringLen(const OLECHAR* strIn, UINT ui) {
    return Alloca(strIn, static_cast<std::uint64_t>(ui) * sizeof(OLECHAR));
}

BSTR SysAllocStringByteLen(const char* psz, UINT len) { return Alloca(psz, len); }

INT SysReAllocString(BSTR* pbstr, const OLECHAR* psz) {
    if (!pbstr) return FALSE;
    BSTR nuova = psz ? SysAllocString(psz) : nullptr;
    if (psz && !nuova) return FALSE;
    SysFreeString(*pbstr);
    *pbstr = nuova;
    return TRUE;
}

INT SysReAllocStringLen(BSTR* pbstr, const OLECHAR* psz, UINT len) {
    if (!pbstr) return FALSE;
    // The source may lie inside the old text: copy before freeing.
    BSTR nuova = SysAllocStringLen(psz, len);
    if (!nuova) return FALSE;
    SysFreeString(*pbstr);
    *pbstr = nuova;
    return TRUE;
}

void SysFreeString(BSTR bstrString) {
    if (bstrString) ole::LiberaMemoria(Blocco(bstrString));
}

UINT SysStringByteLen(BSTR bstr) {
    if (!bstr) return 0;
    std::uint32_t n;
    std::memcpy(&n, Blocco(bstr), kPrefisso);
    return n;
}

UINT SysStringLen(BSTR pbstr) { return SysStringByteLen(pbstr) / UINT{sizeof(OLECHAR)}; }

LPVOID CoTaskMemAlloc(std::size_t cb) { return ole::AllocaMemoria(cb == 0 ? 1 : cb); }

LPVOID CoTaskMemRealloc(LPVOID pv, std::size_t cb) {
    return ole::RiallocaMemoria(pv, cb == 0 ? 1 : cb);
}

void CoTaskMemFree(LPVOID pv) { ole::LiberaMemoria(pv); }

}  // extern "C"

namespace ole {

std::u16string Utf8InUtf16(std::string_view utf8) {
    std::u16string r;
    r.reserve(utf8.size());
    const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
    const std::size_t n = utf8.size();
    std::size_t i = 0;
    while (i < n) {
        unsigned char c = s[i];
        if (c < 0x80) {
            r.push_back(c);
            ++i;
            continue;
        }
        // Length and minimum value of the sequence; anything malformed (overlong forms,
        // surrogates, values above U+10FFFF, truncated sequences) gives one U+FFFD for the
        // lead byte and resumes at the next byte.
        std::size_t len = 0;
        char32_t cp = 0, minimo = 0;
        if ((c & 0xE0) == 0xC0) {
            len = 2, cp = c & 0x1Fu, minimo = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            len = 3, cp = c & 0x0Fu, minimo = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            len = 4, cp = c & 0x07u, minimo = 0x10000;
        }
        bool valida = len != 0 && i + len <= n;
        for (std::size_t k = 1; valida && k < len; ++k) {
            if ((s[i + k] & 0xC0) != 0x80) valida = false;
            else cp = (cp << 6) | (s[i + k] & 0x3Fu);
        }
        if (valida && (cp < minimo || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)))
            valida = false;
        if (!valida) {
            r.push_back(u'\uFFFD');
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            r.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            r.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            r.push_back(static_cast<char16_t>(cp));
        }
        i += len;
    }
    return r;
}

std::string Utf16InUtf8(std::u16string_view utf16) {
    std::string r;
    r.reserve(utf16.size());
    const std::size_t n = utf16.size();
    for (std::size_t i = 0; i < n; ++i) {
        char32_t cp = utf16[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < n && utf16[i + 1] >= 0xDC00 &&
            utf16[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<char32_t>(utf16[i + 1]) - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            r.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            r.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            r.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            r.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            r.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            r.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            r.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            r.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            r.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            r.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return r;
}

BSTR BstrDaUtf8(std::string_view utf8) {
    std::u16string t = Utf8InUtf16(utf8);
    if (t.size() > std::numeric_limits<UINT>::max()) throw std::bad_alloc();
    BSTR b = SysAllocStringLen(t.data(), static_cast<UINT>(t.size()));
    if (!b) throw std::bad_alloc();
    return b;
}

std::string Utf8DaBstr(BSTR b) {
    if (!b) return {};
    return Utf16InUtf8(std::u16string_view(b, SysStringLen(b)));
}

}  // namespace ole
