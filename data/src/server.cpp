// The in-process server: the three creatable classes, the interfaces and the type
// library they are registered with, and the four entry points of the library.
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
    {CLSID_ClsDatiMirtesa, "ClsDatiMirtesa", "Tessadati.ClsDatiMirtesa", "Tessadati.ClsDatiMirtesa", "Apartment",
     CreaDatiMirtesa},
    {CLSID_clsConti, "clsConti", "Tessadati.clsConti", "Tessadati.clsConti", "Apartment", CreaConti},
    {CLSID_clsCassa, "clsCassa", "Tessadati.clsCassa", "Tessadati.clsCassa", "Apartment", CreaCassa},
};

// The interface of the earlier release keeps its registration: clients built against it
// still find their marshaler.
const ole::InterfacciaServer kInterfacce[] = {
    {IID__ClsDatiMirtesa, "_ClsDatiMirtesa"},
    {IID__ClsDatiMirtesa_Precedente, "_ClsDatiMirtesa"},
    {IID__clsConti, "_clsConti"},
    {IID__clsCassa, "_clsCassa"},
};

const ole::LibreriaTipiServer kLibreriaTipi = {LIBID_Tessadati, kTessadatiVersioneMaggiore,
                                                kTessadatiVersioneMinore, "Tessadati"};

const ole::DescrizioneServer kDescrizione = {kClassi, kInterfacce, &kLibreriaTipi};

ole::ServerInProcesso& Server() noexcept {
    static ole::ServerInProcesso server(kDescrizione, Contatore());
    return server;
}

}  // namespace

}  // namespace tessadati

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    return tessadati::Server().OggettoClasse(rclsid, riid, ppv);
}

STDAPI DllCanUnloadNow() {
    return tessadati::Server().Scaricabile();
}

STDAPI DllRegisterServer() {
    return tessadati::Server().Registra();
}

STDAPI DllUnregisterServer() {
    return tessadati::Server().Deregistra();
}
