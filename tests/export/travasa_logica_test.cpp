// The program's logic without a window: the selection list, the remembered dates, the
// start-up checks against real PE files, and the main window's events and export run on
// a generated household through the real data component.
#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "export/Avvio.h"
#include "export/DateRicordate.h"
#include "export/Esportazione.h"
#include "export/Globale.h"
#include "export/ListaSelezione.h"
#include "export/frmMainLogica.h"
#include "ole/ole.hpp"
#include "shell/messagebox.h"
#include "tessadati/tessadati.h"
#include "famiglia_prova.h"
#include "vq/data.h"
#include "vq/errore.h"
#include "win/registry.h"

namespace {

namespace fs = std::filesystem;
using travasa::ListaSelezione;
using travasa::VoceSelezione;
using Messaggio = shell::RegistratoreMessaggi::Messaggio;

const char* const kFiltro = "Software\\VB and VBA Program Settings\\VQEsporta_XML\\Filtro";

// Boxes and beeps recorded; "end the program at once" turned into ProgrammaTerminato.
class Ambiente {
public:
    Ambiente()
        : registro_(std::make_shared<shell::RegistratoreMessaggi>()),
          servizio_(registro_),
          terminazione_(travasa::ImpostaTerminazione([](int) {})) {}
    ~Ambiente() { travasa::ImpostaTerminazione(std::move(terminazione_)); }
    shell::RegistratoreMessaggi& Messaggi() { return *registro_; }

private:
    std::shared_ptr<shell::RegistratoreMessaggi> registro_;
    shell::ServizioTemporaneo servizio_;
    travasa::Terminazione terminazione_;
};

// ---- Selection list ------------------------------------------------------------------

struct PassoLista {
    char azione;          // 'a' add, 'r' remove, 'c' clear, 's' select
    std::string testo;    // for 'a'
    std::int32_t id = 0;  // for 'a'; the index for 's'
};
struct CasoLista {
    const char* nome;
    std::vector<PassoLista> passi;
    std::vector<std::string> testi;
    int selezionata;
    int beep;
};

class Lista : public ::testing::TestWithParam<CasoLista> {};

TEST_P(Lista, RegoleDiAggiuntaERimozione) {
    Ambiente a;
    ListaSelezione l;
    for (const auto& p : GetParam().passi) {
        if (p.azione == 'a') l.AggiungiVoce(p.testo, p.id);
        if (p.azione == 'r') l.Rimuovi();
        if (p.azione == 'c') l.Ripulisci();
        if (p.azione == 's') l.Seleziona(p.id);
    }
    std::vector<std::string> testi;
    for (const auto& v : l.Voci()) testi.push_back(v.testo);
    EXPECT_EQ(testi, GetParam().testi);
    EXPECT_EQ(l.Selezionata(), GetParam().selezionata);
    EXPECT_EQ(a.Messaggi().Beeps(), GetParam().beep);
    EXPECT_TRUE(a.Messaggi().Messaggi().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Casi, Lista,
    ::testing::Values(
        CasoLista{"DoppioneSelezionaIlPrimoEBeep",
                  {{'a', "Banca\\ <Tutti i Codici>", 7},
                   {'a', "Banca\\ Bancomat", 12},
                   {'a', "Banca\\ <Tutti i Codici>", 7}},
                  {"Banca\\ <Tutti i Codici>", "Banca\\ Bancomat"},
                  0,
                  1},
        CasoLista{"ConfrontoEsattoMaiuscole",
                  {{'a', "Casa", 1}, {'a', "casa", 2}},
                  {"Casa", "casa"},
                  1,
                  0},
        CasoLista{"RimuoviSenzaSelezioneTogliePrimo",
                  {{'a', "A", 1}, {'a', "B", 2}, {'s', "", -1}, {'r', "", 0}},
                  {"B"},
                  0,
                  0},
        CasoLista{"RimuoviKSelezionaPrecedente",
                  {{'a', "A", 1}, {'a', "B", 2}, {'a', "C", 3}, {'s', "", 2}, {'r', "", 0}},
                  {"A", "B"},
                  1,
                  0},
        CasoLista{"RimuoviZeroSelezionaNuovoZero",
                  {{'a', "A", 1}, {'a', "B", 2}, {'s', "", 0}, {'r', "", 0}},
                  {"B"},
                  0,
                  0},
        CasoLista{"RimuoviUltimaLasciaVuota", {{'a', "A", 1}, {'r', "", 0}}, {}, -1, 0},
        CasoLista{"RimuoviListaVuotaBeep", {{'r', "", 0}}, {}, -1, 1},
        CasoLista{"RipulisciVuotaSilenziosa", {{'c', "", 0}}, {}, -1, 0},
        CasoLista{"Ripulisci", {{'a', "A", 1}, {'a', "B", 2}, {'c', "", 0}}, {}, -1, 0}),
    [](const auto& caso) { return std::string(caso.param.nome); });

struct CasoFiltro {
    const char* nome;
    std::vector<VoceSelezione> voci;
    std::string conti, casse, conto;
};
class Filtro : public ::testing::TestWithParam<CasoFiltro> {};

TEST_P(Filtro, PreparaFiltroConti) {
    Ambiente a;
    ListaSelezione l;
    for (const auto& v : GetParam().voci) l.AggiungiVoce(v.testo, v.id);
    const auto f = l.PreparaFiltroConti();
    EXPECT_EQ(f.idConti, GetParam().conti);
    EXPECT_EQ(f.idCasse, GetParam().casse);
    EXPECT_EQ(f.conto, GetParam().conto);
}

INSTANTIATE_TEST_SUITE_P(
    Casi, Filtro,
    ::testing::Values(
        CasoFiltro{"ContoECasse",
                   {{"Casa\\ <Tutti i Codici>", 3}, {"Auto\\ Benzina", 12}, {"Auto\\ Bollo", 15}},
                   "3",
                   "12;15",
                   "Casa\\ <Tutti i Codici>\rAuto\\ Benzina\rAuto\\ Bollo"},
        CasoFiltro{"TuttiIContiInMezzo",
                   {{"Casa\\ <Tutti i Codici>", 3}, {"<Tutti i Conti>", -1}, {"Auto\\ Bollo", 15}},
                   "",
                   "",
                   "Tutti i conti\\codici"},
        CasoFiltro{"CodiciMaiuscoleDiverse",
                   {{"Casa\\ <tutti i codici>", 3}},
                   "",
                   "3",
                   "Casa\\ <tutti i codici>"}),
    [](const auto& caso) { return std::string(caso.param.nome); });

// ---- Remembered dates ----------------------------------------------------------------

struct CasoData {
    const char* nome;
    const char* memorizzato;  // nullptr: nothing stored
    int anno, mese, giorno;   // 0: the default
};
class DateRicordate : public ::testing::TestWithParam<CasoData> {};

TEST_P(DateRicordate, LettaDalRegistro) {
    prova::Cartella c("travasa-date", prova::kInMemoria);
    c.UsaPerIlRegistro();
    const auto& p = GetParam();
    if (p.memorizzato) {
        ASSERT_TRUE(
            prova::ScriviValore(HKEY_CURRENT_USER, kFiltro, "Data_Iniziale", p.memorizzato));
    }
    const vq::DATA atteso =
        p.anno ? vq::DateSerial(p.anno, p.mese, p.giorno) : travasa::DataInizialeDefault();
    EXPECT_EQ(travasa::LeggiDataIniziale(), atteso);
    EXPECT_EQ(vq::Err().numero, 0);
}

INSTANTIATE_TEST_SUITE_P(Casi, DateRicordate,
                         ::testing::Values(CasoData{"Nessuna", nullptr, 0, 0, 0},
                                           CasoData{"Normale", "20040305", 2004, 3, 5},
                                           CasoData{"Mese13", "20041301", 2005, 1, 1},
                                           CasoData{"Giorno30Febbraio", "20040230", 2004, 3, 1},
                                           CasoData{"SetteCaratteri", "2004123", 0, 0, 0},
                                           CasoData{"Lettere", "2004ab01", 0, 0, 0},
                                           CasoData{"Spazi", "  20040305 ", 2004, 3, 5},
                                           CasoData{"Vuota", "   ", 0, 0, 0}),
                         [](const auto& caso) { return std::string(caso.param.nome); });

TEST(DateRicordate, SalvataComeTestoDiOttoCifre) {
    prova::Cartella c("travasa-date", prova::kInMemoria);
    c.UsaPerIlRegistro();
    EXPECT_EQ(travasa::NomeApplicazione(), "VQEsporta_XML");
    travasa::SalvaDataIniziale(vq::DateSerial(2004, 3, 5));
    travasa::SalvaDataFinale(vq::DateSerial(2030, 12, 31) + 0.75);
    EXPECT_EQ(prova::LeggiValore(HKEY_CURRENT_USER, kFiltro, "Data_Iniziale"), "20040305");
    EXPECT_EQ(prova::LeggiValore(HKEY_CURRENT_USER, kFiltro, "Data_Finale"), "20301231");
    EXPECT_EQ(travasa::LeggiDataFinale(), vq::DateSerial(2030, 12, 31));
    EXPECT_EQ(travasa::DataInizialeDefault(),
              vq::DateSerial(vq::ScomponiData(travasa::DataFinaleDefault()).anno, 1, 1));
}

TEST(Periodo, TestiEMesiDellaLinguaDiSistema) {
    const char* prima = std::getenv("LC_ALL");
    const std::string salvato = prima ? prima : "";
    ::setenv("LC_ALL", "it_IT.UTF-8", 1);
    const vq::DATA a = vq::DateSerial(2004, 1, 1), b = vq::DateSerial(2004, 8, 31) + 0.5;
    EXPECT_EQ(travasa::TestoPeriodo(true, a, true, b), "Dal 01-gen-2004 al 31-ago-2004");
    EXPECT_EQ(travasa::TestoPeriodo(true, a, false, b), "Dal 01-gen-2004");
    EXPECT_EQ(travasa::TestoPeriodo(false, a, true, b), "Fino al 31-ago-2004");
    EXPECT_EQ(travasa::TestoPeriodo(false, a, false, b), "Tutto");
    ::setenv("LC_ALL", "en_GB.UTF-8", 1);
    EXPECT_EQ(travasa::DataPeriodo(b), "31-Aug-2004");
    if (prima) ::setenv("LC_ALL", salvato.c_str(), 1);
    else ::unsetenv("LC_ALL");
    EXPECT_EQ(travasa::DestinazioneFoglioStile("/d/spese.xml"), "/d/spese.xsl");
    EXPECT_EQ(travasa::DestinazioneFoglioStile("/d/spese"), "/d/spese.xsl");
    EXPECT_EQ(travasa::DestinazioneFoglioStile("/d/a.b.xml"), "/d/a.b.xsl");
}

// ---- Start-up checks -----------------------------------------------------------------

std::string Maiuscolo(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

struct CasoAvvio {
    const char* nome;
    const char* eseguibile;  // PE sample copied over Mirtesa.exe; "" removes it; nullptr keeps it
    bool termina;
    int numero;        // the box's error number (0: the stop box or none)
    const char* coda;  // the text after the upper-cased path
};
class Avvio : public ::testing::TestWithParam<CasoAvvio> {};

TEST_P(Avvio, VersioneDelProgrammaHost) {
    const auto& p = GetParam();
    if (p.eseguibile && *p.eseguibile && std::string(VQ_PE_DIR).empty())
        GTEST_SKIP() << "campioni PE non costruiti";
    prova::Famiglia f(10);
    ole::Inizializza com;
    Ambiente a;
    const fs::path exe = f.programma / "Mirtesa.exe";
    if (p.eseguibile) {
        fs::remove(exe);
        if (*p.eseguibile) fs::copy_file(fs::path(VQ_PE_DIR) / p.eseguibile, exe);
    }
    travasa::ControlliAvvio avvio({(f.cartella / "travasa").string() + "/", "travasa"});
    if (p.termina) EXPECT_THROW(avvio.Esegui(), travasa::ProgrammaTerminato);
    else EXPECT_NO_THROW(avvio.Esegui());
    const auto m = a.Messaggi().Messaggi();
    if (!p.termina) {
        EXPECT_TRUE(m.empty());
        EXPECT_EQ(travasa::PathEseguibile, f.programma.string() + "/Mirtesa.exe");
        EXPECT_EQ(travasa::PathDataBase, f.dati.string() + "/mirtesa.mdb");
        return;
    }
    ASSERT_EQ(m.size(), 1u);
    if (p.numero) {
        EXPECT_EQ(m[0].testo, Maiuscolo(f.programma.string() + "/Mirtesa.exe") + p.coda);
        EXPECT_EQ(m[0].titolo, "Errore  " + std::to_string(p.numero));
        EXPECT_EQ(m[0].stile, shell::MB_ICONINFORMATION);
    } else {
        EXPECT_EQ(
            m[0].testo,
            "La versione di Mirtesa installata è una versione obsoleta. E' richiesta la versione "
            "3.3.0.0 o ver. successiva. ");
        EXPECT_EQ(m[0].titolo, "Errore");
        EXPECT_EQ(m[0].stile, shell::MB_ICONSTOP);
    }
}

INSTANTIATE_TEST_SUITE_P(Casi, Avvio,
                         ::testing::Values(CasoAvvio{"Versione3300", nullptr, false, 0, ""},
                                           CasoAvvio{"Versione3100", "v3100_32.dll", false, 0, ""},
                                           CasoAvvio{"Versione3299", "v3299_32.dll", true, 0, ""},
                                           CasoAvvio{"SenzaVersione", "nessuna_32.dll", true, 10007,
                                                     ": corrotto. Reinstallare Mirtesa."},
                                           CasoAvvio{"Mancante", "", true, 10005,
                                                     ": non trovato. Reinstallare Mirtesa."}),
                         [](const auto& caso) { return std::string(caso.param.nome); });

TEST(AvvioDataBase, CopiatoDalModelloMaiSovrascritto) {
    prova::Famiglia f(10);
    ole::Inizializza com;
    Ambiente a;
    // The host's name in another case is the same file.
    fs::rename(f.programma / "Mirtesa.exe", f.programma / "MIRTESA.exe");
    const fs::path dati = f.cartella / "nuovi/a/b";
    ASSERT_TRUE(prova::InstallaHost(f.programma.string() + "/", dati.string() + "/"));
    travasa::ControlliAvvio avvio({(f.cartella / "travasa").string() + "/", "travasa"});
    ASSERT_NO_THROW(avvio.Esegui());
    const std::string modello = prova::LeggiFile(f.programma / "mirtesa.dat");
    EXPECT_EQ(prova::LeggiFile(dati / "mirtesa.mdb"), modello);
    EXPECT_EQ(std::distance(fs::directory_iterator(dati), {}), 1);
    prova::ScriviFile(f.programma / "mirtesa.dat", "altro");
    ASSERT_NO_THROW(avvio.Esegui());
    EXPECT_EQ(prova::LeggiFile(dati / "mirtesa.mdb"), modello);
    // The household's database under another case is found too: nothing copied there.
    ASSERT_TRUE(prova::InstallaHost(f.programma.string() + "/", f.dati.string() + "/"));
    ASSERT_NO_THROW(avvio.Esegui());
    EXPECT_FALSE(fs::exists(f.dati / "mirtesa.mdb") && fs::exists(f.dati / "Mirtesa.mdb") &&
                 !fs::equivalent(f.dati / "mirtesa.mdb", f.dati / "Mirtesa.mdb"));
    EXPECT_TRUE(a.Messaggi().Messaggi().empty());
    // Without the template the copy's error ends the program.
    fs::remove(f.programma / "mirtesa.dat");
    ASSERT_TRUE(
        prova::InstallaHost(f.programma.string() + "/", (f.cartella / "altri").string() + "/"));
    EXPECT_THROW(avvio.Esegui(), travasa::ProgrammaTerminato);
    ASSERT_EQ(a.Messaggi().Messaggi().size(), 1u);
    EXPECT_EQ(a.Messaggi().Messaggi()[0].titolo, "Errore  53");
    EXPECT_TRUE(fs::is_directory(f.cartella / "altri"));
    // Two databases whose names differ only in case, neither the exact one: which one the
    // host means is unknown, so the program ends naming them, and copies nothing there.
    prova::ScriviFile(f.programma / "mirtesa.dat", modello);
    const fs::path doppi = f.cartella / "doppi";
    fs::create_directories(doppi);
    prova::ScriviFile(doppi / "MIRTESA.mdb", "uno");
    prova::ScriviFile(doppi / "Mirtesa.MDB", "due");
    ASSERT_TRUE(prova::InstallaHost(f.programma.string() + "/", doppi.string() + "/"));
    EXPECT_THROW(avvio.Esegui(), travasa::ProgrammaTerminato);
    ASSERT_EQ(a.Messaggi().Messaggi().size(), 2u);
    EXPECT_EQ(a.Messaggi().Messaggi()[1].titolo, "Errore  53");
    EXPECT_NE(a.Messaggi().Messaggi()[1].testo.find("\"MIRTESA.mdb\", \"Mirtesa.MDB\""),
              std::string::npos);
    EXPECT_EQ(std::distance(fs::directory_iterator(doppi), {}), 2);
}

TEST(AvvioModulo, RegistratoOFallitoInSilenzio) {
    prova::Famiglia f(10);
    ole::Inizializza com;
    Ambiente a;
    const std::string chiave = "Software\\Mirtesa\\ModuliAggiuntivi\\Esporta XML";
    travasa::ControlliAvvio avvio({(f.cartella / "prog").string() + "/", "travasa"});
    ASSERT_NO_THROW(avvio.Esegui());
    EXPECT_EQ(prova::LeggiValore(HKEY_CURRENT_USER, chiave, "Percorso"),
              (f.cartella / "prog/travasa").string());
    EXPECT_EQ(prova::LeggiValore(HKEY_CURRENT_USER, chiave, "Descrizione"),
              "Esporta l'estratto in XML");
    // The user's store cannot be written: the registration fails, the start goes on.
    fs::remove(f.Registro() / "HKCU.reg.lock");
    fs::create_directory(f.Registro() / "HKCU.reg.lock");
    travasa::ControlliAvvio altro({(f.cartella / "altro").string() + "/", "travasa"});
    ASSERT_NO_THROW(altro.Esegui());
    EXPECT_EQ(prova::LeggiValore(HKEY_CURRENT_USER, chiave, "Percorso"),
              (f.cartella / "prog/travasa").string());
    EXPECT_TRUE(a.Messaggi().Messaggi().empty());
    EXPECT_EQ(vq::Err().numero, 0);
}

TEST(AvvioModulo, ComponenteRegistratoPerUnUtenteNuovo) {
    prova::Famiglia f(10);
    ole::Inizializza com;
    Ambiente a;
    OLECHAR testo[40];
    StringFromGUID2(CLSID_ClsDatiMirtesa, testo, 40);
    const std::string classe = "CLSID\\" + ole::Utf16InUtf8(std::u16string_view(
                                               reinterpret_cast<const char16_t*>(testo), 38));
    ASSERT_EQ(RegDeleteTreeA(HKEY_CLASSES_ROOT, classe.c_str()), ERROR_SUCCESS);
    travasa::ControlliAvvio avvio({std::string(TESSADATI_DIR) + "/", "travasa"});
    ASSERT_NO_THROW(avvio.Esegui());
    EXPECT_EQ(prova::LeggiValore(HKEY_CLASSES_ROOT, classe + "\\InprocServer32", nullptr),
              fs::canonical(fs::path(TESSADATI_DIR) / "libtessadati.so").string());
    EXPECT_NO_THROW(travasa::CreaDatiMirtesa());
}

// ---- The main window's logic on a household -------------------------------------------

class DialogoProva : public travasa::DialogoSalva {
public:
    void ShowSave(travasa::ImpostazioniDialogo& d) override {
        ++aperture;
        vista = d;
        if (risposta.empty()) vq::Solleva(travasa::kErrDialogoAnnullato, "Annullato");
        d.FileName = risposta;
    }
    int aperture = 0;
    std::string risposta;
    travasa::ImpostazioniDialogo vista;
};

class ApriProva : public travasa::ApriDocumento {
public:
    std::int32_t Apri(std::intptr_t h, const std::string& file, bool muto) override {
        chiamate.push_back(std::to_string(h) + " " + file + (muto ? " muto" : ""));
        return 0;
    }
    std::vector<std::string> chiamate;
};

class Finestra : public ::testing::Test {
protected:
    static void SetUpTestSuite() { famiglia_ = std::make_unique<prova::Famiglia>(400); }
    static void TearDownTestSuite() { famiglia_.reset(); }

    void SetUp() override {
        famiglia_->Usa();
        cartella_ = std::make_unique<prova::Cartella>("travasa-prog", prova::kInMemoria);
        programma_ = cartella_->percorso().string() + "/";
        fs::create_directories(cartella_->percorso() / "template/html");
        fs::copy_file(VQ_FOGLIO_STILE_BUILD, cartella_->percorso() / "template/html/css.xsl");
        servizi_.dialogo = &dialogo_;
        servizi_.documenti = &apri_;
        servizi_.pausa = [this](std::int32_t ms) { pause_.push_back(ms); };
        servizi_.hWnd = 42;
        servizi_.versioneMaggiore = 1;
        finestra_ = std::make_unique<travasa::frmMainLogica>(
            servizi_, travasa::IdentitaProgramma{programma_, "travasa"});
        finestra_->Notifica([this](unsigned parti) {
            if ((parti & travasa::ParteProgresso) && finestra_->Stato().prgVisibile)
                barraVista_ = true;
        });
    }
    void TearDown() override {
        if (finestra_) finestra_->Scarica();
        finestra_.reset();
    }

    // The entries of the account list that have cash codes.
    int ContoConCodici() {
        const auto& conti = finestra_->Stato().cboConti.voci;
        for (int i = 1; i < static_cast<int>(conti.size()); ++i) {
            finestra_->ContoScelto(i);
            if (finestra_->Stato().cboCassa.voci.size() > 1) return i;
        }
        return -1;
    }
    fs::path File(const char* nome) const { return cartella_->percorso() / nome; }
    std::vector<Messaggio> Messaggi() { return ambiente_.Messaggi().Messaggi(); }

    static inline std::unique_ptr<prova::Famiglia> famiglia_;
    ole::Inizializza com_;
    Ambiente ambiente_;
    std::unique_ptr<prova::Cartella> cartella_;
    std::string programma_;
    DialogoProva dialogo_;
    ApriProva apri_;
    std::vector<std::int32_t> pause_;
    bool barraVista_ = false;
    travasa::ServiziFinestra servizi_;
    std::unique_ptr<travasa::frmMainLogica> finestra_;
};

TEST_F(Finestra, CaricamentoEScelte) {
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\VB and VBA Program Settings");
    finestra_->Carica();
    const auto& s = finestra_->Stato();
    ASSERT_GT(s.cboConti.voci.size(), 1u);
    EXPECT_EQ(s.cboConti.voci[0], (travasa::VoceElenco{"<Tutti i Conti>", -1}));
    EXPECT_EQ(s.cboConti.scelta, 0);
    EXPECT_TRUE(s.cboCassa.voci.empty());
    EXPECT_FALSE(s.cboCassa.abilitato);
    EXPECT_EQ(s.caption, "Esporta XML - Modulo Aggiuntivo di Mirtesa");
    EXPECT_EQ(s.lblVersione, "V.1.0");
    EXPECT_EQ(s.DtDataIniziale, travasa::DataInizialeDefault());
    EXPECT_EQ(s.DtDataFinale, travasa::DataFinaleDefault());
    EXPECT_FALSE(s.DtDataInizialeAbilitato || s.cmdDefaultDIAbilitato || s.chkIniziale);

    finestra_->Aggiungi();
    ASSERT_EQ(s.lista.Voci().size(), 1u);
    EXPECT_EQ(s.lista.Voci()[0], (VoceSelezione{"<Tutti i Conti>", -1}));

    const int i = ContoConCodici();
    ASSERT_GT(i, 0);
    const auto conto = s.cboConti.voci[static_cast<std::size_t>(i)];
    EXPECT_EQ(s.cboCassa.voci[0], (travasa::VoceElenco{"<Tutti i Codici>", -1}));
    EXPECT_EQ(s.cboCassa.scelta, 0);
    EXPECT_TRUE(s.cboCassa.abilitato);
    finestra_->Aggiungi();
    finestra_->SceltaCassa(1);
    const auto codice = s.cboCassa.voci[1];
    finestra_->Aggiungi();
    finestra_->SceltaCassa(0);
    finestra_->Aggiungi();  // again: beep, the first copy selected
    const std::vector<VoceSelezione> attese = {{"<Tutti i Conti>", -1},
                                               {conto.testo + "\\ <Tutti i Codici>", conto.id},
                                               {conto.testo + "\\ " + codice.testo, codice.id}};
    EXPECT_EQ(s.lista.Voci(), attese);
    EXPECT_EQ(s.lista.Selezionata(), 1);
    EXPECT_EQ(ambiente_.Messaggi().Beeps(), 1);

    finestra_->ClickIniziale(true);
    EXPECT_TRUE(s.DtDataInizialeAbilitato && s.cmdDefaultDIAbilitato);
    EXPECT_FALSE(s.DtDataFinaleAbilitato || s.cmdDefaultDFAbilitato);
    finestra_->ClickIniziale(false);
    EXPECT_FALSE(s.DtDataInizialeAbilitato || s.cmdDefaultDIAbilitato);
    finestra_->ImpostaDataFinale(vq::DateSerial(2001, 2, 3));
    finestra_->ReimpostaDataFinale();
    EXPECT_EQ(s.DtDataFinale, travasa::DataFinaleDefault());

    finestra_->ClickStrumento("altro");
    finestra_->ClickStrumento("help");
    EXPECT_EQ(apri_.chiamate, std::vector<std::string>{"42 " + programma_ + "travasa.htm"});
    // Nothing of the window is stored by the events.
    EXPECT_EQ(prova::LeggiValore(HKEY_CURRENT_USER, kFiltro, "Data_Finale"), "<assente>");
    EXPECT_TRUE(Messaggi().empty());
}

// The early messages, in their order, and nothing after them.
struct CasoPrecoce {
    const char* nome;
    bool aggiungi;
    int giorniFinale;  // the final date relative to the initial one; both boxes ticked
    const char* testo;
    const char* titolo;
    std::uint32_t stile;
};
class Precoce : public Finestra, public ::testing::WithParamInterface<CasoPrecoce> {};

TEST_P(Precoce, MessaggioEFine) {
    const auto& p = GetParam();
    finestra_->Carica();
    if (p.aggiungi) finestra_->Aggiungi();
    finestra_->ClickIniziale(true);
    finestra_->ClickFinale(true);
    finestra_->ImpostaDataIniziale(vq::DateSerial(2100, 1, 10));
    finestra_->ImpostaDataFinale(vq::DateSerial(2100, 1, 10 + p.giorniFinale));
    dialogo_.risposta = File("x.xml").string();
    const auto r = finestra_->Esporta();
    ASSERT_EQ(Messaggi().size(), 1u);
    EXPECT_EQ(Messaggi()[0].testo, p.testo);
    EXPECT_EQ(Messaggi()[0].titolo, p.titolo);
    EXPECT_EQ(Messaggi()[0].stile, p.stile);
    EXPECT_EQ(dialogo_.aperture, 0);
    EXPECT_FALSE(fs::exists(File("x.xml")));
    EXPECT_NE(r.esito, travasa::EsitoEsportazione::Esportato);
}

INSTANTIATE_TEST_SUITE_P(
    Casi, Precoce,
    ::testing::Values(CasoPrecoce{"DateInvertiteVinconoSullaListaVuota", false, -1,
                                  travasa::kMsgDateInvertite, "Errore", shell::MB_ICONSTOP},
                      CasoPrecoce{"ListaVuota", false, 0, travasa::kMsgListaVuota, "Errore",
                                  shell::MB_ICONSTOP},
                      CasoPrecoce{"NessunMovimento", true, 0, travasa::kMsgNessunMovimento,
                                  "Esportazione", shell::MB_ICONINFORMATION}),
    [](const auto& caso) { return std::string(caso.param.nome); });

TEST_F(Finestra, AnnullatoNonScriveNulla) {
    finestra_->Carica();
    finestra_->Aggiungi();
    finestra_->Esporta();
    EXPECT_EQ(dialogo_.aperture, 1);
    EXPECT_TRUE(Messaggi().empty());
    EXPECT_EQ(std::distance(fs::directory_iterator(cartella_->percorso()), {}), 1);  // template/
    EXPECT_FALSE(finestra_->Stato().prgVisibile);
    EXPECT_EQ(ambiente_.Messaggi().Cursori(), std::vector<bool>{false});
}

TEST_F(Finestra, EsportazioneFoglioStileESecondaEsecuzione) {
    finestra_->Carica();
    finestra_->Aggiungi();
    finestra_->ClickIniziale(true);
    finestra_->ClickFinale(true);
    finestra_->ImpostaDataIniziale(vq::DateSerial(2000, 1, 1));
    finestra_->ImpostaDataFinale(vq::DateSerial(2030, 12, 31));
    prova::ScriviFile(File("spese.xsl"), "vecchio");
    dialogo_.risposta = File("spese.xml").string();
    const auto r = finestra_->Esporta();
    ASSERT_EQ(r.esito, travasa::EsitoEsportazione::Esportato);
    EXPECT_EQ(dialogo_.vista.DefaultExt, "xml");
    EXPECT_EQ(dialogo_.vista.Filter, "File XML (*.xml)|*.xml");
    EXPECT_EQ(dialogo_.vista.Flags, 2054);
    EXPECT_TRUE(dialogo_.vista.CancelError);
    EXPECT_FALSE(dialogo_.vista.InitDir.empty());
    EXPECT_EQ(prova::LeggiFile(File("spese.xsl")), prova::LeggiFile(VQ_FOGLIO_STILE_BUILD));
    EXPECT_EQ(pause_, std::vector<std::int32_t>{300});
    EXPECT_TRUE(barraVista_);
    EXPECT_FALSE(finestra_->Stato().prgVisibile);
    EXPECT_EQ(prova::LeggiValore(HKEY_CURRENT_USER, kFiltro, "Data_Iniziale"), "20000101");
    EXPECT_EQ(prova::LeggiValore(HKEY_CURRENT_USER, kFiltro, "Data_Finale"), "20301231");

    pugi::xml_document d;
    ASSERT_TRUE(d.load_file(File("spese.xml").c_str(), pugi::parse_default | pugi::parse_pi));
    EXPECT_STREQ(d.first_child().name(), "xml-stylesheet");
    const auto radice = d.child("dataset_operazioni");
    EXPECT_EQ(std::string(radice.child("filtro_conto").child_value("conto")),
              "Tutti i conti\\codici");
    const auto righe = radice.select_nodes("tabella_operazioni").size();
    ASSERT_GT(righe, 0u);
    ASSERT_EQ(Messaggi().size(), 1u);
    EXPECT_EQ(Messaggi()[0].testo, travasa::kMsgCompletata + std::to_string(righe));
    EXPECT_EQ(r.righe, static_cast<std::int32_t>(righe));

    // A second run: header and filter rebuilt, the dialog opens on the previous name.
    finestra_->Ripulisci();
    const int i = ContoConCodici();
    finestra_->Aggiungi();
    finestra_->ClickIniziale(false);
    finestra_->ClickFinale(false);
    finestra_->ImpostaCss(false);
    dialogo_.risposta = File("conto.xml").string();
    ASSERT_EQ(finestra_->Esporta().esito, travasa::EsitoEsportazione::Esportato);
    EXPECT_EQ(dialogo_.vista.FileName, File("spese.xml").string());
    EXPECT_EQ(travasa::Info().Periodo, "Tutto");
    const std::string conto = finestra_->Stato().cboConti.voci[static_cast<std::size_t>(i)].testo;
    EXPECT_EQ(travasa::Info().Conto, conto + "\\ <Tutti i Codici>");
    pugi::xml_document d2;
    ASSERT_TRUE(d2.load_file(File("conto.xml").c_str(), pugi::parse_default | pugi::parse_pi));
    EXPECT_STRNE(d2.first_child().name(), "xml-stylesheet");
    EXPECT_FALSE(fs::exists(File("conto.xsl")));
    for (const auto& n : d2.child("dataset_operazioni").children("tabella_operazioni"))
        EXPECT_EQ(std::string(n.child_value("conto")), conto);
}

TEST_F(Finestra, FoglioStileAssenteNessunaIstruzione) {
    fs::remove_all(cartella_->percorso() / "template");
    finestra_->Carica();
    finestra_->Aggiungi();
    dialogo_.risposta = File("e.xml").string();
    ASSERT_EQ(finestra_->Esporta().esito, travasa::EsitoEsportazione::Esportato);
    EXPECT_EQ(prova::LeggiFile(File("e.xml")).find("xml-stylesheet"), std::string::npos);
    EXPECT_FALSE(fs::exists(File("e.xsl")));
    ASSERT_EQ(Messaggi().size(), 1u);
    EXPECT_EQ(Messaggi()[0].titolo, "Esportazione");
}

TEST_F(Finestra, FileColNomeDelFoglioStileNonScritto) {
    finestra_->Carica();
    finestra_->Aggiungi();
    dialogo_.risposta = File("spese.xsl").string();
    const auto r = finestra_->Esporta();
    EXPECT_EQ(r.esito, travasa::EsitoEsportazione::Errore);
    EXPECT_EQ(r.errore, 75);
    EXPECT_FALSE(fs::exists(File("spese.xsl")));
    ASSERT_EQ(Messaggi().size(), 1u);
    EXPECT_EQ(Messaggi()[0].titolo, "Errore  75");
}

TEST_F(Finestra, ErroreDiScritturaSegnalatoFinestraAperta) {
    finestra_->Carica();
    finestra_->Aggiungi();
    dialogo_.risposta = File("manca/e.xml").string();
    const auto r = finestra_->Esporta();
    EXPECT_EQ(r.esito, travasa::EsitoEsportazione::Errore);
    ASSERT_EQ(Messaggi().size(), 1u);
    EXPECT_EQ(Messaggi()[0].testo.rfind("Esportazione: ", 0), 0u);
    EXPECT_FALSE(finestra_->Stato().prgVisibile);
    EXPECT_EQ(ambiente_.Messaggi().Cursori(), (std::vector<bool>{true, false}));
}

}  // namespace
