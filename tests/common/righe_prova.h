// Row arrays for the writer's tests: VARIANTs indexed [field 0..9][row], as the data
// component returns them; and a progress indicator that remembers what it is given.
#pragma once

#include <ole/ole.hpp>

#include <array>
#include <memory>
#include <stdexcept>
#include <vector>

#include "export/ModXML.h"

namespace prova {

// One transaction, its fields in the order of the row array: Conto, Cassa, Data, Causale,
// Euro, Lire, Bancomat, ContoCorrente, Carta, NoStatistiche.
using Riga = std::array<ole::Variante, 10>;

// A plain row: the given texts, date and amounts, and the four flags (true = -1).
inline Riga NuovaRiga(const char* conto, const char* cassa, DATE data, const char* causale,
                      double euro, LONG lire, bool bancomat = false, bool contoCorrente = false,
                      bool carta = false, bool noStatistiche = false) {
    return Riga{ole::Variante::Testo(conto),       ole::Variante::Testo(cassa),
                ole::Variante::Data(data),         ole::Variante::Testo(causale),
                ole::Variante::R8(euro),           ole::Variante::I4(lire),
                ole::Variante::Booleano(bancomat), ole::Variante::Booleano(contoCorrente),
                ole::Variante::Booleano(carta),    ole::Variante::Booleano(noStatistiche)};
}

// Owns an array and destroys it.
struct DistruggiArray {
    void operator()(SAFEARRAY* p) const { SafeArrayDestroy(p); }
};
using ArrayDati = std::unique_ptr<SAFEARRAY, DistruggiArray>;

// A [10][rows] array of VARIANTs holding copies of `righe`.
inline ArrayDati CreaArray(const std::vector<Riga>& righe) {
    SAFEARRAYBOUND limiti[2] = {{10, 0}, {static_cast<ULONG>(righe.size()), 0}};
    ArrayDati array(SafeArrayCreate(VT_VARIANT, 2, limiti));
    if (!array) throw std::runtime_error("SafeArrayCreate");
    for (std::size_t r = 0; r < righe.size(); ++r) {
        for (LONG campo = 0; campo < 10; ++campo) {
            LONG indici[2] = {campo, static_cast<LONG>(r)};
            VARIANT copia = *righe[r][static_cast<std::size_t>(campo)].get();
            if (FAILED(SafeArrayPutElement(array.get(), indici, &copia)))
                throw std::runtime_error("PutElement");
        }
    }
    return array;
}

// Remembers every value it is given.
class Registratore : public travasa::IndicatoreProgresso {
public:
    Registratore(float minimo = 0, float massimo = 100) : minimo_(minimo), massimo_(massimo) {}
    float Min() const override { return minimo_; }
    float Max() const override { return massimo_; }
    void Value(float valore) override { valori.push_back(valore); }
    std::vector<float> valori;

private:
    float minimo_, massimo_;
};

}  // namespace prova
