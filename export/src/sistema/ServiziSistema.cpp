// The document opener and the pause of the running system, through vqUtilita.
#include "export/Servizi.h"
#include "util/vqUtilita.h"

namespace travasa {

namespace {

class ApriConShell final : public ApriDocumento {
public:
    std::int32_t Apri(std::intptr_t hWnd, const std::string& file, bool muto) override {
        return vqUtilita::EseguiEx(hWnd, file, muto) ? 0 : -1;
    }
};

}  // namespace

ApriDocumento& ApriDocumentoSistema() {
    static ApriConShell apri;
    return apri;
}

void PausaSistema(std::int32_t millisecondi) { vqUtilita::Sleep(millisecondi); }

}  // namespace travasa
