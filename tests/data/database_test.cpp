// ClsDatiMirtesa over the real Jet engine, on files written by the Jet writer: the version
// gate, opening and closing, the filter examples checked against a selection computed
// here from the generated rows (not through SQL), rounding, ordering, the 16-bit row
// limit, Null values, a file that changes between queries, and damaged files (hostile id
// lists are refused before any SQL runs: the filter and object tests). The host's folder is
// given directly; the client test covers the host component.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "componenti_prova.h"
#include "jet_prova.h"
#include "errore_prova.h"
#include "database.h"
#include "jet/dao.h"
#include "jetwriter/jetwriter.h"
#include "oggetti.h"
#include "ole/ole.hpp"
#include "vq/data.h"
#include "vq/errore.h"

using namespace tessadati;
namespace fs = std::filesystem;

namespace {

using prova::Descrizione;
using prova::Elementi;
using prova::Errore;
using prova::LeggiFile;

// The host's folder given directly, the file opened by the real engine.
class MotoreProva final : public Motore {
public:
    std::string cartella;
    std::string CartellaDati() override { return cartella; }
    std::unique_ptr<Database> Apri(const std::string& percorso,
                                   const std::string& connessione) override {
        return MotorePredefinito().Apri(percorso, connessione);
    }
};

// ---- The household as generated, and the selection computed from it ---------------------

struct Operazione {
    std::int64_t id = 0;
    std::int64_t cassa = 0;
    double data = 0;
    std::optional<std::string> causale;
    std::optional<std::int64_t> euro;  // ten-thousandths
    std::optional<double> lire;
    bool flag[4] = {};
};

struct Famiglia {
    std::map<std::int64_t, std::optional<std::string>> conti;
    std::map<std::int64_t, std::pair<std::optional<std::string>, std::int64_t>> casse;
    std::vector<Operazione> operazioni;
};

std::optional<std::string> TestoOpzionale(const jetwriter::Valore& v) {
    if (std::holds_alternative<std::monostate>(v)) return std::nullopt;
    return std::get<std::string>(v);
}

// A currency value as the writer takes it: Valuta, whole units, or an exact decimal text.
std::optional<std::int64_t> Decimillesimi(const jetwriter::Valore& v) {
    if (std::holds_alternative<std::monostate>(v)) return std::nullopt;
    if (auto* x = std::get_if<jetwriter::Valuta>(&v)) return x->decimillesimi;
    if (auto* x = std::get_if<std::int64_t>(&v)) return *x * 10000;
    const std::string& t = std::get<std::string>(v);
    const bool meno = t.starts_with('-');
    const std::string cifre = t.substr(meno ? 1 : 0);
    const auto punto = cifre.find('.');
    std::string frazione = punto == std::string::npos ? "" : cifre.substr(punto + 1);
    frazione.resize(4, '0');
    const std::int64_t r = std::stoll(cifre.substr(0, punto)) * 10000 + std::stoll(frazione);
    return meno ? -r : r;
}

Famiglia Leggi(const jetwriter::Specifica& s) {
    Famiglia f;
    for (const auto& t : s.tabelle) {
        if (t.nome == "Conti")
            for (const auto& r : t.righe)
                f.conti[std::get<std::int64_t>(r[0])] = TestoOpzionale(r[1]);
        if (t.nome == "TabellaCassa")
            for (const auto& r : t.righe)
                f.casse[std::get<std::int64_t>(r[0])] = {TestoOpzionale(r[1]),
                                                         std::get<std::int64_t>(r[2])};
        if (t.nome != "Operazioni") continue;
        std::int64_t prossimo = 1;
        auto aggiungi = [&](const jetwriter::Riga& r) {
            Operazione o;
            o.id = std::holds_alternative<std::monostate>(r[0]) ? prossimo
                                                                : std::get<std::int64_t>(r[0]);
            prossimo = std::max(prossimo, o.id + 1);
            o.cassa = std::get<std::int64_t>(r[1]);
            o.data = std::get<jetwriter::Data>(r[2]).giorni;
            o.causale = TestoOpzionale(r[3]);
            o.euro = Decimillesimi(r[4]);
            if (!std::holds_alternative<std::monostate>(r[5])) o.lire = std::get<double>(r[5]);
            for (int k = 0; k < 4; ++k)
                o.flag[k] = std::get<bool>(r[static_cast<std::size_t>(6 + k)]);
            f.operazioni.push_back(std::move(o));
        };
        for (const auto& r : t.righe) aggiungi(r);
        jetwriter::Riga r;
        if (t.generatore)
            for (std::int64_t i = 0; t.generatore(i, r); ++i) aggiungi(r);
    }
    return f;
}

// A filter as the caller sets it, and what it selects, decided row by row.
struct FiltroProva {
    std::string mult_conto = {}, mult_cassa = {};
    LONG conto = -1, cassa = -1;
    bool flag[4] = {};
    double da = 0, a = 0;
};

std::vector<const Operazione*> Selezione(const Famiglia& f, const FiltroProva& p) {
    auto ids = [](const std::string& lista) {
        std::set<std::int64_t> r;
        std::size_t i = 0;
        while (i <= lista.size()) {
            auto j = lista.find(';', i);
            if (j == std::string::npos) j = lista.size();
            const std::string e = lista.substr(i, j - i);
            if (e.find_first_not_of(' ') != std::string::npos) r.insert(std::stoll(e));
            i = j + 1;
        }
        return r;
    };
    const auto conti = ids(p.mult_conto), casse = ids(p.mult_cassa);
    std::vector<const Operazione*> r;
    for (const auto& o : f.operazioni) {
        const auto cassa = f.casse.find(o.cassa);
        if (cassa == f.casse.end() || !f.conti.count(cassa->second.second))
            continue;  // inner joins
        const std::int64_t conto = cassa->second.second;
        if (!conti.empty() || !casse.empty()) {
            if (!conti.count(conto) && !casse.count(o.cassa)) continue;
        } else {
            if (p.conto != -1 && conto != p.conto) continue;
            if (p.cassa != -1 && o.cassa != p.cassa) continue;
        }
        bool escluso = false;
        for (int k = 0; k < 4; ++k) escluso |= p.flag[k] && !o.flag[k];
        if (escluso) continue;
        const double giorno = std::floor(o.data);
        if (p.da != 0 && giorno < std::floor(p.da)) continue;
        if (p.a != 0 && o.data > std::floor(p.a)) continue;  // the end date means its midnight
        r.push_back(&o);
    }
    std::stable_sort(r.begin(), r.end(), [](auto* x, auto* y) {
        return x->data != y->data ? x->data < y->data : x->id < y->id;
    });
    return r;
}

// Ties to even on the exact decimal value of a currency sum.
double EuroPari(std::int64_t decimillesimi) {
    std::int64_t q = decimillesimi / 100, resto = decimillesimi % 100;
    if (resto < 0) resto += 100, --q;
    if (resto > 50 || (resto == 50 && (q % 2 != 0))) ++q;
    return static_cast<double>(q) / 100.0;
}

// Automation dates (the conversion itself is tested with the runtime).
double Giorno(int anno, int mese, int giorno) { return vq::DateSerial(anno, mese, giorno); }

// Text for the writer (a bare literal would become a boolean).
jetwriter::Valore S(const char* t) { return std::string(t); }

// ---- The fixture: files written once per program ---------------------------------------

class TessadatiDatabase : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        cartella_ = new prova::Cartella("tessadati-db", prova::kInMemoria);
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        // A damaged file may cost a little time and memory, never the test program.
        jet::DBEngine::DelThread().ImpostaLimiti({512, std::chrono::seconds(30)});
    }
    static void TearDownTestSuite() {
        CoUninitialize();
        delete cartella_;
    }
    static inline prova::Impronte impronte_;

    // A folder of its own holding `spec` as the host database.
    static fs::path Installa(const std::string& nome, const jetwriter::Specifica& spec,
                             const char* file = "Mirtesa.mdb") {
        const fs::path d = *cartella_ / nome;
        fs::create_directories(d);
        jetwriter::Scrivi(spec, d / file);
        impronte_.Registra(d);
        return d;
    }
    void SetUp() override { impronte_ = {}; }
    void TearDown() override { EXPECT_EQ(impronte_.Cambiati(), ""); }

    // The Mirtesa schema with the given rows in place of the demo's.
    static jetwriter::Specifica Schema(jetwriter::Formato formato = jetwriter::Formato::Jet3) {
        jetwriter::OpzioniMirtesa o;
        o.operazioni = 0;
        o.formato = formato;
        return jetwriter::DemoMirtesa(o);
    }
    static jetwriter::Tabella& T(jetwriter::Specifica& s, const char* nome) {
        for (auto& t : s.tabelle)
            if (t.nome == nome) return t;
        throw std::logic_error(nome);
    }
    static jetwriter::Riga Op(std::int64_t id, std::int64_t cassa, double data,
                              jetwriter::Valore causale, jetwriter::Valore euro,
                              jetwriter::Valore lire, bool bancomat = false) {
        return {id,
                cassa,
                jetwriter::Data{data},
                std::move(causale),
                std::move(euro),
                std::move(lire),
                bancomat,
                false,
                false,
                false};
    }
    // Two accounts (one described Null), three cash codes (one Null), no transactions.
    static jetwriter::Specifica Piccola() {
        auto s = Schema();
        T(s, "Conti").righe = {{std::int64_t{1}, std::string("Banca")},
                               {std::int64_t{2}, std::monostate{}}};
        T(s, "TabellaCassa").righe = {{std::int64_t{1}, std::string("Spesa"), std::int64_t{1}},
                                      {std::int64_t{2}, std::monostate{}, std::int64_t{1}},
                                      {std::int64_t{3}, std::string("Affitto"), std::int64_t{2}}};
        return s;
    }

    void Apri(const fs::path& cartella) {
        motore.cartella = cartella.string() + "/";
        dati = ClsDatiMirtesa::Crea(motore);
    }
    ClsDatiMirtesa& Interno() { return *static_cast<ClsDatiMirtesa*>(dati.get()); }

    void Imposta(const FiltroProva& p) {
        ASSERT_EQ(dati->ClearFiltri(), S_OK);
        ole::Bstr c(p.mult_conto), k(p.mult_cassa);
        ASSERT_EQ(dati->put_f_mult_conto(c.get()), S_OK);
        ASSERT_EQ(dati->put_f_mult_cassa(k.get()), S_OK);
        LONG conto = p.conto, cassa = p.cassa;
        ASSERT_EQ(dati->put_ImpostaConto(&conto), S_OK);
        ASSERT_EQ(dati->put_ImpostaCassa(&cassa), S_OK);
        VARIANT_BOOL b[4];
        for (int i = 0; i < 4; ++i) b[i] = p.flag[i] ? VARIANT_TRUE : VARIANT_FALSE;
        ASSERT_EQ(dati->put_FiltroBancomat(&b[0]), S_OK);
        ASSERT_EQ(dati->put_FiltroContoCorrente(&b[1]), S_OK);
        ASSERT_EQ(dati->put_FiltroCarta(&b[2]), S_OK);
        ASSERT_EQ(dati->put_FiltroNoStat(&b[3]), S_OK);
        DATE da = p.da, a = p.a;
        ASSERT_EQ(dati->put_FiltroDataIniziale(&da), S_OK);
        ASSERT_EQ(dati->put_FiltroDataFinale(&a), S_OK);
    }

    // The rows, count and totals of the filter, checked against the computed selection.
    void Verifica(const Famiglia& f, const FiltroProva& p) {
        Imposta(p);
        const auto attese = Selezione(f, p);
        LONG n = -2;
        ASSERT_EQ(dati->GetTotRecord(&n), S_OK) << Descrizione();
        ASSERT_EQ(n, static_cast<LONG>(attese.size()));
        std::int64_t euro = 0;
        double lire = 0;
        for (auto* o : attese) {
            euro += o->euro.value_or(0);
            lire += o->lire.value_or(0);
        }
        double e = -1, l = -1;
        ASSERT_EQ(dati->GetImportoEuro(&e), S_OK);
        ASSERT_EQ(dati->GetImportoLire(&l), S_OK);
        EXPECT_EQ(e, EuroPari(euro));
        EXPECT_EQ(l, std::nearbyint(lire));
        SAFEARRAY* a = nullptr;
        LONG righe = 0;
        ASSERT_EQ(dati->GetArrayDati(&a, &righe), S_OK) << Descrizione();
        if (attese.empty()) {
            EXPECT_EQ(righe, -1);
            EXPECT_EQ(a, nullptr);
            return;
        }
        ASSERT_EQ(righe, n);
        ASSERT_NE(a, nullptr);
        LONG alto = -1;
        SafeArrayGetUBound(a, 1, &alto);
        EXPECT_EQ(alto, 9);
        SafeArrayGetUBound(a, 2, &alto);
        ASSERT_EQ(alto, n - 1);
        VARIANT* v = nullptr;
        ASSERT_EQ(SafeArrayAccessData(a, reinterpret_cast<void**>(&v)), S_OK);
        for (std::size_t r = 0; r < attese.size(); ++r) {
            const Operazione& o = *attese[r];
            const auto& cassa = f.casse.at(o.cassa);
            const std::vector<std::string> attesa = {
                Testo(f.conti.at(cassa.second)),
                Testo(cassa.first),
                "D " + Numero(o.data),
                Testo(o.causale),
                o.euro ? "CY " + std::to_string(*o.euro) : "<Null>",
                o.lire ? "R8 " + Numero(*o.lire) : "<Null>",
                Vero(o.flag[0]),
                Vero(o.flag[1]),
                Vero(o.flag[2]),
                Vero(o.flag[3])};
            std::vector<std::string> letta;
            for (std::size_t k = 0; k < 10; ++k) letta.push_back(Rendi(v[r * 10 + k]));
            EXPECT_EQ(letta, attesa) << "riga " << r << ", IDMovimento " << o.id;
        }
        SafeArrayUnaccessData(a);
        SafeArrayDestroy(a);
    }
    // One field as text with its type, to compare whole rows.
    static std::string Numero(double x) {
        char b[40];
        std::snprintf(b, sizeof b, "%.17g", x);
        return b;
    }
    static std::string Testo(const std::optional<std::string>& t) {
        return t ? "T " + *t : "<Null>";
    }
    static std::string Vero(bool b) { return b ? "Vero" : "Falso"; }
    static std::string Rendi(const VARIANT& x) {
        switch (x.vt) {
            case VT_NULL: return "<Null>";
            case VT_BSTR: return "T " + ole::Utf8DaBstr(x.bstrVal);
            case VT_DATE: return "D " + Numero(x.date);
            case VT_CY: return "CY " + std::to_string(x.cyVal.int64);
            case VT_R8: return "R8 " + Numero(x.dblVal);
            case VT_BOOL:
                return x.boolVal == VARIANT_TRUE    ? "Vero"
                       : x.boolVal == VARIANT_FALSE ? "Falso"
                                                    : "bool?";
            default: return "tipo " + std::to_string(x.vt);
        }
    }

    static prova::Cartella* cartella_;
    MotoreProva motore;
    ole::ComPtr<_ClsDatiMirtesa> dati;
};

prova::Cartella* TessadatiDatabase::cartella_ = nullptr;

// ---- Connection and version gate ------------------------------------------------------

TEST_F(TessadatiDatabase, SogliaDiVersione) {
    const struct {
        const char* nome;
        std::vector<jetwriter::Riga> righe;
        bool valida;
    } casi[] = {
        {"due", {{std::int64_t{2}}}, true},
        {"solo la prima riga conta", {{std::int64_t{2}}, {std::int64_t{1}}}, true},
        {"tabella vuota", {}, false},
    };
    int i = 0;
    for (const auto& c : casi) {
        SCOPED_TRACE(c.nome);
        auto s = Piccola();
        T(s, "Versione").righe = c.righe;
        Apri(Installa("versione" + std::to_string(i++), s));
        if (c.valida) {
            EXPECT_EQ(dati->ApriDataBase(), S_OK) << Descrizione();
        } else {
            EXPECT_EQ(dati->ApriDataBase(), Errore(4567));
            EXPECT_EQ(Descrizione(),
                      "Per utilizzare tale modulo è necessario utilizzare almeno la versione 3.0 "
                      "di Mirtesa. "
                      "Sul sistema è installata una versione obsoleta.");
        }
        // Held either way: the queries run on it.
        EXPECT_TRUE(Interno().database_aperto());
        ole::ComPtr<_Collection> conti;
        ASSERT_EQ(dati->GetConti(conti.put()), S_OK) << Descrizione();
        LONG n = 0;
        conti->Count(&n);
        EXPECT_EQ(n, 2);
        EXPECT_EQ(dati->ChiudiDataBase(), S_OK);
        EXPECT_FALSE(Interno().database_aperto());
    }
}

// Two objects on the same file share what the engine loaded, never each other's state.
TEST_F(TessadatiDatabase, DueOggettiSulloStessoFile) {
    auto s = Piccola();
    T(s, "Operazioni").righe = {Op(1, 1, 38000, S("a"), S("1"), 1.0),
                                Op(2, 3, 38001, S("b"), S("2"), 2.0)};
    Apri(Installa("due-oggetti", s));
    auto altro = ClsDatiMirtesa::Crea(motore);
    ASSERT_EQ(dati->ApriDataBase(), S_OK) << Descrizione();
    ASSERT_EQ(altro->ApriDataBase(), S_OK) << Descrizione();
    LONG conto = 2;
    ASSERT_EQ(altro->put_ImpostaConto(&conto), S_OK);
    EXPECT_EQ(dati->ChiudiDataBase(), S_OK);
    LONG n = 0;
    EXPECT_EQ(dati->GetTotRecord(&n), Errore(91));
    Descrizione();
    ASSERT_EQ(altro->GetTotRecord(&n), S_OK) << Descrizione();
    EXPECT_EQ(n, 1);
    altro = nullptr;  // released while open
    ASSERT_EQ(dati->ApriDataBase(), S_OK) << Descrizione();
    ASSERT_EQ(dati->ApriDataBase(), S_OK) << Descrizione();  // the first is let go
    ASSERT_EQ(dati->GetTotRecord(&n), S_OK);
    EXPECT_EQ(n, 2);
}

TEST_F(TessadatiDatabase, PasswordEFileMancante) {
    const struct {
        const char* nome;
        std::optional<std::string> password;  // nullopt: no file at all
        HRESULT atteso;
    } casi[] = {
        {"password giusta", "604kmr73", S_OK},
        {"password in maiuscolo", "604KMR73", Errore(3031)},
        {"senza password: si apre con qualunque", "", S_OK},
        {"file mancante", std::nullopt, Errore(3024)},
    };
    int i = 0;
    for (const auto& c : casi) {
        SCOPED_TRACE(c.nome);
        auto s = Piccola();
        fs::path d = *cartella_ / ("password" + std::to_string(i++));
        fs::create_directories(d);
        if (c.password) {
            s.password = *c.password;
            d = Installa(d.filename().string(), s);
        }
        Apri(d);
        EXPECT_EQ(dati->ApriDataBase(), c.atteso);
        const std::string descrizione = Descrizione();
        if (FAILED(c.atteso)) {
            EXPECT_FALSE(descrizione.empty());
            EXPECT_FALSE(Interno().database_aperto());
        }
    }
}

TEST_F(TessadatiDatabase, NomeDelFileSenzaRiguardoAlleMaiuscole) {
    auto s = Piccola();
    const fs::path d = Installa("maiuscole", s, "mirtesa.mdb");
    Apri(d);
    ASSERT_EQ(dati->ApriDataBase(), S_OK) << Descrizione();
    ASSERT_EQ(dati->ChiudiDataBase(), S_OK);

    const struct {
        std::vector<std::string> presenti;
        std::string atteso;  // empty: error 3024
    } casi[] = {
        {{"Mirtesa.mdb"}, "Mirtesa.mdb"},
        {{"MIRTESA.MDB"}, "MIRTESA.MDB"},
        {{"mirtesa.mdb", "Mirtesa.mdb"}, "Mirtesa.mdb"},
        {{"mirtesa.mdb", "MIRTESA.mdb"}, ""},
        {{"Mirtesa.mdb.bak", "Mirtesa"}, "Mirtesa.mdb"},  // none: the name unchanged
    };
    int i = 0;
    for (const auto& c : casi) {
        const fs::path e = *cartella_ / ("nomi" + std::to_string(i++));
        fs::create_directories(e);
        for (const auto& n : c.presenti) prova::ScriviFile(e / n, "x");
        const std::string chiesto = e.string() + "/Mirtesa.mdb";
        std::string trovato;
        const auto errore = prova::ErroreDi([&] { trovato = CercaFileHost(chiesto); });
        if (c.atteso.empty()) {
            ASSERT_TRUE(errore) << e;
            EXPECT_EQ(errore->numero(), 3024);
            EXPECT_NE(errore->descrizione().find("\"MIRTESA.mdb\", \"mirtesa.mdb\""),
                      std::string::npos);
        } else {
            EXPECT_EQ(trovato, e.string() + "/" + c.atteso);
        }
    }
}

// ---- Queries on the demo household ----------------------------------------------------

class TessadatiFormati : public TessadatiDatabase,
                         public ::testing::WithParamInterface<jetwriter::Formato> {};

TEST_P(TessadatiFormati, EsempiDelFiltroSuiDati) {
    jetwriter::OpzioniMirtesa o;
    o.operazioni = 3000;
    o.seme = 7;
    o.formato = GetParam();
    const auto spec = jetwriter::DemoMirtesa(o);
    const Famiglia f = Leggi(spec);
    ASSERT_EQ(f.operazioni.size(), 3000u);
    const fs::path d = Installa(GetParam() == jetwriter::Formato::Jet3 ? "demo3" : "demo4", spec);
    const std::string prima = LeggiFile(d / "Mirtesa.mdb");
    Apri(d);
    ASSERT_EQ(dati->ApriDataBase(), S_OK) << Descrizione();

    const FiltroProva esempi[] = {
        {},  // no filter
        {.mult_conto = "3;5",
         .mult_cassa = "12",
         .da = Giorno(2004, 1, 1),
         .a = Giorno(2004, 12, 31)},
        // Account 2 is the one with card payments.
        {.conto = 2, .flag = {true}, .da = Giorno(2004, 3, 1)},
        // The time of day of the end date is dropped.
        {.mult_cassa = " 4 ; 7;;", .flag = {false, true}, .a = Giorno(2002, 6, 30) + 0.75},
        {.flag = {false, false, true, true}},
        {.conto = 2, .cassa = 9},
        {.mult_conto = "999"},  // selects nothing
    };
    for (const auto& p : esempi) {
        SCOPED_TRACE("filtro " + p.mult_conto + "|" + p.mult_cassa + "|" + std::to_string(p.conto));
        // Each example selects something (and not everything), or it would prove little.
        const auto n = Selezione(f, p).size();
        if (&p != &esempi[6]) {
            EXPECT_GT(n, 0u);
        }
        if (&p != &esempi[0]) {
            EXPECT_LT(n, f.operazioni.size());
        }
        Verifica(f, p);
    }

    // Accounts by description (the Null one first, as empty text), each cash code with
    // an account object of its own.
    ole::ComPtr<_Collection> conti;
    ASSERT_EQ(dati->GetConti(conti.put()), S_OK);
    const auto elenco = Elementi<_clsConti>(conti.get(), IID__clsConti);
    ASSERT_EQ(elenco.size(), f.conti.size());
    std::vector<std::string> descrizioni;
    for (const auto& c : elenco) {
        ole::Bstr testo;
        LONG id = 0;
        c->get_Conto(testo.put());
        c->get_IDConto(&id);
        EXPECT_EQ(testo.utf8(), f.conti.at(id).value_or(""));
        descrizioni.push_back(testo.utf8());
    }
    EXPECT_EQ(descrizioni.front(), "");  // Null first
    EXPECT_EQ(descrizioni.back(), "Libretto postale");

    SHORT conto = 2;
    ole::ComPtr<_Collection> casse;
    ASSERT_EQ(dati->GetCodiciCassa(&conto, casse.put()), S_OK);
    std::size_t attese = 0;
    for (const auto& [id, c] : f.casse) attese += c.second == 2;
    const auto codici = Elementi<_clsCassa>(casse.get(), IID__clsCassa);
    EXPECT_EQ(codici.size(), attese);
    std::set<_clsConti*> distinti;  // each cash code holds an account object of its own
    for (const auto& c : codici) {
        ole::ComPtr<_clsConti> suo;
        c->get_Conto(suo.put());
        LONG id = 0, idc = 0;
        suo->get_IDConto(&id);
        c->get_IDCassa(&idc);
        EXPECT_EQ(id, 2);
        EXPECT_EQ(f.casse.at(idc).second, 2);
        distinti.insert(suo.get());
    }
    EXPECT_EQ(distinti.size(), codici.size());
    // Nothing of this wrote to the host's file.
    EXPECT_EQ(LeggiFile(d / "Mirtesa.mdb"), prima);
}

INSTANTIATE_TEST_SUITE_P(Jet, TessadatiFormati,
                         ::testing::Values(jetwriter::Formato::Jet3, jetwriter::Formato::Jet4),
                         [](const auto& i) {
                             return i.param == jetwriter::Formato::Jet3 ? "Jet3" : "Jet4";
                         });

// ---- Values, rounding and order --------------------------------------------------------

TEST_F(TessadatiDatabase, SommeArrotondateAlPari) {
    const struct {
        const char* euro[2];
        double lire[2];
        double euro_atteso, lire_atteso;
    } casi[] = {
        {{"0.1", "0.025"}, {1000, 500.5}, 0.12, 1500},  // 0.125 and 1500.5
        {{"0.3", "0.075"}, {1001, 500.5}, 0.38, 1502},  // 0.375 and 1501.5
        {{"-0.1", "-0.025"}, {-2, -0.5}, -0.12, -2},   {{"1.005", "0"}, {0.5, 0}, 1.0, 0},
        {{"1.0051", "0"}, {1.25, 0.25}, 1.01, 2},      {{"0.0049", "0"}, {3, 0}, 0, 3},
    };
    int i = 0;
    for (const auto& c : casi) {
        SCOPED_TRACE(i);
        auto s = Piccola();
        T(s, "Operazioni").righe = {
            Op(1, 1, 38000, S("a"), S(c.euro[0]), c.lire[0]),
            Op(2, 1, 38001, S("b"), S(c.euro[1]), c.lire[1]),
            Op(3, 1, 38002, S("senza importo"), std::monostate{}, std::monostate{})};
        Apri(Installa("arrotonda" + std::to_string(i++), s));
        ASSERT_EQ(dati->ApriDataBase(), S_OK) << Descrizione();
        double e = 0, l = 0;
        ASSERT_EQ(dati->GetImportoEuro(&e), S_OK);
        ASSERT_EQ(dati->GetImportoLire(&l), S_OK);
        EXPECT_EQ(e, c.euro_atteso);
        EXPECT_EQ(l, c.lire_atteso);
    }
}

TEST_F(TessadatiDatabase, StessaDataInOrdineDiIdENull) {
    auto s = Piccola();
    const double d = Giorno(2004, 5, 10);
    // Written out of order; rows of one day come back by IDMovimento, earlier days first.
    T(s, "Operazioni").righe = {Op(7, 1, d, S("sette"), S("1"), 1936.27),
                                Op(3, 2, d + 0.5, std::monostate{}, std::monostate{}, 3.0),
                                Op(5, 3, d, S(""), S("-2.5"), std::monostate{}),
                                Op(9, 1, d - 1, S("È prima"), S("0"), 0.0, true),
                                Op(4, 99, d, S("cassa inesistente"), S("100"), 100.0)};
    const Famiglia f = Leggi(s);
    Apri(Installa("ordine", s));
    ASSERT_EQ(dati->ApriDataBase(), S_OK) << Descrizione();
    // Same date: 5 before 7, the later time of day (3) after them; the unknown cash code
    // is left out by the joins.
    Verifica(f, {});

    // Null descriptions: empty text in the lists; the cash codes of unknown accounts.
    SHORT conto = 1;
    ole::ComPtr<_Collection> casse;
    ASSERT_EQ(dati->GetCodiciCassa(&conto, casse.put()), S_OK);
    const auto codici = Elementi<_clsCassa>(casse.get(), IID__clsCassa);
    ASSERT_EQ(codici.size(), 2u);
    ole::Variante testo;
    codici[0]->get_Cassa(testo.put());
    ASSERT_EQ(testo.vt(), VT_BSTR);
    EXPECT_EQ(ole::Utf8DaBstr(testo->bstrVal), "");  // Null sorts first and reads as empty
    LONG quante = 0;
    for (SHORT id : {SHORT{-1}, SHORT{0}, SHORT{77}, SHORT{32767}}) {
        ole::ComPtr<_Collection> nessuna;
        ASSERT_EQ(dati->GetCodiciCassa(&id, nessuna.put()), S_OK);
        ASSERT_NE(nessuna.get(), nullptr);
        nessuna->Count(&quante);
        EXPECT_EQ(quante, 0) << id;
    }
}

// ---- The 16-bit row limit --------------------------------------------------------------

TEST_F(TessadatiDatabase, LimiteDi32767Righe) {
    auto s = Piccola();
    // 32768 transactions: all but the last on cash code 1.
    T(s, "Operazioni").generatore = [](std::int64_t i, jetwriter::Riga& r) {
        if (i >= 32768) return false;
        r = Op(i + 1, i == 32767 ? 3 : 1, 37000 + static_cast<double>(i / 20), std::monostate{},
               std::int64_t{1}, std::monostate{});
        return true;
    };
    Apri(Installa("limite", s));
    ASSERT_EQ(dati->ApriDataBase(), S_OK) << Descrizione();
    LONG n = 0;
    ASSERT_EQ(dati->GetTotRecord(&n), S_OK);
    EXPECT_EQ(n, 32768);
    SAFEARRAY* a = nullptr;
    EXPECT_EQ(dati->GetArrayDati(&a, &n), Errore(6));
    EXPECT_EQ(Descrizione(), "Overflow");
    EXPECT_EQ(a, nullptr);

    ole::Bstr lista("1");
    ASSERT_EQ(dati->put_f_mult_cassa(lista.get()), S_OK);
    ASSERT_EQ(dati->GetArrayDati(&a, &n), S_OK) << Descrizione();
    EXPECT_EQ(n, 32767);
    LONG alto = 0;
    SafeArrayGetUBound(a, 2, &alto);
    EXPECT_EQ(alto, 32766);
    LONG ultimo[2] = {2, 32766};
    ole::Variante v;
    ASSERT_EQ(SafeArrayGetElement(a, ultimo, v.put()), S_OK);
    EXPECT_EQ(v->date, 37000 + 32766 / 20);
    SafeArrayDestroy(a);
    double euro = 0;
    ASSERT_EQ(dati->GetImportoEuro(&euro), S_OK);
    EXPECT_EQ(euro, 32767 * 1.0);
}

// ---- The file under the reader ---------------------------------------------------------

TEST_F(TessadatiDatabase, FileCheCambiaTraDueInterrogazioni) {
    jetwriter::OpzioniMirtesa o;
    o.operazioni = 500;
    const fs::path d = Installa("cambia", jetwriter::DemoMirtesa(o));
    Apri(d);
    ASSERT_EQ(dati->ApriDataBase(), S_OK) << Descrizione();
    LONG n = 0;
    ASSERT_EQ(dati->GetTotRecord(&n), S_OK);
    EXPECT_EQ(n, 500);
    // The host writes while we hold the database: the next query sees the new file.
    o.operazioni = 800;
    o.seme = 3;
    const auto nuova = jetwriter::DemoMirtesa(o);
    jetwriter::Scrivi(nuova, d / "Mirtesa.mdb");
    impronte_.Registra(d);
    Verifica(Leggi(nuova), {});
}

// Reopening reuses what the engine loaded, but always checks the file as it is now.
TEST_F(TessadatiDatabase, RiaperturaVedeIlFileComEOra) {
    jetwriter::OpzioniMirtesa o;
    o.operazioni = 300;
    const fs::path d = Installa("riapertura", jetwriter::DemoMirtesa(o));
    const fs::path file = d / "Mirtesa.mdb";
    const struct {
        const char* nome;
        std::function<void()> cambia;
        HRESULT atteso;
        LONG conteggio;
    } casi[] = {
        {"invariato", [] {}, S_OK, 300},
        {"riscritto",
         [&] {
             o.operazioni = 420;
             jetwriter::ScriviDemoMirtesa(o, file);
         },
         S_OK, 420},
        {"altra password",
         [&] {
             o.password = "altra";
             jetwriter::ScriviDemoMirtesa(o, file);
         },
         Errore(3031), 0},
        {"password di nuovo giusta",
         [&] {
             o.password = "604kmr73";
             jetwriter::ScriviDemoMirtesa(o, file);
         },
         S_OK, 420},
        {"versione vecchia",
         [&] {
             o.versione = 1;
             jetwriter::ScriviDemoMirtesa(o, file);
         },
         Errore(4567), 420},
        {"cancellato", [&] { fs::remove(file); }, Errore(3024), 0},
    };
    Apri(d);
    ASSERT_EQ(dati->ApriDataBase(), S_OK) << Descrizione();
    ASSERT_EQ(dati->ChiudiDataBase(), S_OK);
    for (const auto& c : casi) {
        SCOPED_TRACE(c.nome);
        c.cambia();
        impronte_.Registra(d);
        Apri(d);  // a new object, as at the next start of the program
        EXPECT_EQ(dati->ApriDataBase(), c.atteso);
        Descrizione();
        if (c.conteggio) {
            LONG n = 0;
            ASSERT_EQ(dati->GetTotRecord(&n), S_OK) << Descrizione();
            EXPECT_EQ(n, c.conteggio);
        }
        ASSERT_EQ(dati->ChiudiDataBase(), S_OK);
    }
}

TEST_F(TessadatiDatabase, FileDanneggiatiDannoUnErroreNumerato) {
    jetwriter::OpzioniMirtesa o;
    o.operazioni = 2000;
    const fs::path origine = Installa("sano", jetwriter::DemoMirtesa(o));
    const std::string sano = LeggiFile(origine / "Mirtesa.mdb");
    ASSERT_GT(sano.size(), 8192u);

    std::vector<std::pair<std::string, std::string>> casi = {
        {"vuoto", ""},
        {"una pagina", sano.substr(0, 2048)},
        {"troncato a metà", sano.substr(0, sano.size() / 2)},
        {"troncato fuori pagina", sano.substr(0, sano.size() - 100)},
        {"testo", std::string(4096, 'x')},
    };
    // Bytes flipped in the header, the catalog and the data pages.
    for (std::size_t pos :
         {std::size_t{0x14}, std::size_t{0x42}, std::size_t{2048 * 2 + 30},
          std::size_t{2048 * 3 + 10}, sano.size() / 2 + 7, sano.size() - 2048 + 9}) {
        std::string s = sano;
        for (std::size_t k = 0; k < 16 && pos + k < s.size(); ++k)
            s[pos + k] = static_cast<char>(~s[pos + k]);
        casi.emplace_back("invertiti a " + std::to_string(pos), s);
    }
    int i = 0;
    for (const auto& [nome, byte] : casi) {
        SCOPED_TRACE(nome);
        const fs::path d = *cartella_ / ("danno" + std::to_string(i++));
        fs::create_directories(d);
        prova::ScriviFile(d / "Mirtesa.mdb", byte);
        impronte_.Registra(d);
        Apri(d);
        const auto inizio = std::chrono::steady_clock::now();
        HRESULT hr = dati->ApriDataBase();
        if (SUCCEEDED(hr)) {
            LONG n = 0;
            SAFEARRAY* a = nullptr;
            hr = dati->GetTotRecord(&n);
            if (SUCCEEDED(hr) && n <= 32767) hr = dati->GetArrayDati(&a, &n);
            if (a) SafeArrayDestroy(a);
        }
        const auto durata = std::chrono::steady_clock::now() - inizio;
        EXPECT_LT(durata, std::chrono::seconds(40));
        // Either read (a flip may hit bytes nobody reads) or refused with a number.
        if (FAILED(hr)) {
            EXPECT_EQ(HRESULT_FACILITY(hr), FACILITY_CONTROL) << std::hex << hr;
            EXPECT_FALSE(Descrizione().empty());
        }
        if (nome == "vuoto" || nome == "una pagina" || nome.starts_with("troncato") ||
            nome == "testo") {
            EXPECT_TRUE(FAILED(hr));
        }
        EXPECT_EQ(LeggiFile(d / "Mirtesa.mdb"), byte);
    }
}

}  // namespace
