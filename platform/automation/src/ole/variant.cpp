// VARIANT life cycle and type conversion.
#include "interno.h"
#include "vq/ascii.h"

#include <vq/conversioni.h>
#include <vq/data.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>
#include <string>

namespace ole::interno {

ULONG DimensioneValore(VARTYPE vt) noexcept {
    switch (vt) {
        case VT_I1:
        case VT_UI1: return 1;
        case VT_I2:
        case VT_UI2:
        case VT_BOOL: return 2;
        case VT_I4:
        case VT_UI4:
        case VT_R4:
        case VT_INT:
        case VT_UINT:
        case VT_ERROR: return 4;
        case VT_I8:
        case VT_UI8:
        case VT_R8:
        case VT_CY:
        case VT_DATE: return 8;
        case VT_BSTR: return sizeof(BSTR);
        case VT_DISPATCH:
        case VT_UNKNOWN: return sizeof(IUnknown*);
        default: return 0;
    }
}

}  // namespace ole::interno

namespace {

using ole::interno::DimensioneValore;

bool TipoBase(VARTYPE base) {
    switch (base) {
        case VT_EMPTY:
        case VT_NULL:
        case VT_VARIANT:
        case VT_DECIMAL: return true;
        default: return DimensioneValore(base) != 0;
    }
}

// Whether a variant of type `vt` is well-formed (the types this runtime knows).
bool TipoValido(VARTYPE vt) {
    const VARTYPE base = vt & VT_TYPEMASK;
    const VARTYPE flag = vt & static_cast<VARTYPE>(~VT_TYPEMASK);
    if (flag & ~(VT_ARRAY | VT_BYREF)) return false;
    if (!TipoBase(base)) return false;
    if (flag == 0) return base != VT_VARIANT;
    if (flag & VT_BYREF) return base != VT_EMPTY && base != VT_NULL;
    return base != VT_EMPTY && base != VT_NULL && base != VT_DECIMAL;  // arrays
}

}  // namespace

extern "C" {

void VariantInit(VARIANTARG* pvarg) {
    if (!pvarg) return;
    std::memset(pvarg, 0, sizeof *pvarg);
    pvarg->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANTARG* pvarg) {
    if (!pvarg) return E_INVALIDARG;
    if (!TipoValido(pvarg->vt)) return DISP_E_BADVARTYPE;
    if (!(pvarg->vt & VT_BYREF)) {
        if (pvarg->vt & VT_ARRAY) {
            HRESULT hr = SafeArrayDestroy(pvarg->parray);
            if (FAILED(hr)) return hr;
        } else if (pvarg->vt == VT_BSTR) {
            SysFreeString(pvarg->bstrVal);
        } else if (pvarg->vt == VT_DISPATCH || pvarg->vt == VT_UNKNOWN) {
            if (pvarg->punkVal) pvarg->punkVal->Release();
        }
    }
    VariantInit(pvarg);
    return S_OK;
}

HRESULT VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc) {
    if (!pvargDest || !pvargSrc) return E_INVALIDARG;
    if (pvargDest == pvargSrc) return S_OK;
    if (!TipoValido(pvargSrc->vt)) return DISP_E_BADVARTYPE;
    VARIANT copia;
    std::memcpy(&copia, pvargSrc, sizeof copia);
    if (!(copia.vt & VT_BYREF)) {
        if (copia.vt & VT_ARRAY) {
            HRESULT hr = SafeArrayCopy(pvargSrc->parray, &copia.parray);
            if (FAILED(hr)) return hr;
        } else if (copia.vt == VT_BSTR && copia.bstrVal) {
            copia.bstrVal = SysAllocStringByteLen(reinterpret_cast<const char*>(pvargSrc->bstrVal),
                                                  SysStringByteLen(pvargSrc->bstrVal));
            if (!copia.bstrVal) return E_OUTOFMEMORY;
        } else if ((copia.vt == VT_DISPATCH || copia.vt == VT_UNKNOWN) && copia.punkVal) {
            copia.punkVal->AddRef();
        }
    }
    // The source may be owned by the destination (an element of its array, say): the copy
    // is complete before the destination is cleared.
    HRESULT hr = VariantClear(pvargDest);
    if (FAILED(hr)) {
        VariantClear(&copia);
        return hr;
    }
    std::memcpy(pvargDest, &copia, sizeof copia);
    return S_OK;
}

HRESULT VariantCopyInd(VARIANT* pvarDest, const VARIANTARG* pvargSrc) {
    if (!pvarDest || !pvargSrc) return E_INVALIDARG;
    if (!(pvargSrc->vt & VT_BYREF)) return VariantCopy(pvarDest, pvargSrc);
    if (!TipoValido(pvargSrc->vt)) return DISP_E_BADVARTYPE;
    if (!pvargSrc->byref) return E_INVALIDARG;
    const VARTYPE tipo = pvargSrc->vt & static_cast<VARTYPE>(~VT_BYREF);
    VARIANT valore;
    VariantInit(&valore);
    if (tipo == VT_VARIANT) {
        // A reference to a reference is not a value.
        if (pvargSrc->pvarVal->vt & VT_BYREF) return E_INVALIDARG;
        VARIANT tmp;
        VariantInit(&tmp);
        HRESULT hr = VariantCopy(&tmp, pvargSrc->pvarVal);
        if (FAILED(hr)) return hr;
        hr = VariantClear(pvarDest);
        if (FAILED(hr)) {
            VariantClear(&tmp);
            return hr;
        }
        *pvarDest = tmp;
        return S_OK;
    }
    if (tipo & VT_ARRAY) {
        valore.vt = tipo;
        valore.parray = *pvargSrc->pparray;
    } else if (tipo == VT_DECIMAL) {
        std::memcpy(&valore, pvargSrc->byref, sizeof valore);
        valore.vt = VT_DECIMAL;
    } else {
        valore.vt = tipo;
        std::memcpy(&valore.llVal, pvargSrc->byref, DimensioneValore(tipo));
    }
    // `valore` borrows what the reference points at; VariantCopy makes it owned.
    return VariantCopy(pvarDest, &valore);
}

}  // extern "C"

// ---------------------------------------------------------------------------------------
// VariantChangeType
// ---------------------------------------------------------------------------------------
namespace {

constexpr int kProfonditaOggetti = 8;

std::string_view Spazi(std::string_view t) {
    while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.remove_prefix(1);
    while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.remove_suffix(1);
    return t;
}

// A whole text as a number: blanks around it, optional sign, digits with an optional "."
// part and exponent. Nothing else may follow.
std::optional<double> NumeroDaTesto(std::string_view t) {
    t = Spazi(t);
    bool meno = false;
    if (!t.empty() && (t.front() == '+' || t.front() == '-')) {
        meno = t.front() == '-';
        t.remove_prefix(1);
    }
    if (t.empty() || !(std::isdigit(static_cast<unsigned char>(t.front())) || t.front() == '.'))
        return std::nullopt;
    double x = 0;
    auto [fine, ec] = std::from_chars(t.data(), t.data() + t.size(), x, std::chars_format::general);
    if (fine != t.data() + t.size()) return std::nullopt;
    if (ec == std::errc::result_out_of_range) return std::numeric_limits<double>::infinity();
    if (ec != std::errc()) return std::nullopt;
    return meno ? -x : x;
}

std::optional<bool> BooleanoDaTesto(std::string_view t) {
    t = Spazi(t);
    if (vq::UgualiSenzaMaiuscole(t, "True") || vq::UgualiSenzaMaiuscole(t, "Vero")) return true;
    if (vq::UgualiSenzaMaiuscole(t, "False") || vq::UgualiSenzaMaiuscole(t, "Falso")) return false;
    if (auto n = NumeroDaTesto(t)) return *n != 0;
    return std::nullopt;
}

// Reads digits into `n`; false when there are none.
bool Cifre(std::string_view& t, int& n, std::size_t massimo) {
    std::size_t k = 0;
    n = 0;
    while (k < t.size() && k < massimo && t[k] >= '0' && t[k] <= '9') n = n * 10 + (t[k++] - '0');
    t.remove_prefix(k);
    return k > 0;
}

std::optional<DATE> DataDaTesto(std::string_view t) {
    t = Spazi(t);
    if (t.size() >= 10 && t[4] == '-') return vq::DataDaIso(std::string(t));
    vq::DataOra d;
    int g, m, a;
    std::string_view r = t;
    if (!Cifre(r, g, 2) || r.empty() || r.front() != '/') return std::nullopt;
    r.remove_prefix(1);
    if (!Cifre(r, m, 2) || r.empty() || r.front() != '/') return std::nullopt;
    r.remove_prefix(1);
    if (!Cifre(r, a, 4)) return std::nullopt;
    d.anno = a, d.mese = m, d.giorno = g;
    if (!r.empty()) {
        if (r.front() != ' ') return std::nullopt;
        r = Spazi(r);
        int h, mi, s = 0;
        if (!Cifre(r, h, 2) || r.empty() || (r.front() != ':' && r.front() != '.'))
            return std::nullopt;
        r.remove_prefix(1);
        if (!Cifre(r, mi, 2)) return std::nullopt;
        if (!r.empty()) {
            if (r.front() != ':' && r.front() != '.') return std::nullopt;
            r.remove_prefix(1);
            if (!Cifre(r, s, 2) || !r.empty()) return std::nullopt;
        }
        if (h > 23 || mi > 59 || s > 59) return std::nullopt;
        d.ora = h, d.minuto = mi, d.secondo = s;
    }
    return vq::ComponiData(d);
}

std::string TestoData(DATE x) {
    vq::DataOra d = vq::ScomponiData(x);
    char buf[40];
    const bool conData = !(d.anno == 1899 && d.mese == 12 && d.giorno == 30);
    const bool conOra = d.ora != 0 || d.minuto != 0 || d.secondo != 0;
    std::string r;
    if (conData || !conOra) {
        std::snprintf(buf, sizeof buf, "%02d/%02d/%04d", d.giorno, d.mese, d.anno);
        r = buf;
    }
    if (conOra) {
        std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", d.ora, d.minuto, d.secondo);
        if (!r.empty()) r += ' ';
        r += buf;
    }
    return r;
}

std::string TestoValuta(std::int64_t v) {
    const bool meno = v < 0;
    // The magnitude of the most negative value does not fit in int64.
    std::uint64_t a = meno ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
    std::string r = std::to_string(a / 10000);
    std::uint64_t f = a % 10000;
    if (f != 0) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "%04u", static_cast<unsigned>(f));
        std::string dec = buf;
        while (dec.back() == '0') dec.pop_back();
        r += '.' + dec;
    }
    return meno ? '-' + r : r;
}

// The source as one of: an exact integer, a double, a currency amount, or text.
struct Valore {
    enum Tipo { Intero, Reale, Valuta, Testo, Booleano } tipo = Intero;
    std::int64_t i = 0;   // Intero, Valuta (scaled by 10,000), Booleano (-1 / 0)
    std::uint64_t u = 0;  // Intero above INT64_MAX (only from VT_UI8)
    bool grande = false;
    double d = 0;   // Reale
    std::string t;  // Testo (UTF-8)
    VARTYPE origine = VT_EMPTY;
};

HRESULT LeggiValore(const VARIANT& v, USHORT flag, Valore& out, int profondita);

HRESULT ValoreOggetto(IUnknown* u, USHORT flag, Valore& out, int profondita) {
    if (!u || (flag & VARIANT_NOVALUEPROP) || profondita >= kProfonditaOggetti)
        return DISP_E_TYPEMISMATCH;
    ole::ComPtr<IDispatch> disp;
    if (FAILED(u->QueryInterface(IID_IDispatch, disp.put_void()))) return DISP_E_TYPEMISMATCH;
    DISPPARAMS nessuno{nullptr, nullptr, 0, 0};
    ole::Variante r;
    HRESULT hr = disp->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET,
                              &nessuno, r.put(), nullptr, nullptr);
    if (FAILED(hr)) return hr == DISP_E_MEMBERNOTFOUND ? DISP_E_TYPEMISMATCH : hr;
    return LeggiValore(*r.get(), flag, out, profondita + 1);
}

HRESULT LeggiValore(const VARIANT& v, USHORT flag, Valore& out, int profondita) {
    out.origine = v.vt;
    switch (v.vt) {
        case VT_EMPTY: out.tipo = Valore::Intero, out.i = 0; return S_OK;
        case VT_I1: out.i = static_cast<signed char>(v.cVal); return S_OK;
        case VT_UI1: out.i = v.bVal; return S_OK;
        case VT_I2: out.i = v.iVal; return S_OK;
        case VT_UI2: out.i = v.uiVal; return S_OK;
        case VT_I4: out.i = v.lVal; return S_OK;
        case VT_INT: out.i = v.intVal; return S_OK;
        case VT_UI4: out.i = v.ulVal; return S_OK;
        case VT_UINT: out.i = v.uintVal; return S_OK;
        case VT_I8: out.i = v.llVal; return S_OK;
        case VT_UI8:
            if (v.ullVal > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
                out.tipo = Valore::Reale, out.grande = true, out.u = v.ullVal;
                out.d = static_cast<double>(v.ullVal);
            } else {
                out.i = static_cast<std::int64_t>(v.ullVal);
            }
            return S_OK;
        case VT_BOOL: out.tipo = Valore::Booleano, out.i = v.boolVal ? -1 : 0; return S_OK;
        case VT_R4: out.tipo = Valore::Reale, out.d = static_cast<double>(v.fltVal); return S_OK;
        case VT_R8: out.tipo = Valore::Reale, out.d = v.dblVal; return S_OK;
        case VT_DATE: out.tipo = Valore::Reale, out.d = v.date; return S_OK;
        case VT_CY: out.tipo = Valore::Valuta, out.i = v.cyVal.int64; return S_OK;
        case VT_BSTR: out.tipo = Valore::Testo, out.t = ole::Utf8DaBstr(v.bstrVal); return S_OK;
        case VT_DISPATCH:
        case VT_UNKNOWN: return ValoreOggetto(v.punkVal, flag, out, profondita);
        default: return DISP_E_TYPEMISMATCH;
    }
}

// Round half to even of a currency amount to a whole number.
std::int64_t ValutaIntera(std::int64_t v) {
    std::int64_t q = v / 10000, r = v % 10000;
    if (r > 5000 || (r == 5000 && (q % 2 != 0))) ++q;
    if (r < -5000 || (r == -5000 && (q % 2 != 0))) --q;
    return q;
}

double DoppioDa(const Valore& x) {
    switch (x.tipo) {
        case Valore::Reale: return x.d;
        case Valore::Valuta: return static_cast<double>(x.i) / 10000.0;
        default: return static_cast<double>(x.i);
    }
}

// The value as a number (text is read as one); DISP_E_TYPEMISMATCH for other text.
HRESULT Numerico(Valore& x) {
    if (x.tipo != Valore::Testo) return S_OK;
    auto n = NumeroDaTesto(x.t);
    if (!n) return DISP_E_TYPEMISMATCH;
    x.tipo = Valore::Reale, x.d = *n;
    return S_OK;
}

// The value as a whole number within [minimo, massimo], rounding half to even.
HRESULT Intero(Valore x, std::int64_t minimo, std::uint64_t massimo, std::int64_t& out,
               std::uint64_t* outU = nullptr) {
    HRESULT hr = Numerico(x);
    if (FAILED(hr)) return hr;
    if (x.grande) {
        if (!outU || x.u > massimo) return DISP_E_OVERFLOW;
        *outU = x.u;
        out = 0;
        return S_OK;
    }
    std::int64_t n;
    if (x.tipo == Valore::Reale) {
        double r = vq::ArrotondaPari(x.d);
        if (!std::isfinite(r) || r < static_cast<double>(minimo) || r >= 18446744073709551616.0)
            return DISP_E_OVERFLOW;
        if (r >= 9223372036854775808.0) {
            // Only unsigned 64-bit targets hold this.
            auto u = static_cast<std::uint64_t>(r);
            if (!outU || u > massimo) return DISP_E_OVERFLOW;
            *outU = u;
            out = 0;
            return S_OK;
        }
        n = static_cast<std::int64_t>(r);
    } else if (x.tipo == Valore::Valuta) {
        n = ValutaIntera(x.i);
    } else {
        n = x.i;
    }
    if (n < minimo || (n >= 0 && static_cast<std::uint64_t>(n) > massimo)) return DISP_E_OVERFLOW;
    out = n;
    if (outU) *outU = static_cast<std::uint64_t>(n);
    return S_OK;
}

HRESULT ATesto(const Valore& x, USHORT flag, std::string& t) {
    switch (x.tipo) {
        case Valore::Testo: t = x.t; return S_OK;
        case Valore::Booleano:
            if (flag & VARIANT_ALPHABOOL)
                t = (flag & VARIANT_LOCALBOOL) ? (x.i ? "Vero" : "Falso")
                                               : (x.i ? "True" : "False");
            else t = x.i ? "-1" : "0";
            return S_OK;
        case Valore::Valuta: t = TestoValuta(x.i); return S_OK;
        case Valore::Intero: t = std::to_string(x.i); return S_OK;
        case Valore::Reale:
            if (x.grande) {
                t = std::to_string(x.u);
            } else if (x.origine == VT_DATE) {
                if (x.d < vq::kDataMinima || x.d > vq::kDataMassima || std::isnan(x.d))
                    return DISP_E_OVERFLOW;
                t = TestoData(x.d);
            } else if (x.origine == VT_R4) {
                // A single prints with the digits a single carries, not the double's.
                char buf[32];
                auto [fine, ec] = std::to_chars(buf, buf + sizeof buf, static_cast<float>(x.d));
                double d = 0;
                std::from_chars(buf, fine, d);
                t = ec == std::errc() ? vq::TestoNumero(d) : vq::TestoNumero(x.d);
            } else {
                t = vq::TestoNumero(x.d);
            }
            return S_OK;
    }
    return DISP_E_TYPEMISMATCH;
}

HRESULT Converti(const VARIANT& src, USHORT flag, VARTYPE vt, VARIANT& out) {
    VariantInit(&out);
    // Same type, or an object asked as an object: a copy (QueryInterface for IDispatch).
    if (src.vt == vt) return VariantCopy(&out, &src);
    if (src.vt & VT_ARRAY || vt & VT_ARRAY) return DISP_E_TYPEMISMATCH;
    if (vt == VT_UNKNOWN && src.vt == VT_DISPATCH) {
        out.vt = VT_UNKNOWN;
        out.punkVal = src.pdispVal;
        if (out.punkVal) out.punkVal->AddRef();
        return S_OK;
    }
    if (vt == VT_DISPATCH && src.vt == VT_UNKNOWN) {
        if (!src.punkVal) return DISP_E_TYPEMISMATCH;
        IDispatch* d = nullptr;
        if (FAILED(src.punkVal->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&d))))
            return DISP_E_TYPEMISMATCH;
        out.vt = VT_DISPATCH;
        out.pdispVal = d;
        return S_OK;
    }
    if (vt == VT_DISPATCH || vt == VT_UNKNOWN) return DISP_E_TYPEMISMATCH;
    if (vt == VT_NULL) return src.vt == VT_EMPTY ? (out.vt = VT_NULL, S_OK) : DISP_E_TYPEMISMATCH;
    if (vt == VT_EMPTY) return src.vt == VT_NULL ? DISP_E_TYPEMISMATCH : S_OK;
    if (src.vt == VT_NULL) return DISP_E_TYPEMISMATCH;
    if (src.vt == VT_EMPTY && vt == VT_BSTR) {
        out.bstrVal = SysAllocStringLen(nullptr, 0);
        if (!out.bstrVal) return E_OUTOFMEMORY;
        out.vt = VT_BSTR;
        return S_OK;
    }
    if (src.vt == VT_ERROR) {
        if (vt != VT_I4) return DISP_E_TYPEMISMATCH;
        out.vt = VT_I4;
        out.lVal = src.scode;
        return S_OK;
    }

    Valore x;
    HRESULT hr = LeggiValore(src, flag, x, 0);
    if (FAILED(hr)) return hr;
    std::int64_t n = 0;
    std::uint64_t u = 0;
    switch (vt) {
        case VT_I1:
            hr = Intero(x, -128, 127, n);
            out.cVal = static_cast<CHAR>(n);
            break;
        case VT_UI1:
            hr = Intero(x, 0, 255, n);
            out.bVal = static_cast<BYTE>(n);
            break;
        case VT_I2:
            hr = Intero(x, -32768, 32767, n);
            out.iVal = static_cast<SHORT>(n);
            break;
        case VT_UI2:
            hr = Intero(x, 0, 65535, n);
            out.uiVal = static_cast<USHORT>(n);
            break;
        case VT_I4:
        case VT_INT:
            hr = Intero(x, std::numeric_limits<LONG>::min(), std::numeric_limits<LONG>::max(), n);
            out.lVal = static_cast<LONG>(n);
            break;
        case VT_UI4:
        case VT_UINT:
            hr = Intero(x, 0, std::numeric_limits<ULONG>::max(), n);
            out.ulVal = static_cast<ULONG>(n);
            break;
        case VT_I8:
            hr = Intero(x, std::numeric_limits<LONGLONG>::min(),
                        static_cast<std::uint64_t>(std::numeric_limits<LONGLONG>::max()), n);
            out.llVal = n;
            break;
        case VT_UI8:
            hr = Intero(x, 0, std::numeric_limits<ULONGLONG>::max(), n, &u);
            out.ullVal = u;
            break;
        case VT_R4:
        case VT_R8: {
            hr = Numerico(x);
            if (FAILED(hr)) break;
            double d = x.grande ? static_cast<double>(x.u) : DoppioDa(x);
            if (vt == VT_R8) {
                out.dblVal = d;
            } else {
                if (std::isfinite(d) &&
                    std::fabs(d) > static_cast<double>(std::numeric_limits<float>::max()))
                    hr = DISP_E_OVERFLOW;
                out.fltVal = static_cast<float>(d);
            }
            break;
        }
        case VT_CY: {
            hr = Numerico(x);
            if (FAILED(hr)) break;
            if (x.tipo == Valore::Valuta) {
                out.cyVal.int64 = x.i;
            } else if (x.tipo == Valore::Reale) {
                double s = vq::ArrotondaPari(x.d * 10000.0);
                if (!std::isfinite(s) || s < -9223372036854775808.0 || s >= 9223372036854775808.0)
                    hr = DISP_E_OVERFLOW;
                else out.cyVal.int64 = static_cast<std::int64_t>(s);
            } else if (__builtin_mul_overflow(x.i, std::int64_t{10000}, &out.cyVal.int64)) {
                hr = DISP_E_OVERFLOW;
            }
            break;
        }
        case VT_DATE: {
            double d;
            if (x.tipo == Valore::Testo) {
                auto data = DataDaTesto(x.t);
                if (!data) return DISP_E_TYPEMISMATCH;
                d = *data;
            } else {
                d = x.grande ? static_cast<double>(x.u) : DoppioDa(x);
            }
            if (!(d >= vq::kDataMinima && d <= vq::kDataMassima)) hr = DISP_E_OVERFLOW;
            out.date = d;
            break;
        }
        case VT_BOOL: {
            bool b;
            if (x.tipo == Valore::Testo) {
                auto letto = BooleanoDaTesto(x.t);
                if (!letto) return DISP_E_TYPEMISMATCH;
                b = *letto;
            } else if (x.tipo == Valore::Reale) {
                b = x.d != 0;
            } else {
                b = x.i != 0 || x.grande;
            }
            out.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
            break;
        }
        case VT_BSTR: {
            std::string t;
            hr = ATesto(x, flag, t);
            if (FAILED(hr)) break;
            try {
                out.bstrVal = ole::BstrDaUtf8(t);
            } catch (const std::bad_alloc&) {
                return E_OUTOFMEMORY;
            }
            break;
        }
        default: return DISP_E_BADVARTYPE;
    }
    if (FAILED(hr)) {
        VariantInit(&out);
        return hr;
    }
    out.vt = vt;
    return S_OK;
}

}  // namespace

extern "C" HRESULT VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc,
                                     USHORT wFlags, VARTYPE vt) {
    if (!pvargDest || !pvarSrc) return E_INVALIDARG;
    if (!TipoValido(pvarSrc->vt) || !TipoValido(vt) || (vt & VT_BYREF)) return DISP_E_BADVARTYPE;
    try {
        VARIANT valore;  // the source, dereferenced
        VariantInit(&valore);
        HRESULT hr = VariantCopyInd(&valore, pvarSrc);
        if (FAILED(hr)) return hr;
        VARIANT risultato;
        hr = Converti(valore, wFlags, vt, risultato);
        VariantClear(&valore);
        if (FAILED(hr)) return hr;
        hr = VariantClear(pvargDest);
        if (FAILED(hr)) {
            VariantClear(&risultato);
            return hr;
        }
        *pvargDest = risultato;
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (const vq::Errore&) {
        // Dates outside the calendar the runtime can split.
        return DISP_E_OVERFLOW;
    } catch (...) {
        return E_UNEXPECTED;
    }
}
