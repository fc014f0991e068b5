// VARIANT life cycle (copies, clears, references) and VariantChangeType.
#include "automazione_prova.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <optional>

namespace {

using prova::Contato;

static_assert(sizeof(VARIANT) == (sizeof(void*) == 8 ? 24 : 16));
static_assert(offsetof(VARIANT, vt) == 0 && offsetof(VARIANT, lVal) == 8);
static_assert(sizeof(GUID) == 16);

TEST(Variant, CopiaProfondaDelTestoEDelleMatrici) {
    ole::Variante t = ole::Variante::Testo("Banca");
    ole::Variante c(*t.get());
    ASSERT_EQ(c.vt(), VT_BSTR);
    EXPECT_NE(c->bstrVal, t->bstrVal);
    EXPECT_EQ(ole::Utf8DaBstr(c->bstrVal), "Banca");

    ole::Variante m = ole::Variante::Array(SafeArrayCreateVector(VT_VARIANT, 0, 2));
    LONG i = 1;
    ASSERT_EQ(SafeArrayPutElement(m->parray, &i, t.get()), S_OK);
    ole::Variante mc(*m.get());
    ASSERT_EQ(mc.vt(), VT_ARRAY | VT_VARIANT);
    EXPECT_NE(mc->parray, m->parray);
    m.reset();  // the copy stands on its own
    VARIANT e;
    ASSERT_EQ(SafeArrayGetElement(mc->parray, &i, &e), S_OK);
    EXPECT_EQ(ole::Utf8DaBstr(e.bstrVal), "Banca");
    VariantClear(&e);
}

TEST(Variant, OggettiContatiAllaCopiaERilasciatiAllaPulizia) {
    {
        auto obj = ole::CreaOggetto<Contato, IDispatch>();
        auto* c = static_cast<Contato*>(obj.get());
        ole::Variante a = ole::Variante::Oggetto(obj.get());
        EXPECT_EQ(c->riferimenti(), 2u);
        {
            ole::Variante b(*a.get());
            EXPECT_EQ(c->riferimenti(), 3u);
            ole::Variante d = std::move(b);
            EXPECT_EQ(c->riferimenti(), 3u);
        }
        EXPECT_EQ(c->riferimenti(), 2u);
        VARIANT out = a.detach();
        EXPECT_EQ(c->riferimenti(), 2u);
        VariantClear(&out);
        EXPECT_EQ(out.vt, VT_EMPTY);
        EXPECT_EQ(c->riferimenti(), 1u);
    }
    EXPECT_EQ(Contato::vivi, 0);
}

TEST(Variant, CopiaDaUnElementoDellaDestinazione) {
    // The source lives inside the destination's own array: the copy must be taken before
    // the destination is cleared.
    VARIANT dest;
    VariantInit(&dest);
    dest.vt = VT_ARRAY | VT_VARIANT;
    dest.parray = SafeArrayCreateVector(VT_VARIANT, 0, 1);
    ole::Variante t = ole::Variante::Testo("interno");
    LONG i = 0;
    ASSERT_EQ(SafeArrayPutElement(dest.parray, &i, t.get()), S_OK);
    VARIANT* elemento = nullptr;
    ASSERT_EQ(SafeArrayPtrOfIndex(dest.parray, &i, reinterpret_cast<void**>(&elemento)), S_OK);
    ASSERT_EQ(VariantCopy(&dest, elemento), S_OK);
    ASSERT_EQ(dest.vt, VT_BSTR);
    EXPECT_EQ(ole::Utf8DaBstr(dest.bstrVal), "interno");
    VariantClear(&dest);
}

TEST(Variant, TipiNonValidiRifiutati) {
    for (VARTYPE vt : {VARTYPE(VT_VARIANT), VARTYPE(15), VARTYPE(VT_EMPTY | VT_BYREF),
                       VARTYPE(0x1000 | VT_I4), VARTYPE(VT_ARRAY | VT_EMPTY)}) {
        VARIANT v;
        VariantInit(&v);
        v.vt = vt;
        VARIANT d;
        VariantInit(&d);
        EXPECT_EQ(VariantCopy(&d, &v), DISP_E_BADVARTYPE) << vt;
        EXPECT_EQ(VariantClear(&v), DISP_E_BADVARTYPE) << vt;
        EXPECT_EQ(d.vt, VT_EMPTY);
    }
}

TEST(Variant, CopiaIndirettaDereferenzia) {
    LONG n = 42;
    BSTR s = SysAllocString(u"rif");
    ole::Variante interno = ole::Variante::R8(2.5);
    struct {
        VARTYPE vt;
        void* rif;
    } casi[] = {
        {VT_I4 | VT_BYREF, &n}, {VT_BSTR | VT_BYREF, &s}, {VT_VARIANT | VT_BYREF, interno.get()}};
    for (const auto& c : casi) {
        VARIANT r;
        VariantInit(&r);
        r.vt = c.vt;
        r.byref = c.rif;
        ole::Variante d;
        ASSERT_EQ(VariantCopyInd(d.get(), &r), S_OK);
        EXPECT_EQ(d.vt(), c.vt == (VT_VARIANT | VT_BYREF) ? VT_R8 : (c.vt & ~VT_BYREF));
        // A plain copy keeps the reference; clearing it frees nothing.
        ole::Variante p(r);
        EXPECT_EQ(p.vt(), c.vt);
    }
    SysFreeString(s);
}

// --- VariantChangeType ------------------------------------------------------------------

struct Conversione {
    ole::Variante (*sorgente)();
    VARTYPE verso;
    HRESULT esito;
    double numero;      // expected numeric value (integers, doubles, dates, currency / 10,000)
    const char* testo;  // expected text for VT_BSTR
    USHORT flag = 0;
};

double Numero(const VARIANT& v) {
    switch (v.vt) {
        case VT_I2: return v.iVal;
        case VT_I4: return v.lVal;
        case VT_UI1: return v.bVal;
        case VT_UI4: return v.ulVal;
        case VT_R8: return v.dblVal;
        case VT_R4: return static_cast<double>(v.fltVal);
        case VT_DATE: return v.date;
        case VT_BOOL: return v.boolVal;
        case VT_CY: return static_cast<double>(v.cyVal.int64) / 10000.0;
        default: return NAN;
    }
}

class CambioTipo : public ::testing::TestWithParam<Conversione> {};

TEST_P(CambioTipo, Converte) {
    const auto& c = GetParam();
    ole::Variante s = c.sorgente();
    ole::Variante d = ole::Variante::I4(-99);
    HRESULT hr = VariantChangeType(d.get(), s.get(), c.flag, c.verso);
    ASSERT_EQ(hr, c.esito);
    if (FAILED(hr)) {
        EXPECT_EQ(d.vt(), VT_I4);  // untouched
        EXPECT_EQ(d->lVal, -99);
        return;
    }
    ASSERT_EQ(d.vt(), c.verso);
    if (c.verso == VT_BSTR) {
        EXPECT_EQ(ole::Utf8DaBstr(d->bstrVal), c.testo);
    } else if (c.verso != VT_EMPTY && c.verso != VT_NULL) {
        EXPECT_DOUBLE_EQ(Numero(*d.get()), c.numero);
    }
}

ole::Variante Valuta(std::int64_t x) { return ole::Variante::Valuta(x); }
// An object whose default value is 11.
ole::Variante OggettoUndici() {
    return ole::Variante::Oggetto(ole::CreaOggetto<Contato, IDispatch>(11).get());
}
ole::Variante UnDecimoR4() {
    ole::Variante v;
    v->vt = VT_R4;
    v->fltVal = 0.1f;
    return v;
}

INSTANTIATE_TEST_SUITE_P(
    Tabella, CambioTipo,
    ::testing::Values(
        // Narrowing rounds half to even; out of range is an overflow.
        Conversione{[] { return ole::Variante::R8(2.5); }, VT_I2, S_OK, 2, nullptr},
        Conversione{[] { return ole::Variante::R8(32767.5); }, VT_I2, DISP_E_OVERFLOW, 0, nullptr},
        Conversione{[] { return ole::Variante::R8(-32768.5); }, VT_I2, S_OK, -32768, nullptr},
        Conversione{[] { return ole::Variante::I4(32768); }, VT_I2, DISP_E_OVERFLOW, 0, nullptr},
        Conversione{[] { return ole::Variante::I4(300); }, VT_UI1, DISP_E_OVERFLOW, 0, nullptr},
        Conversione{[] { return ole::Variante::I4(-1); }, VT_UI4, DISP_E_OVERFLOW, 0, nullptr},
        Conversione{[] { return ole::Variante::R8(NAN); }, VT_I4, DISP_E_OVERFLOW, 0, nullptr},
        Conversione{[] { return ole::Variante::R8(2147483647.5); }, VT_I4, DISP_E_OVERFLOW, 0,
                    nullptr},
        Conversione{[] { return Valuta(25000); }, VT_I4, S_OK, 2, nullptr},    // 2.5 -> 2
        Conversione{[] { return Valuta(-35000); }, VT_I4, S_OK, -4, nullptr},  // -3.5 -> -4
        Conversione{[] { return ole::Variante::Booleano(true); }, VT_I2, S_OK, -1, nullptr},
        // Text to numbers: the whole text, "." as the decimal point.
        Conversione{[] { return ole::Variante::Testo("  12 "); }, VT_I4, S_OK, 12, nullptr},
        Conversione{[] { return ole::Variante::Testo("-1e3"); }, VT_I4, S_OK, -1000, nullptr},
        Conversione{[] { return ole::Variante::Testo("1.25"); }, VT_R8, S_OK, 1.25, nullptr},
        Conversione{[] { return ole::Variante::Testo("12abc"); }, VT_I4, DISP_E_TYPEMISMATCH, 0,
                    nullptr},
        Conversione{[] { return ole::Variante::Testo(""); }, VT_I4, DISP_E_TYPEMISMATCH, 0,
                    nullptr},
        Conversione{[] { return ole::Variante::Testo("1.2345678"); }, VT_CY, S_OK, 1.2346, nullptr},
        Conversione{[] { return ole::Variante::Testo("Vero"); }, VT_BOOL, S_OK, -1, nullptr},
        Conversione{[] { return ole::Variante::Testo("false"); }, VT_BOOL, S_OK, 0, nullptr},
        Conversione{[] { return ole::Variante::Testo("forse"); }, VT_BOOL, DISP_E_TYPEMISMATCH, 0,
                    nullptr},
        // Numbers and others to text.
        Conversione{[] { return ole::Variante::I4(-42); }, VT_BSTR, S_OK, 0, "-42"},
        Conversione{[] { return ole::Variante::R8(1.5); }, VT_BSTR, S_OK, 0, "1.5"},
        Conversione{UnDecimoR4, VT_BSTR, S_OK, 0, "0.1"},
        Conversione{[] { return Valuta(12345678); }, VT_BSTR, S_OK, 0, "1234.5678"},
        Conversione{[] { return Valuta(-15000); }, VT_BSTR, S_OK, 0, "-1.5"},
        Conversione{[] { return ole::Variante::Booleano(true); }, VT_BSTR, S_OK, 0, "-1"},
        Conversione{[] { return ole::Variante::Booleano(true); }, VT_BSTR, S_OK, 0, "True",
                    VARIANT_ALPHABOOL},
        Conversione{[] { return ole::Variante::Booleano(false); }, VT_BSTR, S_OK, 0, "Falso",
                    VARIANT_ALPHABOOL | VARIANT_LOCALBOOL},
        Conversione{[] { return ole::Variante(); }, VT_BSTR, S_OK, 0, ""},
        // Dates, before 1900 included.
        Conversione{[] { return ole::Variante::Data(38353); }, VT_BSTR, S_OK, 0, "01/01/2005"},
        Conversione{[] { return ole::Variante::Data(38353.25); }, VT_BSTR, S_OK, 0,
                    "01/01/2005 06:00:00"},
        Conversione{[] { return ole::Variante::Data(-1.25); }, VT_BSTR, S_OK, 0,
                    "29/12/1899 06:00:00"},
        Conversione{[] { return ole::Variante::Data(0.5); }, VT_BSTR, S_OK, 0, "12:00:00"},
        Conversione{[] { return ole::Variante::Testo("01/01/2005"); }, VT_DATE, S_OK, 38353,
                    nullptr},
        Conversione{[] { return ole::Variante::Testo("2005-01-01T06:00:00"); }, VT_DATE, S_OK,
                    38353.25, nullptr},
        Conversione{[] { return ole::Variante::Testo("31/02/2005"); }, VT_DATE, DISP_E_TYPEMISMATCH,
                    0, nullptr},
        Conversione{[] { return ole::Variante::R8(1e7); }, VT_DATE, DISP_E_OVERFLOW, 0, nullptr},
        // Null converts to nothing but Null; Empty is zero.
        Conversione{[] { return ole::Variante::Null(); }, VT_I4, DISP_E_TYPEMISMATCH, 0, nullptr},
        Conversione{[] { return ole::Variante::Null(); }, VT_BSTR, DISP_E_TYPEMISMATCH, 0, nullptr},
        Conversione{[] { return ole::Variante(); }, VT_I4, S_OK, 0, nullptr},
        Conversione{[] { return ole::Variante::Null(); }, VT_NULL, S_OK, 0, nullptr},
        // An object through its default value, unless told not to.
        Conversione{OggettoUndici, VT_I2, S_OK, 11, nullptr},
        Conversione{OggettoUndici, VT_I2, DISP_E_TYPEMISMATCH, 0, nullptr, VARIANT_NOVALUEPROP}));

TEST(CambioTipo, SulPostoLiberaIlTesto) {
    ole::Variante v = ole::Variante::Testo("123");
    ASSERT_EQ(VariantChangeType(v.get(), v.get(), 0, VT_I4), S_OK);
    EXPECT_EQ(v.vt(), VT_I4);
    EXPECT_EQ(v->lVal, 123);
    EXPECT_EQ(Contato::vivi, 0);
}

}  // namespace
