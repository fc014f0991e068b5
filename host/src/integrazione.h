// The component's one class, Mirtesa.Integrazione.
#pragma once

#include "mirtesahost/mirtesahost.h"
#include "ole/ole.hpp"

namespace mirtesahost {

// The live objects of this library (class objects included), for DllCanUnloadNow.
ole::ContatoreOggetti& Contatore() noexcept;

// A new object with its single reference.
ole::ComPtr<IMirtesaIntegrazione> CreaIntegrazione();

}  // namespace mirtesahost
