// A stored date converts to a valid date or fails with one of its known errors; a text of
// eight digits naming a real calendar day converts to that day.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "export/DateRicordate.h"
#include "vq/data.h"
#include "vq/errore.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dati, std::size_t n) {
    const std::string testo(reinterpret_cast<const char*>(dati), n);
    vq::DATA d = 0;
    try {
        d = travasa::ConvertiData(testo);
    } catch (const vq::Errore& e) {
        const int numero = e.numero();
        if (numero != travasa::kErrFormatoData && numero != vq::kErrTipo &&
            numero != vq::kErrOverflow && numero != vq::kErrChiamataNonValida)
            std::abort();
        if ((numero == travasa::kErrFormatoData) != (testo.size() != 8)) std::abort();
        return 0;
    }
    if (testo.size() != 8 || d < vq::kDataMinima || d > vq::kDataMassima || d != vq::SoloData(d))
        std::abort();
    bool cifre = true;
    for (char c : testo) cifre = cifre && c >= '0' && c <= '9';
    if (!cifre) return 0;
    const int anno = std::stoi(testo.substr(0, 4)), mese = std::stoi(testo.substr(4, 2)),
              giorno = std::stoi(testo.substr(6, 2));
    if (anno < 100 || mese < 1 || mese > 12 || giorno < 1 || giorno > vq::GiorniNelMese(anno, mese))
        return 0;
    const vq::DataOra p = vq::ScomponiData(d);
    if (p.anno != anno || p.mese != mese || p.giorno != giorno) std::abort();
    return 0;
}
