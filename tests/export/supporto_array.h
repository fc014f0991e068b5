// Row arrays for the writer's tests: VARIANTs indexed [field 0..9][row], as the data
// component returns them.
#pragma once

#include <ole/ole.hpp>

#include <array>
#include <vector>

namespace travasa::prove {

// One transaction, its fields in the order of the row array: Conto, Cassa, Data, Causale,
// Euro, Lire, Bancomat, ContoCorrente, Carta, NoStatistiche.
using Riga = std::array<ole::Variante, 10>;

// A plain row: the given texts, date and amounts, and the four flags (true = -1).
Riga NuovaRiga(const char* conto, const char* cassa, DATE data, const char* causale, double euro, LONG lire,
               bool bancomat = false, bool contoCorrente = false, bool carta = false, bool noStatistiche = false);

// Owns an array and destroys it.
class ArrayDati {
public:
    explicit ArrayDati(SAFEARRAY* p) : p_(p) {}
    ~ArrayDati() {
        if (p_) SafeArrayDestroy(p_);
    }
    ArrayDati(const ArrayDati&) = delete;
    ArrayDati& operator=(const ArrayDati&) = delete;
    ArrayDati(ArrayDati&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
    SAFEARRAY* get() const { return p_; }

private:
    SAFEARRAY* p_;
};

// A [10][rows] array of VARIANTs holding copies of `righe`.
ArrayDati CreaArray(const std::vector<Riga>& righe);

}  // namespace travasa::prove
