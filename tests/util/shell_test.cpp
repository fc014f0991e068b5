// Starting documents and programs: EseguiEx through a recorded opener, the desktop opener
// against stand-in xdg tools written by the test, Sleep.
#include "file_prova.h"

#include "../../util/src/processi.h"

#include <util/apertura.h>
#include <util/finestre.h>
#include <util/vqUtilita.h>

#include <win/registry.h>

#include <shell/messagebox.h>
#include <vq/errore.h>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <thread>

namespace {

using vq::apertura::Esito;

TEST(EseguiEx, OutcomesAndMessages) {
    struct Caso {
        const char* nome;
        Esito esito;
        bool muto;
        bool risultato;
        const char* messaggio;  // nullptr: no box
    };
    const Caso casi[] = {
        {"avviato", Esito::Avviato, false, true, nullptr},
        {"mancante", Esito::FileNonTrovato, false, false, "/opt/vq/travasa.htm: file non trovato!"},
        {"mancante muto", Esito::FileNonTrovato, true, false, nullptr},
        {"senza programma", Esito::NessunProgramma, false, false,
         "/opt/vq/travasa.htm: nessun programma associato a questo tipo di file!"},
        {"negato", Esito::AccessoNegato, false, false, "/opt/vq/travasa.htm: accesso negato!"},
        {"negato muto", Esito::AccessoNegato, true, false, nullptr},
    };
    for (const auto& c : casi) {
        SCOPED_TRACE(c.nome);
        auto apritore = std::make_shared<vq::apertura::RegistratoreAperture>();
        auto box = std::make_shared<shell::RegistratoreMessaggi>();
        vq::apertura::ServizioTemporaneo a(apritore);
        shell::ServizioTemporaneo s(box);
        apritore->AccodaEsito(c.esito);
        EXPECT_EQ(vqUtilita::EseguiEx(0, "/opt/vq/travasa.htm", c.muto), c.risultato);
        ASSERT_EQ(apritore->Richieste().size(), 1u);
        EXPECT_EQ(apritore->Richieste()[0].documento, "/opt/vq/travasa.htm");
        EXPECT_EQ(apritore->Richieste()[0].cartellaLavoro, "/");
        const auto messaggi = box->Messaggi();
        if (c.messaggio == nullptr) {
            EXPECT_TRUE(messaggi.empty());
        } else {
            ASSERT_EQ(messaggi.size(), 1u);
            EXPECT_EQ(messaggi[0].testo, c.messaggio);
            EXPECT_EQ(messaggi[0].titolo, "Errore");
            EXPECT_EQ(messaggi[0].stile, 16u);
        }
    }
}

// An opener that fails inside: the handler shows the error's text and clears it.
class ApritoreGuasto final : public vq::apertura::Apritore {
public:
    Esito Apri(const std::string&, const std::string&) override { vq::Solleva(7); }
};

TEST(EseguiEx, FailureInsideIsShownAndCleared) {
    auto box = std::make_shared<shell::RegistratoreMessaggi>();
    vq::apertura::ServizioTemporaneo a(std::make_shared<ApritoreGuasto>());
    shell::ServizioTemporaneo s(box);
    EXPECT_FALSE(vqUtilita::EseguiEx(0, "x", false));
    ASSERT_EQ(box->Messaggi().size(), 1u);
    EXPECT_EQ(box->Messaggi()[0].testo, "Memoria esaurita");
    EXPECT_EQ(vq::Err().numero, 0);
    EXPECT_FALSE(vqUtilita::EseguiEx(0, "x", true));
    EXPECT_EQ(box->Messaggi().size(), 1u);
}

// Stand-in xdg-mime and xdg-open: the handler table is a file of "type handler" lines,
// and xdg-open records what it was asked to open.
class Desktop : public ::testing::Test {
protected:
    prova::Cartella tmp;
    std::string mime = tmp / "xdg-mime";
    std::string open = tmp / "xdg-open";
    std::string aperti = tmp / "aperti.txt";

    void SetUp() override {
        ScriviScript(
            mime,
            "#!/bin/sh\nPATH=/usr/bin:/bin\n"
            "if [ \"$2\" = filetype ]; then\n"
            "  case \"$3\" in *.htm) echo 'text/html; charset=utf-8';; *.xyz) echo chemical/x-xyz;;"
            " *) echo text/plain;; esac\n"
            "else grep \"^$3 \" '" +
                tmp.str() + "/gestori' | cut -d' ' -f2; fi\n");
        ScriviScript(open, "#!/bin/sh\necho \"$1|$(pwd)\" >> '" + aperti + "'\n");
        prova::ScriviFile(tmp / "gestori",
                          "text/plain editor.desktop\nx-scheme-handler/mailto posta.desktop\n");
    }
    static void ScriviScript(const std::string& percorso, const std::string& testo) {
        prova::ScriviFile(percorso, testo);
        ::chmod(percorso.c_str(), 0755);
    }
    // What the stand-in xdg-open was asked, waiting a little for the detached process.
    std::string Aperti() {
        for (int i = 0; i < 200; ++i) {
            const std::string s = prova::LeggiFile(aperti);
            if (!s.empty()) return s;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return {};
    }
};

TEST_F(Desktop, DocumentsAndAddresses) {
    prova::ScriviFile(tmp / "nota.txt", "x");
    prova::ScriviFile(tmp / "molecola.xyz", "x");
    prova::ScriviFile(tmp / "segreto.txt", "x");
    prova::ScriviFile(tmp / "pagina.htm", "<p>");
    ::chmod((tmp / "segreto.txt").c_str(), 0);
    const bool radice = ::geteuid() == 0;  // root reads every file
    prova::Ambiente browser("BROWSER", std::nullopt);
    prova::Ambiente path("PATH", tmp.str());  // no usual browser to fall back to
    vq::apertura::ApritoreDesktop d(mime, open);
    struct Caso {
        std::string documento;
        Esito esito;
    };
    const Caso casi[] = {
        {tmp / "manca.txt", Esito::FileNonTrovato},
        {tmp / "manca/dentro.txt", Esito::FileNonTrovato},
        {"file://" + tmp.str() + "/manca%20pure.txt", Esito::FileNonTrovato},
        {tmp / "molecola.xyz", Esito::NessunProgramma},
        {tmp / "pagina.htm", Esito::NessunProgramma},
        {"https://example.invalid/", Esito::NessunProgramma},
        {"Mailto:nessuno@example.invalid", Esito::Avviato},
        {tmp / "nota.txt", Esito::Avviato},
        {tmp / "segreto.txt", radice ? Esito::Avviato : Esito::AccessoNegato},
    };
    for (const auto& c : casi) {
        SCOPED_TRACE(c.documento);
        EXPECT_EQ(d.Apri(c.documento, "/"), c.esito);
    }
}

TEST_F(Desktop, StartsTheHandlerDetachedInTheWorkingFolder) {
    prova::ScriviFile(tmp / "nota.txt", "x");
    // A descriptor of ours, inheritable: the handler must not get it.
    const int fd = ::open((tmp / "nota.txt").c_str(), O_RDONLY);
    ASSERT_GE(fd, 3);
    ScriviScript(open, "#!/bin/sh\nPATH=/usr/bin:/bin\nf=chiuso; [ -e /proc/$$/fd/" +
                           std::to_string(fd) + " ] && f=ereditato\necho \"$1|$(pwd)|$f\" >> '" +
                           aperti + "'\n");
    vq::apertura::ApritoreDesktop d(mime, open);
    ASSERT_EQ(d.Apri(tmp / "nota.txt", tmp.str()), Esito::Avviato);
    EXPECT_EQ(Aperti(), (tmp / "nota.txt").native() + "|" + tmp.str() + "|chiuso\n");
    ::close(fd);
    ::unlink(aperti.c_str());
    ASSERT_EQ(d.Apri("Mailto:nessuno@example.invalid?subject=Esporta%20XML", "/"), Esito::Avviato);
    EXPECT_EQ(Aperti(), "mailto:nessuno@example.invalid?subject=Esporta%20XML|/|chiuso\n");
}

TEST_F(Desktop, WebPageFallsBackToABrowser) {
    prova::ScriviFile(tmp / "pagina.htm", "<p>");
    ScriviScript(tmp / "lynx", "#!/bin/sh\n");
    prova::Ambiente browser("BROWSER", std::nullopt);
    prova::Ambiente path("PATH", tmp.str());
    vq::apertura::ApritoreDesktop d(mime, open);
    EXPECT_EQ(d.Apri(tmp / "pagina.htm", "/"), Esito::Avviato);
}

TEST_F(Desktop, MissingToolsMeanNoProgram) {
    prova::ScriviFile(tmp / "nota.txt", "x");
    vq::apertura::ApritoreDesktop d(tmp / "non-c-e", tmp / "nemmeno");
    EXPECT_EQ(d.Apri(tmp / "nota.txt", "/"), Esito::NessunProgramma);
    vq::apertura::ApritoreDesktop senzaOpen(mime, tmp / "nemmeno");
    EXPECT_EQ(senzaOpen.Apri(tmp / "nota.txt", "/"), Esito::NessunProgramma);
}

TEST(Sleep, BlocksForTheGivenTime) {
    const auto inizio = std::chrono::steady_clock::now();
    vqUtilita::Sleep(50);
    EXPECT_GE(std::chrono::steady_clock::now() - inizio, std::chrono::milliseconds(50));
    const auto dopo = std::chrono::steady_clock::now();
    vqUtilita::Sleep(-1);  // would be "forever" as an unsigned wait
    vqUtilita::Sleep(0);
    EXPECT_LT(std::chrono::steady_clock::now() - dopo, std::chrono::seconds(5));
}

TEST(GoWeb, AddressesGoThroughTheOpener) {
    auto apritore = std::make_shared<vq::apertura::RegistratoreAperture>();
    auto box = std::make_shared<shell::RegistratoreMessaggi>();
    vq::apertura::ServizioTemporaneo a(apritore);
    shell::ServizioTemporaneo s(box);
    apritore->AccodaEsito(Esito::NessunProgramma);  // not looked at
    vqUtilita::GoWeb(0, "https://example.invalid/pagina");
    vqUtilita::Homepage(0);
    vqUtilita::EMail(0);
    const auto r = apritore->Richieste();
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[0].documento, "https://example.invalid/pagina");
    EXPECT_EQ(r[1].documento, vqUtilita::kHomepage);
    EXPECT_EQ(r[2].documento, std::string("Mailto:") + vqUtilita::kEMail);
    EXPECT_TRUE(box->Messaggi().empty());
}

TEST(DividiRigaComando, AsAShellWould) {
    struct Caso {
        std::string riga;
        std::vector<std::string> parole;
    };
    const Caso casi[] = {
        {"", {}},
        {"   ", {}},
        {"a b  c", {"a", "b", "c"}},
        {"\t/REGSERVER\t", {"/REGSERVER"}},
        {"\"C:/Program Files/x\" y", {"C:/Program Files/x", "y"}},
        {"'a  b'c \"d\"e", {"a  bc", "de"}},
        {"\"a\\\"b\" '\\n'", {"a\"b", "\\n"}},
        {"\"\"", {""}},
        {"a\\ b", {"a b"}},
        {"\"$HOME\" *", {"$HOME", "*"}},
        {"\"aperta", {"aperta"}},
        {"x\ty\nz", {"x", "y", "z"}},
    };
    for (const auto& c : casi) {
        SCOPED_TRACE(c.riga);
        EXPECT_EQ(vq::utilita::DividiRigaComando(c.riga), c.parole);
    }
}

TEST(ShellSospensiva, WaitsForTheEnd) {
    prova::Cartella tmp;
    const std::string segno = tmp / "fatto";
    const auto inizio = std::chrono::steady_clock::now();
    EXPECT_TRUE(
        vqUtilita::ShellSospensiva("/bin/sh", "-c 'sleep 0.3; printf \"%s|%s\" \"$0\" \"$1\" > " +
                                                  segno + "' \"primo argomento\" secondo"));
    EXPECT_GE(std::chrono::steady_clock::now() - inizio, std::chrono::milliseconds(300));
    EXPECT_EQ(prova::LeggiFile(segno), "primo argomento|secondo");  // written before the return
    EXPECT_TRUE(vqUtilita::ShellSospensiva("false"));  // the exit status is not looked at
    EXPECT_TRUE(vqUtilita::ShellSospensiva("\"/bin/true\""));
    EXPECT_FALSE(vqUtilita::ShellSospensiva(tmp / "manca"));
    EXPECT_FALSE(vqUtilita::ShellSospensiva(""));
    EXPECT_FALSE(vqUtilita::ShellSospensiva(tmp.str()));  // a folder is no program
}

class Applicazioni : public ::testing::Test {
protected:
    prova::Cartella tmp;
    prova::Ambiente registro{"VQ_REGISTRO_DIR", tmp.str()};
    std::shared_ptr<shell::RegistratoreMessaggi> box =
        std::make_shared<shell::RegistratoreMessaggi>();
    shell::ServizioTemporaneo servizio{box};

    void Registra(const std::string& nome, const std::string& valore) {
        vq::ChiaveAperta h;
        const std::string chiave =
            "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + nome;
        ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, chiave.c_str(), 0, nullptr, 0, KEY_WRITE,
                                    nullptr, h.put(), nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(
            ::RegSetValueExA(h.get(), "", 0, REG_SZ, reinterpret_cast<const BYTE*>(valore.c_str()),
                             static_cast<DWORD>(valore.size() + 1)),
            ERROR_SUCCESS);
    }
    std::string Attendi(const std::string& file) {
        for (int i = 0; i < 300; ++i) {
            const std::string s = prova::LeggiFile(file);
            if (!s.empty()) return s;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return {};
    }
};

TEST_F(Applicazioni, StartsTheRegisteredProgram) {
    const std::string programma = tmp / "mio programma.sh";
    prova::ScriviFile(programma, "#!/bin/sh\necho \"avviato $#\" > '" + tmp.str() + "/segno'\n");
    ::chmod(programma.c_str(), 0755);
    Registra("mio.exe", programma);
    Registra("citato.exe", "\"" + programma + "\"");
    Registra("riga.exe", "'" + programma + "' uno due");
    Registra("rotto.exe", tmp / "non c'e");
    struct Caso {
        const char* nome;
        bool esito;
        const char* segno;
    };
    const Caso casi[] = {
        {"mio.exe", true, "avviato 0\n"},  {"citato.exe", true, "avviato 0\n"},
        {"riga.exe", true, "avviato 2\n"}, {"rotto.exe", false, ""},
        {"nessuno.exe", false, ""},
    };
    for (const auto& c : casi) {
        SCOPED_TRACE(c.nome);
        ::unlink((tmp / "segno").c_str());
        box->Svuota();
        EXPECT_EQ(vqUtilita::StartApplicazione(c.nome), c.esito);
        if (c.esito) {
            EXPECT_EQ(Attendi(tmp / "segno"), c.segno);
            EXPECT_TRUE(box->Messaggi().empty());
        } else {
            ASSERT_EQ(box->Messaggi().size(), 1u);
            EXPECT_EQ(box->Messaggi()[0].testo,
                      std::string(c.nome) + ": Applicazione non trovata.");
            EXPECT_EQ(box->Messaggi()[0].titolo, "Errore");
            EXPECT_EQ(box->Messaggi()[0].stile, 48u);
        }
    }
}

// A window system that counts how often its events were processed.
class Pompa final : public vq::finestre::Sistema {
public:
    void ElaboraEventi() override { ++volte; }
    int volte = 0;
};

TEST(WaitSecondi, WaitsElapsedTimeWhilePumping) {
    auto pompa = std::make_shared<Pompa>();
    vq::finestre::ServizioTemporaneo s(pompa);
    const auto inizio = std::chrono::steady_clock::now();
    vqUtilita::WaitSecondi(1);
    const auto durata = std::chrono::steady_clock::now() - inizio;
    EXPECT_GE(durata, std::chrono::seconds(1));
    EXPECT_LT(durata, std::chrono::seconds(3));
    EXPECT_GT(pompa->volte, 10);  // the window stayed responsive throughout
    const int prima = pompa->volte;
    vqUtilita::WaitSecondi(0);
    vqUtilita::WaitSecondi(-5);
    EXPECT_GE(pompa->volte, prima + 2);  // events still processed once
}

}  // namespace
