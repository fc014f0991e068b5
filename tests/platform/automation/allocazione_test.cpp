// Every allocation of the runtime's BSTRs, arrays and collection items made to fail in
// turn: the call reports E_OUTOFMEMORY (or its documented null), leaves what it was
// given as it was, and leaks nothing (the sanitizer build checks the leaks).
#include "ole/allocazione.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "automazione_prova.h"

namespace {

// Runs `prova` with the allocation n = 0, 1, 2, ... made to fail until a run needs no
// more allocations than it was given; each failed run must satisfy `fallita`, and the
// last one `riuscita`. Returns how many failure points there were.
int OgniFallimento(const std::function<bool(bool& riuscita)>& prova) {
    for (long n = 0; n < 1000; ++n) {
        ole::FallisciAllocazione(n);
        bool riuscita = false;
        const bool ok = prova(riuscita);
        const bool fallimentoAvvenuto = ole::AllocazioniPrimaDelFallimento() < 0;
        ole::FallisciAllocazione(-1);
        if (!fallimentoAvvenuto) {
            EXPECT_TRUE(riuscita) << "senza fallimenti, alla prova " << n;
            return static_cast<int>(n);
        }
        EXPECT_TRUE(ok) << "fallimento dell'allocazione " << n;
    }
    ADD_FAILURE() << "mai riuscita";
    return -1;
}

// Runs `f` with the failure set aside: set-up and checks allocate freely.
template <class F>
auto Libero(F f) {
    const long n = ole::AllocazioniPrimaDelFallimento();
    ole::FallisciAllocazione(-1);
    auto r = f();
    ole::FallisciAllocazione(n);
    return r;
}

SAFEARRAY* ArrayDiTesti(LONG quanti) {
    SAFEARRAYBOUND b{static_cast<ULONG>(quanti), 0};
    SAFEARRAY* a = SafeArrayCreate(VT_BSTR, 1, &b);
    for (LONG i = 0; a && i < quanti; ++i) {
        ole::Bstr t(u"voce");
        EXPECT_EQ(SafeArrayPutElement(a, &i, t.get()), S_OK);
    }
    return a;
}

TEST(Allocazione, OgniPercorsoDiMemoriaEsaurita) {
    struct Caso {
        const char* nome;
        std::function<bool(bool&)> prova;  // true: a failure was reported as documented
    };
    const Caso casi[] = {
        {"SysAllocString",
         [](bool& riuscita) {
             BSTR b = SysAllocString(u"testo");
             riuscita = b != nullptr;
             SysFreeString(b);
             return true;  // a null BSTR is how it reports the failure
         }},
        {"SysReAllocString",
         [](bool& riuscita) {
             BSTR b = Libero([] { return SysAllocString(u"prima"); });
             const INT r = SysReAllocString(&b, u"dopo, più lungo");
             const std::string ora = Libero([&] { return ole::Utf8DaBstr(b); });
             riuscita = r != 0 && ora == "dopo, più lungo";
             SysFreeString(b);
             return r != 0 || ora == "prima";
         }},
        {"SafeArrayCreate",
         [](bool& riuscita) {
             SAFEARRAYBOUND b{4, 0};
             SAFEARRAY* a = SafeArrayCreate(VT_VARIANT, 1, &b);
             riuscita = a != nullptr;
             if (a) SafeArrayDestroy(a);
             return true;
         }},
        {"SafeArrayCopy",
         [](bool& riuscita) {
             SAFEARRAY* a = Libero([] { return ArrayDiTesti(3); });
             SAFEARRAY* copia = nullptr;
             const HRESULT hr = SafeArrayCopy(a, &copia);
             riuscita = hr == S_OK && copia != nullptr;
             const bool ok = hr == S_OK || (hr == E_OUTOFMEMORY && copia == nullptr);
             if (copia) SafeArrayDestroy(copia);
             SafeArrayDestroy(a);
             return ok;
         }},
        {"SafeArrayRedim",
         [](bool& riuscita) {
             SAFEARRAY* a = Libero([] { return ArrayDiTesti(2); });
             SAFEARRAYBOUND nuovo{1000, 0};
             const HRESULT hr = SafeArrayRedim(a, &nuovo);
             riuscita = hr == S_OK && a->rgsabound[0].cElements == 1000;
             const bool ok = hr == S_OK || (hr == E_OUTOFMEMORY && a->rgsabound[0].cElements == 2);
             SafeArrayDestroy(a);
             return ok;
         }},
        {"VariantChangeType a testo",
         [](bool& riuscita) {
             ole::Variante da = ole::Variante::I4(1234), a;
             const HRESULT hr = VariantChangeType(a.put(), da.get(), 0, VT_BSTR);
             riuscita = hr == S_OK && Libero([&] { return ole::Utf8DaBstr(a->bstrVal); }) == "1234";
             return hr == S_OK || (hr == E_OUTOFMEMORY && a->vt == VT_EMPTY);
         }},
        {"Collection.Add con chiave",
         [](bool& riuscita) {
             auto c = Libero([] { return ole::NuovaCollection(); });
             ole::Variante v = Libero([] { return ole::Variante::Testo("valore"); });
             ole::Variante k = Libero([] { return ole::Variante::Testo("chiave"); });
             const HRESULT hr = c->Add(v.get(), k.get(), nullptr, nullptr);
             LONG n = -1;
             EXPECT_EQ(c->Count(&n), S_OK);
             riuscita = hr == S_OK && n == 1;
             return hr == S_OK || (FAILED(hr) && n == 0);
         }},
    };
    for (const Caso& c : casi) {
        SCOPED_TRACE(c.nome);
        EXPECT_GE(OgniFallimento(c.prova), 1) << "nessuna allocazione da far fallire";
    }
}

}  // namespace
