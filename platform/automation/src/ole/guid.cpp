// GUIDs in their text form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
#include "interno.h"

#include <ole/server.hpp>

namespace {

int Esa(OLECHAR c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

// Reads `cifre` hex digits at s[pos]; false on anything else (the text ends with a 0,
// which is not a digit, so reading never passes it).
bool Leggi(LPCOLESTR s, std::size_t& pos, int cifre, std::uint64_t& out) {
    out = 0;
    for (int i = 0; i < cifre; ++i) {
        int v = Esa(s[pos]);
        if (v < 0) return false;
        out = (out << 4) | static_cast<std::uint64_t>(v);
        ++pos;
    }
    return true;
}

bool Carattere(LPCOLESTR s, std::size_t& pos, OLECHAR c) {
    if (s[pos] != c) return false;
    ++pos;
    return true;
}

bool Analizza(LPCOLESTR s, GUID& g) {
    if (!s) return false;
    std::size_t p = 0;
    std::uint64_t v;
    if (!Carattere(s, p, u'{')) return false;
    if (!Leggi(s, p, 8, v)) return false;
    g.Data1 = static_cast<std::uint32_t>(v);
    if (!Carattere(s, p, u'-') || !Leggi(s, p, 4, v)) return false;
    g.Data2 = static_cast<std::uint16_t>(v);
    if (!Carattere(s, p, u'-') || !Leggi(s, p, 4, v)) return false;
    g.Data3 = static_cast<std::uint16_t>(v);
    if (!Carattere(s, p, u'-')) return false;
    for (int i = 0; i < 8; ++i) {
        if (i == 2 && !Carattere(s, p, u'-')) return false;
        if (!Leggi(s, p, 2, v)) return false;
        g.Data4[i] = static_cast<std::uint8_t>(v);
    }
    return Carattere(s, p, u'}') && s[p] == 0;
}

}  // namespace

extern "C" {

HRESULT CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid) {
    if (!pclsid) return E_INVALIDARG;
    GUID g{};
    if (!Analizza(lpsz, g)) {
        *pclsid = CLSID_NULL;
        return CO_E_CLASSSTRING;
    }
    *pclsid = g;
    return S_OK;
}

HRESULT IIDFromString(LPCOLESTR lpsz, LPIID lpiid) {
    if (!lpiid) return E_INVALIDARG;
    GUID g{};
    if (!Analizza(lpsz, g)) return E_INVALIDARG;
    *lpiid = g;
    return S_OK;
}

int StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax) {
    if (!lpsz || cchMax < 39) return 0;
    static constexpr char16_t kCifre[] = u"0123456789ABCDEF";
    int p = 0;
    auto metti = [&](std::uint64_t v, int cifre) {
        for (int i = cifre - 1; i >= 0; --i) lpsz[p++] = kCifre[(v >> (4 * i)) & 0xF];
    };
    lpsz[p++] = u'{';
    metti(rguid.Data1, 8);
    lpsz[p++] = u'-';
    metti(rguid.Data2, 4);
    lpsz[p++] = u'-';
    metti(rguid.Data3, 4);
    lpsz[p++] = u'-';
    for (int i = 0; i < 8; ++i) {
        if (i == 2) lpsz[p++] = u'-';
        metti(rguid.Data4[i], 2);
    }
    lpsz[p++] = u'}';
    lpsz[p++] = 0;
    return p;
}

}  // extern "C"

namespace ole {

std::string TestoGuid(const GUID& g) {
    OLECHAR testo[39];
    StringFromGUID2(g, testo, 39);
    // Braces, hyphens and hex digits: ASCII, one byte each.
    return std::string(testo, testo + 38);
}

}  // namespace ole
