// A small in-process class in a library of its own, for the class-activation tests.
#include "prova.h"

#include <ole/ole.hpp>

#include <string>

namespace {

ole::ContatoreOggetti gOggetti;
std::atomic<long> gBlocchi{0};

class Prova final : public ole::Oggetto<IProva> {
public:
    Prova() : Oggetto(&gOggetti) {}

    STDMETHODIMP Somma(LONG a, LONG b, LONG* risultato) override {
        return ole::Proteggi([&] {
            if (!risultato) throw vq::Errore(5, "Argomento mancante");
            *risultato = a + b;
        });
    }
    STDMETHODIMP Fallisci(LONG numero) override {
        return ole::Proteggi(
            [&] { throw vq::Errore(numero, "Errore di prova " + std::to_string(numero)); },
            "ClasseProva");
    }
    STDMETHODIMP Elenco(LONG n, _Collection** risultato) override {
        return ole::Proteggi([&] {
            auto c = ole::NuovaCollection();
            for (LONG i = 1; i <= n; ++i) {
                ole::Variante v = ole::Variante::Testo("elemento " + std::to_string(i));
                ole::Verifica(c->Add(v.get(), nullptr, nullptr, nullptr));
            }
            *risultato = c.detach();
        });
    }

private:
    void* trova(REFIID riid) noexcept override {
        return IsEqualIID(riid, IID_IProva) ? static_cast<IProva*>(this) : nullptr;
    }
};

class Fabbrica final : public ole::Oggetto<IClassFactory> {
public:
    Fabbrica() : Oggetto(&gOggetti) {}
    STDMETHODIMP CreateInstance(IUnknown* esterno, REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (esterno) return CLASS_E_NOAGGREGATION;
        return ole::Proteggi([&]() -> HRESULT {
            auto p = ole::CreaOggetto<Prova, IProva>();
            return p->QueryInterface(riid, ppv);
        });
    }
    STDMETHODIMP LockServer(BOOL blocca) override {
        blocca ? ++gBlocchi : --gBlocchi;
        return S_OK;
    }

private:
    void* trova(REFIID riid) noexcept override {
        return IsEqualIID(riid, IID_IClassFactory) ? static_cast<IClassFactory*>(this) : nullptr;
    }
};

}  // namespace

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualCLSID(rclsid, CLSID_Prova)) return CLASS_E_CLASSNOTAVAILABLE;
    return ole::Proteggi([&]() -> HRESULT {
        auto f = ole::CreaOggetto<Fabbrica, IClassFactory>();
        return f->QueryInterface(riid, ppv);
    });
}

STDAPI DllCanUnloadNow() { return gOggetti.vivi() == 0 && gBlocchi == 0 ? S_OK : S_FALSE; }
