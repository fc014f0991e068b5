#include "export/Servizi.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

namespace travasa {

namespace {

Terminazione& Hook() {
    static Terminazione hook;
    return hook;
}

}  // namespace

Terminazione ImpostaTerminazione(Terminazione hook) {
    return std::exchange(Hook(), std::move(hook));
}

void TerminaProgramma(int stato) {
    if (const auto& hook = Hook()) {
        hook(stato);
        throw ProgrammaTerminato{stato};
    }
    // At once: no unload, no destructors of the window; what was printed still reaches
    // its stream.
    std::fflush(nullptr);
    std::_Exit(stato);
}

}  // namespace travasa
