#include "export/ListaSelezione.h"

#include "shell/messagebox.h"

namespace travasa {

void ListaSelezione::Seleziona(int indice) noexcept {
    selezionata_ = indice >= 0 && indice < static_cast<int>(voci_.size()) ? indice : -1;
}

bool ListaSelezione::AggiungiVoce(const std::string& testo, std::int32_t id) {
    for (std::size_t i = 0; i < voci_.size(); ++i) {
        if (voci_[i].testo == testo) {
            selezionata_ = static_cast<int>(i);
            shell::Beep();
            return false;
        }
    }
    voci_.push_back({testo, id});
    selezionata_ = static_cast<int>(voci_.size()) - 1;
    return true;
}

bool ListaSelezione::Rimuovi() {
    int i = selezionata_;
    if (i == -1) {
        if (voci_.empty()) {
            shell::Beep();
            return false;
        }
        i = 0;
    }
    voci_.erase(voci_.begin() + i);
    if (i > 0) selezionata_ = i - 1;
    else selezionata_ = voci_.empty() ? -1 : 0;
    return true;
}

void ListaSelezione::Ripulisci() noexcept {
    voci_.clear();
    selezionata_ = -1;
}

ListaSelezione::Filtro ListaSelezione::PreparaFiltroConti() const {
    Filtro f;
    for (const auto& v : voci_) {
        if (v.id == -1) {
            return {{}, {}, kContoTutti};
        }
        std::string& lista =
            v.testo.find(kTuttiICodici) != std::string::npos ? f.idConti : f.idCasse;
        if (!lista.empty()) lista += ';';
        lista += std::to_string(v.id);
        if (!f.conto.empty()) f.conto += '\r';
        f.conto += v.testo;
    }
    return f;
}

std::string TestoVoce(const std::string& conto, const std::string& cassa) {
    return conto + kSeparatoreVoce + cassa;
}

}  // namespace travasa
