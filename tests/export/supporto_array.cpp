#include "supporto_array.h"

#include <stdexcept>

namespace travasa::prove {

Riga NuovaRiga(const char* conto, const char* cassa, DATE data, const char* causale, double euro, LONG lire,
               bool bancomat, bool contoCorrente, bool carta, bool noStatistiche) {
    return Riga{ole::Variante::Testo(conto),         ole::Variante::Testo(cassa),
                ole::Variante::Data(data),           ole::Variante::Testo(causale),
                ole::Variante::R8(euro),             ole::Variante::I4(lire),
                ole::Variante::Booleano(bancomat),   ole::Variante::Booleano(contoCorrente),
                ole::Variante::Booleano(carta),      ole::Variante::Booleano(noStatistiche)};
}

ArrayDati CreaArray(const std::vector<Riga>& righe) {
    SAFEARRAYBOUND limiti[2] = {{10, 0}, {static_cast<ULONG>(righe.size()), 0}};
    ArrayDati array(SafeArrayCreate(VT_VARIANT, 2, limiti));
    if (!array.get()) throw std::runtime_error("SafeArrayCreate");
    for (std::size_t r = 0; r < righe.size(); ++r) {
        for (LONG campo = 0; campo < 10; ++campo) {
            LONG indici[2] = {campo, static_cast<LONG>(r)};
            VARIANT copia = *righe[r][static_cast<std::size_t>(campo)].get();
            if (FAILED(SafeArrayPutElement(array.get(), indici, &copia))) throw std::runtime_error("PutElement");
        }
    }
    return array;
}

}  // namespace travasa::prove
