#include <cstring>
#include <new>
#include <vector>

#include "jet/dao.h"
#include "jet/errori.h"

namespace jet {
namespace {

std::u16string Utf16(const std::string& s) {
    std::u16string out;
    out.reserve(s.size());
    std::size_t i = 0;
    const std::size_t n = s.size();
    auto cont = [&](std::size_t k) { return k < n && (static_cast<unsigned char>(s[k]) & 0xC0) == 0x80; };
    while (i < n) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        std::uint32_t cp = 0xFFFD;
        std::size_t len = 1;
        if (c < 0x80) {
            cp = c;
        } else if ((c & 0xE0) == 0xC0 && cont(i + 1)) {
            cp = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(s[i + 1]) & 0x3Fu);
            len = 2;
        } else if ((c & 0xF0) == 0xE0 && cont(i + 1) && cont(i + 2)) {
            cp = ((c & 0x0Fu) << 12) | ((static_cast<unsigned char>(s[i + 1]) & 0x3Fu) << 6) |
                 (static_cast<unsigned char>(s[i + 2]) & 0x3Fu);
            len = 3;
        } else if ((c & 0xF8) == 0xF0 && cont(i + 1) && cont(i + 2) && cont(i + 3)) {
            cp = ((c & 0x07u) << 18) | ((static_cast<unsigned char>(s[i + 1]) & 0x3Fu) << 12) |
                 ((static_cast<unsigned char>(s[i + 2]) & 0x3Fu) << 6) | (static_cast<unsigned char>(s[i + 3]) & 0x3Fu);
            len = 4;
        }
        i += len;
        if (cp >= 0x10000 && cp <= 0x10FFFF) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp > 0xFFFF ? 0xFFFD : cp));
        }
    }
    return out;
}

}  // namespace

VARIANT VariantDaValore(const Valore& v) {
    VARIANT r;
    VariantInit(&r);
    switch (v.tipo) {
        case Valore::Tipo::Null: r.vt = VT_NULL; break;
        case Valore::Tipo::Booleano:
            r.vt = VT_BOOL;
            r.boolVal = v.intero != 0 ? VARIANT_TRUE : VARIANT_FALSE;
            break;
        case Valore::Tipo::Byte:
            r.vt = VT_UI1;
            r.bVal = static_cast<BYTE>(v.intero);
            break;
        case Valore::Tipo::Intero:
            r.vt = VT_I2;
            r.iVal = static_cast<SHORT>(v.intero);
            break;
        case Valore::Tipo::Lungo:
            r.vt = VT_I4;
            r.lVal = static_cast<LONG>(v.intero);
            break;
        case Valore::Tipo::Valuta:
            r.vt = VT_CY;
            r.cyVal.int64 = v.intero;
            break;
        case Valore::Tipo::Singolo:
            r.vt = VT_R4;
            r.fltVal = static_cast<float>(v.reale);
            break;
        case Valore::Tipo::Doppio:
            r.vt = VT_R8;
            r.dblVal = v.reale;
            break;
        case Valore::Tipo::Data:
            r.vt = VT_DATE;
            r.date = v.reale;
            break;
        case Valore::Tipo::Testo: {
            std::u16string u = Utf16(v.testo);
            BSTR b = SysAllocStringLen(u.data(), static_cast<UINT>(u.size()));
            if (!b) throw std::bad_alloc();
            r.vt = VT_BSTR;
            r.bstrVal = b;
            break;
        }
        case Valore::Tipo::Binario: {
            SAFEARRAY* a = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(v.testo.size()));
            if (!a) throw std::bad_alloc();
            void* dati = nullptr;
            if (!v.testo.empty() && SafeArrayAccessData(a, &dati) == S_OK) {
                std::memcpy(dati, v.testo.data(), v.testo.size());
                SafeArrayUnaccessData(a);
            }
            r.vt = static_cast<VARTYPE>(VT_ARRAY | VT_UI1);
            r.parray = a;
            break;
        }
    }
    return r;
}

}  // namespace jet
