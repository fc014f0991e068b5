// Starting documents and programs: EseguiEx through a recorded opener, the desktop opener
// against stand-in xdg tools written by the test, Sleep.
#include "../common/util_file_prova.h"

#include <util/apertura.h>
#include <util/vqUtilita.h>

#include <shell/messagebox.h>
#include <vq/errore.h>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <sys/stat.h>
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
    prova::CartellaTemp tmp;
    std::string mime = tmp / "xdg-mime";
    std::string open = tmp / "xdg-open";
    std::string aperti = tmp / "aperti.txt";

    void SetUp() override {
        ScriviScript(mime,
                     "#!/bin/sh\nPATH=/usr/bin:/bin\n"
                     "if [ \"$2\" = filetype ]; then\n"
                     "  case \"$3\" in *.htm) echo 'text/html; charset=utf-8';; *.xyz) echo chemical/x-xyz;;"
                     " *) echo text/plain;; esac\n"
                     "else grep \"^$3 \" '" + tmp.str() + "/gestori' | cut -d' ' -f2; fi\n");
        ScriviScript(open, "#!/bin/sh\necho \"$1|$(pwd)\" >> '" + aperti + "'\n");
        prova::ScriviFile(tmp / "gestori", "text/plain editor.desktop\nx-scheme-handler/mailto posta.desktop\n");
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
    vq::apertura::ApritoreDesktop d(mime, open);
    ASSERT_EQ(d.Apri(tmp / "nota.txt", tmp.str()), Esito::Avviato);
    EXPECT_EQ(Aperti(), tmp / "nota.txt" + "|" + tmp.str() + "\n");
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

}  // namespace
