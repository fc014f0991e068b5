// The Mirtesa household: accounts, cash codes and transactions that look like a family's
// bookkeeping, repeatable from a seed.
#include "jetwriter/jetwriter.h"

#include <vq/errore.h>

#include <charconv>
#include <cmath>
#include <memory>

namespace jetwriter {

namespace {

struct Conto {
    std::int32_t id;
    const char* descrizione;  // nullptr = Null
};

struct Cassa {
    std::int32_t id;
    const char* descrizione;
    std::int32_t conto;
    std::int64_t minimoCentesimi, massimoCentesimi;  // range of the amount, negative = expense
    int peso;                                        // how often it is used
    const char* causali[4];
};

constexpr Conto kConti[] = {
    {1, "Casa"},
    {2, "Conto corrente Banca Popolare"},
    {3, "Carta di credito"},
    {4, "Libretto postale"},
    {5, "Contanti"},
    {6, nullptr},
};

constexpr Cassa kCasse[] = {
    {1,
     "Spesa alimentare",
     1,
     -18000,
     -850,
     30,
     {"Supermercato", "Mercato rionale", "Panetteria", "Macelleria Nicolò"}},
    {2,
     "Affitto",
     2,
     -75000,
     -65000,
     3,
     {"Affitto mensile", "Affitto e spese condominiali", nullptr, nullptr}},
    {3,
     "Bollette luce e gas",
     2,
     -21000,
     -3500,
     5,
     {"Bolletta Enel", "Bolletta gas", "Conguaglio gas", nullptr}},
    {4,
     "Stipendio",
     2,
     140000,
     230000,
     3,
     {"Stipendio", "Tredicesima", "Premio di produzione", nullptr}},
    {5,
     "Ristoranti e caffè",
     3,
     -9500,
     -120,
     10,
     {"Caffè al bar", "Pizzeria Da Nicolò", "Trattoria «Il Gufo»", "Gelateria"}},
    {6,
     "Abbigliamento",
     3,
     -24000,
     -1500,
     4,
     {"Scarpe", "Cappotto invernale", "Saldi di gennaio", nullptr}},
    {7,
     "Farmacia e salute",
     5,
     -8000,
     -300,
     5,
     {"Farmacia comunale", "Visita specialistica", "Ticket sanitario", nullptr}},
    {8,
     "Automobile",
     2,
     -90000,
     -2000,
     6,
     {"Benzina", "Assicurazione auto", "Tagliando", "Bollo auto"}},
    {9,
     "Prelievi bancomat",
     2,
     -50000,
     -2000,
     6,
     {"Prelievo bancomat", "Prelievo allo sportello", nullptr, nullptr}},
    {10,
     "Svago",
     3,
     -12000,
     -500,
     5,
     {"Cinema", "Libri per l'università", "Concerto", "Abbonamento palestra"}},
    {11,
     "Regali",
     5,
     -15000,
     -1000,
     2,
     {"Regali di Natale", "Regalo di compleanno", "Bomboniere", nullptr}},
    {12,
     "Interessi e rimborsi",
     4,
     50,
     35000,
     2,
     {"Interessi attivi", "Rimborso 730", "Rimborso spese mediche", nullptr}},
    {13,
     "Risparmio",
     4,
     -50000,
     -5000,
     2,
     {"Versamento su libretto", "Buoni fruttiferi", nullptr, nullptr}},
    {14,
     "Casa e manutenzione",
     1,
     -60000,
     -800,
     3,
     {"Idraulico", "Ferramenta", "Tinteggiatura", "Elettrodomestici"}},
    {15,
     "Scuola e università",
     1,
     -45000,
     -1000,
     2,
     {"Tasse universitarie", "Libri scolastici", "Gita scolastica", nullptr}},
    {16, "Varie", 6, -5000, 5000, 1, {"Varie", "Città di Forlì: tassa rifiuti", nullptr, nullptr}},
};

// A 64-bit mix (splitmix64): each row draws from its own stream, so rows can be produced in
// any order and the result only depends on the seed and the row's number.
std::uint64_t Mescola(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

class Casuale {
public:
    Casuale(std::uint64_t seme, std::uint64_t flusso) : stato_(Mescola(seme ^ Mescola(flusso))) {}
    std::uint64_t Prossimo() {
        stato_ += 0x9E3779B97F4A7C15ull;
        return Mescola(stato_);
    }
    // Uniform in [0, n).
    std::uint64_t Sotto(std::uint64_t n) { return Prossimo() % n; }
    bool Probabile(int percento) { return Sotto(100) < static_cast<std::uint64_t>(percento); }

private:
    std::uint64_t stato_;
};

constexpr double kPrimoGiorno = 36892;  // 1 January 2001
constexpr double kGiorni = 2191;        // six years, to 31 December 2006

}  // namespace

Specifica DemoMirtesa(const OpzioniMirtesa& o) {
    if (o.operazioni < 0) vq::Solleva(kErrSpecifica, "Numero di operazioni negativo");
    Specifica s;
    s.formato = o.formato;
    s.codePage = 1252;
    s.password = o.password;
    s.dataCreazione = 38061;  // 15 March 2004: a fixed date keeps the file repeatable

    Tabella conti{"Conti",
                  {{"IDConto", Tipo::Long, 255, true}, {"Descrizione", Tipo::Text, 50, false}},
                  {},
                  {}};
    Tabella casse{"TabellaCassa",
                  {{"IDCassa", Tipo::Long, 255, true},
                   {"Cassa", Tipo::Text, 50, false},
                   {"IDConto", Tipo::Long, 255, false}},
                  {},
                  {}};
    Tabella operazioni{"Operazioni",
                       {{"IDMovimento", Tipo::Long, 255, true},
                        {"IDCassa", Tipo::Long, 255, false},
                        {"Data", Tipo::DateTime, 255, false},
                        {"Causale", Tipo::Text, 255, false},
                        {"Euro", Tipo::Currency, 255, false},
                        {"Totale£", Tipo::Double, 255, false},
                        {"Bancomat", Tipo::Boolean, 255, false},
                        {"ContoCorrente", Tipo::Boolean, 255, false},
                        {"Carta", Tipo::Boolean, 255, false},
                        {"NoStatistiche", Tipo::Boolean, 255, false}},
                       {},
                       {}};
    Tabella versione{"Versione",
                     {{"versione", Tipo::Long, 255, false}},
                     {{Valore{std::int64_t{o.versione}}}},
                     {}};

    if (o.operazioni > 0) {
        for (const Conto& c : kConti) {
            conti.righe.push_back({std::int64_t{c.id}, c.descrizione
                                                           ? Valore{std::string(c.descrizione)}
                                                           : Valore{std::monostate{}}});
        }
        for (const Cassa& c : kCasse) {
            casse.righe.push_back(
                {std::int64_t{c.id}, std::string(c.descrizione), std::int64_t{c.conto}});
        }
        int pesoTotale = 0;
        for (const Cassa& c : kCasse) pesoTotale += c.peso;
        const std::int64_t n = o.operazioni;
        const std::uint64_t seme = o.seme;
        operazioni.generatore = [n, seme, pesoTotale](std::int64_t i, Riga& r) -> bool {
            if (i >= n) return false;
            Casuale rnd(seme, static_cast<std::uint64_t>(i));
            // Date order over six years, several transactions on most days.
            const double giorno = kPrimoGiorno + std::floor(static_cast<double>(i) * kGiorni /
                                                            static_cast<double>(n));
            auto scelta = static_cast<int>(rnd.Sotto(static_cast<std::uint64_t>(pesoTotale)));
            const Cassa* cassa = &kCasse[0];
            for (const Cassa& c : kCasse) {
                if (scelta < c.peso) {
                    cassa = &c;
                    break;
                }
                scelta -= c.peso;
            }
            int causali = 0;
            while (causali < 4 && cassa->causali[causali] != nullptr) ++causali;
            const char* testo = cassa->causali[rnd.Sotto(static_cast<std::uint64_t>(causali))];
            const auto dado = rnd.Sotto(100);
            const std::int64_t ampiezza = cassa->massimoCentesimi - cassa->minimoCentesimi + 1;
            const std::int64_t centesimi =
                cassa->minimoCentesimi +
                static_cast<std::int64_t>(rnd.Sotto(static_cast<std::uint64_t>(ampiezza)));
            const bool senzaImporto = rnd.Probabile(2);
            const bool bancomat = cassa->id == 9 || (cassa->conto == 2 && rnd.Probabile(15));
            const bool noStatistiche = cassa->id == 13 || rnd.Probabile(4);
            r.clear();
            r.emplace_back(std::monostate{});  // IDMovimento: the next number
            r.emplace_back(std::int64_t{cassa->id});
            r.emplace_back(Data{giorno});
            if (dado < 3) {
                r.emplace_back(std::monostate{});
            } else {
                r.emplace_back(std::string(dado < 4 ? "" : testo));
            }
            if (senzaImporto) {
                r.emplace_back(std::monostate{});
                r.emplace_back(std::monostate{});
            } else {
                r.emplace_back(Valuta{centesimi * 100});
                r.emplace_back(std::round(static_cast<double>(centesimi) * kLirePerEuro / 100.0));
            }
            r.emplace_back(bancomat);
            r.emplace_back(cassa->conto == 2);  // ContoCorrente
            r.emplace_back(cassa->conto == 3);  // Carta
            r.emplace_back(noStatistiche);
            return true;
        };
    }
    s.tabelle = {std::move(conti), std::move(casse), std::move(operazioni), std::move(versione)};
    return s;
}

void ScriviDemoMirtesa(const OpzioniMirtesa& opzioni, const std::filesystem::path& destinazione) {
    Scrivi(DemoMirtesa(opzioni), destinazione);
}

namespace {

template <typename T>
bool NumeroIntero(std::string_view testo, T& out) {
    auto [p, ec] = std::from_chars(testo.data(), testo.data() + testo.size(), out);
    return ec == std::errc() && p == testo.data() + testo.size() && !testo.empty();
}

}  // namespace

bool OpzioneMirtesa(std::string_view nome) {
    return nome == "--operazioni" || nome == "--seme" || nome == "--versione" ||
           nome == "--formato" || nome == "--password";
}

void ImpostaOpzioneMirtesa(std::string_view nome, std::string_view valore, OpzioniMirtesa& o) {
    bool valido = true;
    if (nome == "--operazioni") valido = NumeroIntero(valore, o.operazioni) && o.operazioni >= 0;
    else if (nome == "--seme") valido = NumeroIntero(valore, o.seme);
    else if (nome == "--versione") valido = NumeroIntero(valore, o.versione);
    else if (nome == "--formato" && valore == "jet3") o.formato = Formato::Jet3;
    else if (nome == "--formato" && valore == "jet4") o.formato = Formato::Jet4;
    else if (nome == "--password") o.password = valore;
    else valido = false;
    if (!valido)
        vq::Solleva(vq::kErrChiamataNonValida, "Valore non valido per " + std::string(nome) +
                                                   ": \"" + std::string(valore) + "\"");
}

}  // namespace jetwriter
