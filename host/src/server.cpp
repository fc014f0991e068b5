// The in-process server: the one creatable class, Mirtesa.Integrazione, and the four
// entry points of the library. No type library: the class publishes its members
// through IDispatch alone.
#include "ole/server.hpp"

#include "integrazione.h"

namespace mirtesahost {

namespace {

const char* const kDescrizioneClasse = "Integrazione con Mirtesa";

ole::ComPtr<IUnknown> Crea() {
    auto p = CreaIntegrazione();
    return ole::ComPtr<IUnknown>(p.get());
}

const ole::ClasseServer kClassi[] = {
    {CLSID_MirtesaIntegrazione, kDescrizioneClasse, kMirtesaIntegrazioneProgId, kDescrizioneClasse,
     "Apartment", Crea},
};

const ole::DescrizioneServer kDescrizione = {kClassi};

ole::ServerInProcesso& Server() noexcept {
    static ole::ServerInProcesso server(kDescrizione, Contatore());
    return server;
}

}  // namespace

}  // namespace mirtesahost

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    return mirtesahost::Server().OggettoClasse(rclsid, riid, ppv);
}

STDAPI DllCanUnloadNow() { return mirtesahost::Server().Scaricabile(); }

STDAPI DllRegisterServer() { return mirtesahost::Server().Registra(); }

STDAPI DllUnregisterServer() { return mirtesahost::Server().Deregistra(); }
