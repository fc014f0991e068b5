// vqUtilita: the small text jobs (replace, split, remove blanks).
#include <util/vqUtilita.h>

#include "interno.h"

#include <vq/errore.h>

#include <cstdint>
#include <string>
#include <vector>

std::string vqUtilita::vqReplace(const std::string& testo, const std::string& ricerca,
                                 const std::string& sostituzione) {
    // An empty replacement deletes nothing: the text comes back unchanged.
    if (ricerca.empty() || testo.empty() || sostituzione.empty()) return testo;
    std::string risultato;
    risultato.reserve(testo.size());
    std::size_t i = 0;
    while (i < testo.size()) {
        if (testo.compare(i, ricerca.size(), ricerca) == 0) {
            risultato += sostituzione;
            i += ricerca.size();
        } else {
            risultato += testo[i];
            ++i;
        }
    }
    return risultato;
}

bool vqUtilita::vqSplit(std::vector<std::string>& tmp, const std::string& buf,
                        const std::string& sep) {
    tmp.assign(1, std::string());
    if (buf.empty() || sep.empty()) return false;
    vq::utilita::VerificaLunghezza16(buf);
    std::string_view resto(buf);
    if (resto.size() >= sep.size() && resto.substr(resto.size() - sep.size()) == sep)
        resto.remove_suffix(sep.size());
    std::int16_t indice = 0;  // the element index is a 16-bit counter
    std::size_t i = 0;
    while (i < resto.size()) {
        if (resto.compare(i, sep.size(), sep) == 0) {
            if (indice == INT16_MAX) vq::Solleva(vq::kErrOverflow);
            ++indice;
            tmp.emplace_back();
            i += sep.size();
        } else {
            tmp.back() += resto[i];
            ++i;
        }
    }
    return true;
}

std::string vqUtilita::EspuraSpazi(const std::string& testo) {
    vq::utilita::VerificaLunghezza16(testo);
    std::string risultato;
    risultato.reserve(testo.size());
    for (const char c : testo)
        if (c != ' ') risultato += c;
    return risultato;
}
