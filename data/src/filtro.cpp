#include "filtro.h"

#include <cmath>
#include <limits>
#include <vector>

#include "vq/errore.h"

namespace tessadati {

namespace {

// Select lists and from clause, fragment by fragment, as the engine receives them.
constexpr std::string_view kSelectRighe[] = {
    " SELECT Conti.Descrizione as Conto , ",
    " TabellaCassa.Cassa as Cassa,  ",
    " Operazioni.Data as Data, ",
    " Operazioni.Causale as Causale, ",
    " Operazioni.Euro as Euro, ",
    " Operazioni.[Totale£] as Lire, ",
    " Operazioni.Bancomat as Bancomat, ",
    " Operazioni.ContoCorrente as ContoCorrente, ",
    " Operazioni.Carta as Carta, ",
    " Operazioni.NoStatistiche as NoStatistiche ",
};
constexpr std::string_view kSelectTotali[] = {
    " SELECT  ",
    " Sum(Operazioni.Euro) as Euro, ",
    " Sum(Operazioni.[Totale£]) as Lire ",
};
constexpr std::string_view kSelectConteggio[] = {" SELECT Count(*) "};
constexpr std::string_view kFrom[] = {
    " FROM Conti INNER JOIN (TabellaCassa INNER JOIN  ",
    " Operazioni ON TabellaCassa.IDCassa = Operazioni.IDCassa) ",
    " ON Conti.IDConto = TabellaCassa.IDConto ",
};

template <std::size_t N>
std::string Concatena(const std::string_view (&parti)[N]) {
    std::string s;
    for (auto p : parti) s += p;
    return s;
}

// An id as the list gives it, blanks around it allowed: an optional minus sign and
// decimal digits. Anything else would change the meaning of the SQL text.
bool IdValido(std::string_view elemento) noexcept {
    auto t = Trim(elemento);
    if (!t.empty() && t.front() == '-') t.remove_prefix(1);
    if (t.empty()) return false;
    for (char c : t)
        if (c < '0' || c > '9') return false;
    return true;
}

[[noreturn]] void IdNonValido(std::string_view colonna, std::string_view elemento) {
    std::string termine(colonna);
    termine += '=';
    termine += elemento;
    vq::Solleva(
        kErrIdNonValido,
        "Errore di sintassi (operatore mancante) nell'espressione della query '" + termine + "'.");
}

// Split at every ";", empty elements included ("4;;7;" gives "4", "", "7", "").
std::vector<std::string_view> Dividi(std::string_view lista) {
    std::vector<std::string_view> elementi;
    std::size_t inizio = 0;
    for (;;) {
        auto pos = lista.find(';', inizio);
        if (pos == std::string_view::npos) {
            elementi.push_back(lista.substr(inizio));
            return elementi;
        }
        elementi.push_back(lista.substr(inizio, pos - inizio));
        inizio = pos + 1;
    }
}

}  // namespace

std::string_view Trim(std::string_view testo) noexcept {
    auto primo = testo.find_first_not_of(' ');
    if (primo == std::string_view::npos) return {};
    auto ultimo = testo.find_last_not_of(' ');
    return testo.substr(primo, ultimo - primo + 1);
}

void Filtro::Pulisci() {
    f_conto = f_cassa = kNonImpostato;
    f_bancomat = f_conto_corrente = f_carta = f_no_stat = kNonImpostato;
    f_data_iniziale = f_data_finale = 0;
    f_mult_conto.clear();
    f_mult_cassa.clear();
}

namespace {
std::int16_t Restringi16(std::int32_t valore) {
    if (valore < std::numeric_limits<std::int16_t>::min() ||
        valore > std::numeric_limits<std::int16_t>::max())
        vq::Solleva(vq::kErrOverflow);
    return static_cast<std::int16_t>(valore);
}
}  // namespace

void Filtro::ImpostaConto(std::int32_t id) { f_conto = Restringi16(id); }
void Filtro::ImpostaCassa(std::int32_t id) { f_cassa = Restringi16(id); }

void AggiungiWhereAnd(std::string& condizione) {
    if (condizione.empty()) condizione = " Where ";
    else condizione += " And ";
}

std::string CondizioneMultipla(const std::string& prefisso, std::string_view colonna,
                               std::string_view lista) {
    if (Trim(lista).empty()) return prefisso;

    const auto elementi = Dividi(lista);
    // The elements are counted with a 16-bit counter that steps one past the last.
    if (elementi.size() > kMaxElementiLista) vq::Solleva(vq::kErrOverflow);
    // The first element is taken as it stands, the later ones only when not blank; every
    // element taken must be an integer id, so that nothing but ids reaches the SQL text.
    if (!IdValido(elementi[0])) IdNonValido(colonna, elementi[0]);
    for (std::size_t i = 1; i < elementi.size(); ++i)
        if (!Trim(elementi[i]).empty() && !IdValido(elementi[i])) IdNonValido(colonna, elementi[i]);

    std::string s = prefisso;
    if (!s.empty()) s += " OR ";
    s += ' ';
    s += colonna;
    s += '=';
    s += elementi[0];
    s += ' ';
    for (std::size_t i = 1; i < elementi.size(); ++i) {
        if (Trim(elementi[i]).empty()) continue;
        s += " OR ";
        s += colonna;
        s += '=';
        s += elementi[i];
        s += ' ';
    }
    return s;
}

std::string DataSQL(vq::DATA d) {
    // The day alone: cutting the time off before splitting keeps a time just before
    // midnight from being rounded into the next day.
    // Whole days count from zero in both directions (before 30 December 1899 the fraction
    // counts away from zero), so the day is the value truncated toward zero.
    const vq::DataOra g = vq::ScomponiData(std::trunc(d));
    return " DateSerial(" + std::to_string(g.anno) + "," + std::to_string(g.mese) + "," +
           std::to_string(g.giorno) + ") ";
}

std::string CostruisciQuery(const Filtro& filtro, std::int32_t tipo) {
    std::string w;

    std::string l = CondizioneMultipla({}, "Conti.IDConto", Trim(filtro.f_mult_conto));
    l = CondizioneMultipla(l, "TabellaCassa.IDCassa", Trim(filtro.f_mult_cassa));

    if (!Trim(l).empty()) {
        // Either list given: the single ids do not apply.
        AggiungiWhereAnd(w);
        w += " ( " + l + " ) ";
    } else {
        if (filtro.f_conto != kNonImpostato) {
            AggiungiWhereAnd(w);
            w += " Conti.IDConto=" + std::to_string(filtro.f_conto) + " ";
        }
        if (filtro.f_cassa != kNonImpostato) {
            AggiungiWhereAnd(w);
            w += " TabellaCassa.IDCassa=" + std::to_string(filtro.f_cassa) + " ";
        }
    }

    const std::pair<std::int16_t, std::string_view> flag[] = {
        {filtro.f_bancomat, " Operazioni.Bancomat= True "},
        {filtro.f_conto_corrente, " Operazioni.ContoCorrente = True "},
        {filtro.f_carta, " Operazioni.Carta= True "},
        {filtro.f_no_stat, " Operazioni.NoStatistiche= True "},
    };
    for (const auto& [valore, frammento] : flag) {
        if (valore == kNonImpostato) continue;
        AggiungiWhereAnd(w);
        w += frammento;
    }

    const bool inizio = filtro.f_data_iniziale != 0;
    const bool fine = filtro.f_data_finale != 0;
    if (inizio && fine) {
        AggiungiWhereAnd(w);
        w += " Operazioni.Data between " + DataSQL(filtro.f_data_iniziale) + " and " +
             DataSQL(filtro.f_data_finale) + " ";
    } else if (inizio) {
        AggiungiWhereAnd(w);
        w += " Operazioni.Data >= " + DataSQL(filtro.f_data_iniziale) + " ";
    } else if (fine) {
        AggiungiWhereAnd(w);
        w += " Operazioni.Data <= " + DataSQL(filtro.f_data_finale) + " ";
    }

    std::string select;
    switch (tipo) {
        case kQueryRighe: select = Concatena(kSelectRighe); break;
        case kQueryTotali: select = Concatena(kSelectTotali); break;
        case kQueryConteggio: select = Concatena(kSelectConteggio); break;
        default: break;
    }
    return select + Concatena(kFrom) + w;
}

}  // namespace tessadati
