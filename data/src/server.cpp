// The in-process server: the three creatable classes and the four entry points of the
// library.
#include "ole/server.hpp"

#include "oggetti.h"

namespace tessadati {

namespace {

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

// Each programmatic id names itself as its description.
const ole::ClasseServer kClassi[] = {
    {CLSID_ClsDatiMirtesa, "ClsDatiMirtesa", "Tessadati.ClsDatiMirtesa", "Tessadati.ClsDatiMirtesa",
     "Apartment", CreaDatiMirtesa},
    {CLSID_clsConti, "clsConti", "Tessadati.clsConti", "Tessadati.clsConti", "Apartment",
     CreaConti},
    {CLSID_clsCassa, "clsCassa", "Tessadati.clsCassa", "Tessadati.clsCassa", "Apartment",
     CreaCassa},
};

// Earlier releases registered a type library and the interfaces marshalled through it.
// The library carries none (clients call it in process, through the vtable or the
// member tables' IDispatch), so those keys go rather than point at nothing.
const IID kInterfacceRitirate[] = {IID__ClsDatiMirtesa, IID__ClsDatiMirtesa_Precedente,
                                   IID__clsConti, IID__clsCassa};
const ole::RegistrazioneRitirata kRitirata = {LIBID_Tessadati, kTessadatiVersioneMaggiore,
                                              kTessadatiVersioneMinore, kInterfacceRitirate};

const ole::DescrizioneServer kDescrizione = {kClassi, &kRitirata};

ole::ServerInProcesso& Server() noexcept {
    static ole::ServerInProcesso server(kDescrizione, Contatore());
    return server;
}

}  // namespace

}  // namespace tessadati

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    return tessadati::Server().OggettoClasse(rclsid, riid, ppv);
}

STDAPI DllCanUnloadNow() { return tessadati::Server().Scaricabile(); }

STDAPI DllRegisterServer() { return tessadati::Server().Registra(); }

STDAPI DllUnregisterServer() { return tessadati::Server().Deregistra(); }
