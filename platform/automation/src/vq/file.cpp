#include "vq/file.h"

#include <cerrno>
#include <utility>

namespace vq {

std::int32_t NumeroDaErrno(int codice) noexcept {
    switch (codice) {
        case ENOENT:
        case ENOTDIR: return 76;
        case EACCES:
        case EPERM:
        case EROFS:
        case ETXTBSY: return 70;
        case ENOSPC:
        case EDQUOT:
        case EFBIG: return 61;
        case EMFILE:
        case ENFILE: return 67;
        case EIO: return 57;
        default: return 75;
    }
}

Errore ErroreDaErrno(int codice, const std::string& contesto) {
    const std::int32_t numero = NumeroDaErrno(codice);
    std::string descrizione = DescrizioneRuntime(numero);
    if (!contesto.empty()) descrizione += ": " + contesto;
    return Errore(numero, std::move(descrizione));
}

void SollevaErrno(int codice, const std::string& contesto) {
    Errore e = ErroreDaErrno(codice, contesto);
    Solleva(e.numero(), e.descrizione());
}

}  // namespace vq
