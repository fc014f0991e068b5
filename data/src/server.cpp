// The in-process server's entry points: class objects for the three creatable classes,
// and the answer to "may the library be unloaded now".
#include <atomic>

#include "oggetti.h"

namespace tessadati {

namespace {

std::atomic<long> g_blocchi{0};

using Creatore = ole::ComPtr<IUnknown> (*)();

class Fabbrica final : public ole::Oggetto<IClassFactory> {
public:
    explicit Fabbrica(Creatore crea) noexcept : Oggetto(&Contatore()), crea_(crea) {}

    STDMETHODIMP CreateInstance(IUnknown* esterno, REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (esterno) return CLASS_E_NOAGGREGATION;
        return ole::Proteggi([&] { return crea_()->QueryInterface(riid, ppv); });
    }
    STDMETHODIMP LockServer(BOOL blocca) override {
        if (blocca)
            g_blocchi.fetch_add(1);
        else
            g_blocchi.fetch_sub(1);
        return S_OK;
    }

private:
    void* trova(REFIID riid) noexcept override {
        return IsEqualIID(riid, IID_IClassFactory) ? static_cast<IClassFactory*>(this) : nullptr;
    }

    Creatore crea_;
};

ole::ComPtr<IUnknown> CreaDatiMirtesa() {
    auto p = ClsDatiMirtesa::Crea(MotorePredefinito());
    return ole::ComPtr<IUnknown>(p.get());
}
ole::ComPtr<IUnknown> CreaConti() {
    auto p = ole::CreaOggetto<ClsConti, _clsConti>();
    return ole::ComPtr<IUnknown>(p.get());
}
ole::ComPtr<IUnknown> CreaCassa() {
    auto p = ole::CreaOggetto<ClsCassa, _clsCassa>();
    return ole::ComPtr<IUnknown>(p.get());
}

}  // namespace

}  // namespace tessadati

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    using namespace tessadati;
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    Creatore crea = nullptr;
    if (IsEqualCLSID(rclsid, CLSID_ClsDatiMirtesa))
        crea = CreaDatiMirtesa;
    else if (IsEqualCLSID(rclsid, CLSID_clsConti))
        crea = CreaConti;
    else if (IsEqualCLSID(rclsid, CLSID_clsCassa))
        crea = CreaCassa;
    else
        return CLASS_E_CLASSNOTAVAILABLE;
    return ole::Proteggi([&] {
        auto fabbrica = ole::CreaOggetto<Fabbrica, IClassFactory>(crea);
        return fabbrica->QueryInterface(riid, ppv);
    });
}

STDAPI DllCanUnloadNow() {
    using namespace tessadati;
    return Contatore().vivi() == 0 && g_blocchi.load() == 0 ? S_OK : S_FALSE;
}
