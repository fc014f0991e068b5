// Built only while vqUtilita lacks EseguiEx and Sleep (see export/CMakeLists.txt): the
// help page cannot be opened (error 5 reported as EseguiEx would report a failure) and
// the final pause is skipped. Replaced by ServiziSistema.cpp as soon as they exist.
#include "export/Servizi.h"
#include "shell/messagebox.h"
#include "vq/errore.h"

namespace travasa {

namespace {

class ApriAssente final : public ApriDocumento {
public:
    std::int32_t Apri(std::intptr_t, const std::string& file, bool muto) override {
        if (!muto) shell::Mostra(file + ": " + vq::DescrizioneRuntime(5), "Errore", shell::MB_ICONSTOP);
        return 5;
    }
};

}  // namespace

ApriDocumento& ApriDocumentoSistema() {
    static ApriAssente apri;
    return apri;
}

void PausaSistema(std::int32_t) {}

}  // namespace travasa
