// travasa-cli end to end on generated households (Jet 3 and Jet 4): every option, each
// exit status, the header, the rows and their order read back with an XML parser, the
// page against xsltproc's, start-up failures, and a run killed while writing.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "famiglia_prova.h"

namespace {

namespace fs = std::filesystem;

struct Esito {
    int stato = -1;
    std::string uscita, errore;
};

// Runs travasa-cli with `argomenti` in the current registry, months in English.
Esito Lancia(const std::vector<std::string>& argomenti, const char* lingua = "C") {
    prova::Cartella c("travasa-cli-err", prova::kInMemoria);
    const fs::path err = c / "err";
    std::string comando = std::string("LC_ALL=") + lingua + " " + prova::Quota(TRAVASA_CLI);
    for (const auto& a : argomenti) comando += " " + prova::Quota(a);
    Esito e;
    e.uscita = prova::Esegui(comando + " 2>" + prova::Quota(err.string()), e.stato);
    e.errore = prova::LeggiFile(err);
    return e;
}

struct Riga {
    std::string conto, cassa, data, causale, euro;
    friend bool operator==(const Riga&, const Riga&) = default;
};

struct Documento {
    bool foglioStile = false;
    std::string periodo;
    std::vector<std::string> conti;
    std::vector<Riga> righe;
};

Documento Leggi(const fs::path& file) {
    pugi::xml_document d;
    const auto r = d.load_file(file.c_str(), pugi::parse_default | pugi::parse_pi);
    if (!r) throw std::runtime_error(file.string() + ": " + r.description());
    Documento doc;
    doc.foglioStile = std::string(d.first_child().name()) == "xml-stylesheet";
    const auto radice = d.child("dataset_operazioni");
    doc.periodo = radice.child("filtro_periodo").child_value("periodo");
    for (const auto& c : radice.children("filtro_conto"))
        doc.conti.emplace_back(c.child_value("conto"));
    for (const auto& t : radice.children("tabella_operazioni"))
        doc.righe.push_back({t.child_value("conto"), t.child_value("cassa"), t.child_value("data"),
                             t.child_value("causale"), t.child_value("importo_euro")});
    return doc;
}

std::vector<Riga> Filtra(const std::vector<Riga>& righe,
                         const std::function<bool(const Riga&)>& tieni) {
    std::vector<Riga> r;
    for (const auto& x : righe)
        if (tieni(x)) r.push_back(x);
    return r;
}

// The accounts and their cash codes as --elenca lists them.
struct Conto {
    std::string id, nome;
    std::vector<std::pair<std::string, std::string>> codici;
};
std::vector<Conto> Elenco(const std::string& testo) {
    std::vector<Conto> r;
    std::size_t i = 0;
    while (i < testo.size()) {
        const auto fine = testo.find('\n', i);
        const std::string riga = testo.substr(i, fine - i);
        i = fine == std::string::npos ? testo.size() : fine + 1;
        const bool codice = !riga.empty() && riga[0] == '\t';
        const std::string resto = codice ? riga.substr(1) : riga;
        const auto tab = resto.find('\t');
        if (tab == std::string::npos) throw std::runtime_error("riga di --elenca: " + riga);
        if (codice) r.back().codici.emplace_back(resto.substr(0, tab), resto.substr(tab + 1));
        else r.push_back({resto.substr(0, tab), resto.substr(tab + 1), {}});
    }
    return r;
}

class Base : public ::testing::Test {
protected:
    static prova::Famiglia& Famiglia(const char* formato) {
        static std::map<std::string, std::unique_ptr<prova::Famiglia>> famiglie;
        auto& f = famiglie[formato];
        if (!f) f = std::make_unique<prova::Famiglia>(1500, formato, 77);
        f->Usa();
        return *f;
    }
    void Prepara(const char* formato) {
        Famiglia(formato);
        uscite_ = std::make_unique<prova::Cartella>("travasa-cli", prova::kInMemoria);
    }
    fs::path File(const std::string& nome) const { return *uscite_ / nome; }
    std::unique_ptr<prova::Cartella> uscite_;
};

class Cli : public Base, public ::testing::WithParamInterface<const char*> {
protected:
    void SetUp() override { Prepara(GetParam()); }
};

TEST_P(Cli, OpzioniIntestazioneERighe) {
    const Esito elenco = Lancia({"--elenca"});
    ASSERT_EQ(elenco.stato, 0) << elenco.errore;
    const auto conti = Elenco(elenco.uscita);
    ASSERT_FALSE(conti.empty());

    // Everything: header, count, order, stylesheet.
    const Esito tutti = Lancia({"--tutti", "-o", File("tutti").string()});
    ASSERT_EQ(tutti.stato, 0) << tutti.errore;
    const Documento t = Leggi(File("tutti.xml"));
    EXPECT_EQ(t.periodo, "Tutto");
    EXPECT_EQ(t.conti, std::vector<std::string>{"Tutti i conti\\codici"});
    ASSERT_GT(t.righe.size(), 100u);
    EXPECT_EQ(tutti.errore,
              "Esportazione: Esportazione completata correttamente. Totale record esportati: " +
                  std::to_string(t.righe.size()) + "\n");
    for (std::size_t i = 1; i < t.righe.size(); ++i)
        ASSERT_LE(t.righe[i - 1].data, t.righe[i].data) << i;
    EXPECT_TRUE(t.foglioStile);
    EXPECT_EQ(prova::LeggiFile(File("tutti.xsl")), prova::LeggiFile(VQ_FOGLIO_STILE_BUILD));
    // Every row's account and cash code is one that --elenca lists under it.
    for (const auto& r : t.righe) {
        bool trovato = false;
        for (const auto& c : conti)
            for (const auto& k : c.codici)
                trovato = trovato || (c.nome == r.conto && k.second == r.cassa);
        ASSERT_TRUE(trovato) << r.conto << " / " << r.cassa;
    }

    // An account with all its codes and one cash code of another account, in that order.
    const Conto& primo = conti.front();
    const Conto& altro = conti.back();
    ASSERT_FALSE(altro.codici.empty());
    const auto& codice = altro.codici.front();
    const Esito scelta =
        Lancia({"--conto", primo.id, "--cassa", codice.first, "--dal", "2002-01-01", "--al",
                "2003-06-30", "-o", File("scelta.xml").string(), "--verifica"});
    ASSERT_EQ(scelta.stato, 0) << scelta.errore;
    const Documento s = Leggi(File("scelta.xml"));
    EXPECT_EQ(s.periodo, "Dal 01-Jan-2002 al 30-Jun-2003");
    EXPECT_EQ(s.conti, (std::vector<std::string>{primo.nome + "\\ <Tutti i Codici>",
                                                 altro.nome + "\\ " + codice.second}));
    EXPECT_EQ(
        s.righe, Filtra(t.righe, [&](const Riga& r) {
            return r.data >= "2002-01-01" && r.data <= "2003-06-30" &&
                   (r.conto == primo.nome || (r.conto == altro.nome && r.cassa == codice.second));
        }));
    EXPECT_FALSE(s.righe.empty());

    // Only the final date, Italian months, no stylesheet.
    const Esito fino = Lancia(
        {"--tutti", "--al", "2002-03-31", "--senza-foglio-stile", "-o", File("fino.xml").string()},
        "it_IT.UTF-8");
    ASSERT_EQ(fino.stato, 0) << fino.errore;
    const Documento f = Leggi(File("fino.xml"));
    EXPECT_EQ(f.periodo, "Fino al 31-mar-2002");
    EXPECT_FALSE(f.foglioStile);
    EXPECT_FALSE(fs::exists(File("fino.xsl")));
    EXPECT_EQ(f.righe, Filtra(t.righe, [](const Riga& r) { return r.data <= "2002-03-31"; }));

    // An existing file: refused without --sovrascrivi (nothing written), replaced with it.
    const std::string prima = prova::LeggiFile(File("fino.xml"));
    const Esito rifiuto = Lancia({"--tutti", "-o", File("fino.xml").string()});
    EXPECT_EQ(rifiuto.stato, 1);
    EXPECT_NE(rifiuto.errore.find("Esportazione: File già esistente: " + File("fino.xml").string()),
              std::string::npos)
        << rifiuto.errore;
    EXPECT_EQ(prova::LeggiFile(File("fino.xml")), prima);
    EXPECT_FALSE(fs::exists(File("fino.xsl")));
    const Esito sostituito = Lancia({"--tutti", "-o", File("fino.xml").string(), "--sovrascrivi"});
    EXPECT_EQ(sostituito.stato, 0);
    EXPECT_EQ(Leggi(File("fino.xml")).righe, t.righe);
    // The command line stores no dates.
    EXPECT_FALSE(prova::EsisteChiave(HKEY_CURRENT_USER, "Software\\VB and VBA Program Settings"));
}

TEST_P(Cli, PaginaUgualeAXsltproc) {
    const Esito e =
        Lancia({"--tutti", "--dal", "2003-01-01", "--html", "-o", File("pagina.xml").string()});
    ASSERT_EQ(e.stato, 0) << e.errore;
    EXPECT_NE(e.uscita.find("Pagina: " + File("pagina.html").string()), std::string::npos)
        << e.uscita;
    int stato = -1;
    const std::string atteso =
        prova::Esegui("xsltproc " + prova::Quota(File("pagina.xsl").string()) + " " +
                          prova::Quota(File("pagina.xml").string()),
                      stato);
    ASSERT_EQ(stato, 0);
    EXPECT_EQ(prova::LeggiFile(File("pagina.html")), atteso);
    EXPECT_GT(atteso.size(), 1000u);
}

struct CasoUscita {
    const char* nome;
    std::vector<std::string> argomenti;
    int stato;
    const char* errore;  // the beginning of standard error
};
class Uscite : public Base, public ::testing::WithParamInterface<CasoUscita> {
protected:
    void SetUp() override { Prepara("jet3"); }
};

TEST_P(Uscite, StatoEMessaggio) {
    const auto& p = GetParam();
    auto argomenti = p.argomenti;
    argomenti.insert(argomenti.end(), {"-o", File("u.xml").string()});
    const Esito e = Lancia(argomenti);
    EXPECT_EQ(e.stato, p.stato) << e.errore;
    EXPECT_EQ(e.errore.rfind(p.errore, 0), 0u) << e.errore;
    EXPECT_FALSE(fs::exists(File("u.xml")));
}

INSTANTIATE_TEST_SUITE_P(
    Casi, Uscite,
    ::testing::Values(
        CasoUscita{"NessunMovimento",
                   {"--tutti", "--dal", "2100-01-01"},
                   3,
                   "Esportazione: Nessun movimento rientra nei filtri impostati. Esportazione non "
                   "effettuata\n"},
        CasoUscita{"DateInvertite",
                   {"--tutti", "--dal", "2004-01-02", "--al", "2004-01-01"},
                   2,
                   "Errore: La DATA FINALE non può essere minore della DATA INIZIALE.\n"},
        CasoUscita{
            "OpzioneSconosciuta", {"--tutto"}, 2, "travasa-cli: opzione sconosciuta: --tutto"},
        CasoUscita{"DataNonValida",
                   {"--tutti", "--al", "2004-02-30"},
                   2,
                   "travasa-cli: --al: data non valida: \"2004-02-30\""},
        CasoUscita{"ContoSconosciuto",
                   {"--conto", "9999"},
                   2,
                   "travasa-cli: --conto: nessun conto con id 9999"},
        CasoUscita{"CassaNonNumerica",
                   {"--cassa", "abc"},
                   2,
                   "travasa-cli: --cassa: id non valido: \"abc\""},
        CasoUscita{"CassaSconosciuta",
                   {"--tutti", "--cassa", "99999"},
                   2,
                   "travasa-cli: --cassa: nessun codice cassa con id 99999"},
        CasoUscita{"NessunaScelta", {"--verifica"}, 2, "travasa-cli: nessuna scelta"}),
    [](const auto& caso) { return std::string(caso.param.nome); });

TEST(CliAvvio, ErroriDiAvvioStatoUno) {
    prova::Famiglia f(10);
    prova::Cartella c("travasa-cli", prova::kInMemoria);
    const fs::path exe = f.programma / "Mirtesa.exe";
    const std::string pe = prova::LeggiFile(exe);
    fs::remove(exe);
    std::string maiuscolo = exe.string();
    for (char& ch : maiuscolo) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    Esito e = Lancia({"--tutti", "-o", (c / "a.xml").string()});
    EXPECT_EQ(e.stato, 1);
    EXPECT_EQ(e.errore, "Errore  10005: " + maiuscolo + ": non trovato. Reinstallare Mirtesa.\n");
    if (std::string(VQ_PE_DIR).empty()) GTEST_SKIP() << "campioni PE non costruiti";
    fs::copy_file(fs::path(VQ_PE_DIR) / "v3299_32.dll", exe);
    e = Lancia({"--elenca"});
    EXPECT_EQ(e.stato, 1);
    EXPECT_EQ(e.errore,
              "Errore: La versione di Mirtesa installata è una versione obsoleta. E' richiesta la "
              "versione 3.3.0.0 o "
              "ver. successiva. \n");
    EXPECT_TRUE(e.uscita.empty());
    prova::ScriviFile(exe, pe);
    e = Lancia({"--tutti", "-o", (c / "a.xml").string()});
    EXPECT_EQ(e.stato, 0) << e.errore;
}

// A run killed at any moment leaves the previous file whole, or the new one complete.
TEST(CliInterrotto, IlFileEsistenteResta) {
    prova::Famiglia f(30000, "jet4", 5);
    prova::Cartella c("travasa-cli", prova::kInMemoria);
    const fs::path file = c / "e.xml";
    const std::string vecchio = "<?xml version=\"1.0\"?>\n<vecchio/>\n";
    int uccisi = 0;
    for (int attesa = 0; attesa <= 720; attesa += 40) {
        prova::ScriviFile(file, vecchio);
        const pid_t figlio = ::fork();
        ASSERT_GE(figlio, 0);
        if (figlio == 0) {
            ::execl(TRAVASA_CLI, TRAVASA_CLI, "--tutti", "--sovrascrivi", "-o", file.c_str(),
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(attesa));
        int stato = 0;
        if (::waitpid(figlio, &stato, WNOHANG) == 0) {
            ::kill(figlio, SIGKILL);
            ::waitpid(figlio, &stato, 0);
            ++uccisi;
        }
        const std::string ora = prova::LeggiFile(file);
        if (ora != vecchio) {
            EXPECT_EQ(Leggi(file).righe.size(), 30000u) << "ucciso dopo " << attesa << " ms";
        }
    }
    EXPECT_GT(uccisi, 3);
}

INSTANTIATE_TEST_SUITE_P(Formati, Cli, ::testing::Values("jet3", "jet4"),
                         [](const auto& caso) { return std::string(caso.param); });

}  // namespace
