// The selection list of the main window (ListaSelezione): the accounts and cash codes the
// user collects for an export, in the order they were added.
//
// An entry is a display text, unique in the list (exact comparison), and an item id:
//   "<Tutti i Conti>"                        -1            every account
//   account name + "\ " + "<Tutti i Codici>"  the account id an account, all its cash codes
//   account name + "\ " + cash-code name      the cash-code id one cash code
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace travasa {

inline constexpr const char* kTuttiIConti = "<Tutti i Conti>";
inline constexpr const char* kTuttiICodici = "<Tutti i Codici>";
inline constexpr const char* kSeparatoreVoce = "\\ ";
// The header's account text when the list stands for every account.
inline constexpr const char* kContoTutti = "Tutti i conti\\codici";

struct VoceSelezione {
    std::string testo;
    std::int32_t id = 0;
    friend bool operator==(const VoceSelezione&, const VoceSelezione&) = default;
};

class ListaSelezione {
public:
    const std::vector<VoceSelezione>& Voci() const noexcept { return voci_; }
    // The selected entry, -1 when none.
    int Selezionata() const noexcept { return selezionata_; }
    // Selects entry `indice` (-1: none); an index outside the list selects nothing.
    void Seleziona(int indice) noexcept;

    // AggiungiVoce: when an entry with this text exists, selects it, beeps and returns
    // false; otherwise appends the entry, selects it and returns true.
    bool AggiungiVoce(const std::string& testo, std::int32_t id);
    // Remove: the selected entry, or the first when none is selected; then selects the
    // entry before it (entry 0 when the first was removed and entries remain). Beeps and
    // returns false on an empty list.
    bool Rimuovi();
    // Clear: removes every entry, silently.
    void Ripulisci() noexcept;

    // The filter of an export: the ";"-separated account ids and cash-code ids, and the
    // header's account text (the entry texts joined by a carriage return, or
    // kContoTutti, both lists then empty, when an all-accounts entry is met).
    struct Filtro {
        std::string idConti;
        std::string idCasse;
        std::string conto;
    };
    Filtro PreparaFiltroConti() const;

private:
    std::vector<VoceSelezione> voci_;
    int selezionata_ = -1;
};

// The display text of an account / cash-code choice: account + "\ " + cash code (the
// all-accounts choice is the account text alone).
std::string TestoVoce(const std::string& conto, const std::string& cassa);

}  // namespace travasa
