// Replacing a file: the new content appears whole or not at all.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <stdexcept>

#include "errore_prova.h"
#include "file_prova.h"
#include "export/DocumentoXml.h"
#include "export/ScritturaAtomica.h"
#include "vq/errore.h"

namespace travasa {
namespace {

namespace fs = std::filesystem;
using prova::ErroreDi;
using prova::LeggiFile;
using prova::NumeroErrore;
using prova::ScriviFile;

class ScritturaAtomica : public ::testing::Test {
protected:
    std::string Percorso(const std::string& nome) const { return tmp_ / nome; }
    static auto Testo(const std::string& testo) {
        return [testo](UscitaFile& uscita) { uscita.scrivi(testo); };
    }
    mode_t Permessi(const std::string& nome) const {
        struct stat st {};
        EXPECT_EQ(::stat(Percorso(nome).c_str(), &st), 0);
        return st.st_mode & 0777;
    }

    prova::Cartella tmp_;
};

TEST_F(ScritturaAtomica, FileNuovoOSostituitoConIPermessiGiustiESenzaResidui) {
    const std::string grande(300000, 'x');  // more than one buffer
    ScriviFileAtomico(Percorso("a.xml"), Testo(grande));
    EXPECT_EQ(LeggiFile(Percorso("a.xml")), grande);
    EXPECT_EQ(tmp_.Contenuto(), std::vector<std::string>{"a.xml"});
    const mode_t maschera = ::umask(0);
    ::umask(maschera);
    EXPECT_EQ(Permessi("a.xml"), 0666 & ~maschera);
    // A replaced file keeps its permissions.
    ASSERT_EQ(::chmod(Percorso("a.xml").c_str(), 0640), 0);
    ScriviFileAtomico(Percorso("a.xml"), Testo("nuovo"));
    EXPECT_EQ(LeggiFile(Percorso("a.xml")), "nuovo");
    EXPECT_EQ(Permessi("a.xml"), 0640u);
}

TEST_F(ScritturaAtomica, UnCollegamentoSimbolicoResta) {
    ScriviFile(Percorso("vero.xml"), "vecchio");
    fs::create_symlink("vero.xml", Percorso("link.xml"));
    ScriviFileAtomico(Percorso("link.xml"), Testo("nuovo"));
    EXPECT_TRUE(fs::is_symlink(Percorso("link.xml")));
    EXPECT_EQ(LeggiFile(Percorso("vero.xml")), "nuovo");
}

// A file that cannot be replaced: a numbered error naming the file, what was there stays,
// nothing is left behind.
TEST_F(ScritturaAtomica, ImpossibileSostituireErroreNumeratoENessunResiduo) {
    struct Caso {
        const char* cosa;
        std::function<void(const prova::Cartella&)> prepara;
        const char* nome;
        std::int32_t numero;
        std::vector<std::string> contenuto;
        std::string vecchio, testo;  // a file that was there, and its unchanged text
    };
    const Caso casi[] = {
        {"sola lettura",
         [](const prova::Cartella& d) {
             ScriviFile(d / "a.xml", "protetto");
             ::chmod((d / "a.xml").c_str(), 0444);
         },
         "a.xml",
         70,
         {"a.xml"},
         "a.xml",
         "protetto"},
        {"cartella mancante", [](const prova::Cartella&) {}, "manca/a.xml", 76, {}, "", ""},
        {"una cartella al posto del file",
         [](const prova::Cartella& d) {
             fs::create_directory(d / "a.xml");
             ScriviFile(d / "a.xml/dentro", "resta");
         },
         "a.xml",
         75,
         {"a.xml"},
         "a.xml/dentro",
         "resta"},
    };
    for (const auto& c : casi) {
        SCOPED_TRACE(c.cosa);
        const prova::Cartella d;
        c.prepara(d);
        const auto e = ErroreDi([&] { ScriviFileAtomico(d / c.nome, Testo("nuovo")); });
        ASSERT_TRUE(e.has_value());
        EXPECT_EQ(e->numero(), c.numero);
        EXPECT_NE(e->descrizione().find(d / c.nome), std::string::npos) << e->descrizione();
        EXPECT_EQ(d.Contenuto(), c.contenuto);
        if (!c.vecchio.empty()) {
            EXPECT_EQ(LeggiFile(d / c.vecchio), c.testo);
        }
    }
}

// With no thread to be had (the user's limit of processes reached), the content is written
// all the same, by the caller. Needs root, to write as another user, whom the limit binds.
TEST_F(ScritturaAtomica, SenzaUnAltroThreadScriveComunque) {
    if (::geteuid() != 0) GTEST_SKIP() << "servono i privilegi di root per scrivere come un altro";
    ASSERT_EQ(::chmod(fs::path(Percorso("a.xml")).parent_path().c_str(), 0777), 0);
    const std::string grande(1000000, 'x');  // several buffers
    const pid_t figlio = ::fork();
    if (figlio == 0) {
        constexpr id_t kNessuno = 65534;
        const struct rlimit nessunProcesso {};
        if (::setrlimit(RLIMIT_NPROC, &nessunProcesso) != 0 ||
            ::setresgid(kNessuno, kNessuno, kNessuno) != 0 ||
            ::setresuid(kNessuno, kNessuno, kNessuno) != 0)
            ::_exit(2);
        try {
            ScriviFileAtomico(Percorso("a.xml"), Testo(grande));
        } catch (...) {
            ::_exit(1);
        }
        ::_exit(0);
    }
    int stato = -1;
    ASSERT_EQ(::waitpid(figlio, &stato, 0), figlio);
    EXPECT_TRUE(WIFEXITED(stato) && WEXITSTATUS(stato) == 0) << stato;
    EXPECT_EQ(LeggiFile(Percorso("a.xml")), grande);
}

TEST_F(ScritturaAtomica, UnGuastoInQualunqueFaseLasciaIlVecchioFileIntatto) {
    const std::string vecchio = "<?xml version=\"1.0\"?>\n<vecchio>\xC3\xA8</vecchio>\n";
    struct Caso {
        const char* fase;
        std::function<void(const std::string&)> scrivi;
        std::int32_t numero;  // 0: the producer's own exception
    };
    const Caso casi[] = {
        {"il contenuto fallisce a metà",
         [](const std::string& p) {
             ScriviFileAtomico(p, [](UscitaFile& u) {
                 u.scrivi(std::string(1000000, 'y'));  // buffers already being written
                 throw std::runtime_error("interrotto");
             });
         },
         0},
        {"il disco si riempie (limite alla dimensione dei file) mentre si scrive",
         [](const std::string& p) {
             struct rlimit prima {};
             ::getrlimit(RLIMIT_FSIZE, &prima);
             struct rlimit limite = prima;
             limite.rlim_cur = 4096;
             const auto segnale = std::signal(SIGXFSZ, SIG_IGN);
             ::setrlimit(RLIMIT_FSIZE, &limite);
             try {
                 ScriviFileAtomico(p, [](UscitaFile& u) { u.scrivi(std::string(1000000, 'z')); });
             } catch (...) {
                 ::setrlimit(RLIMIT_FSIZE, &prima);
                 std::signal(SIGXFSZ, segnale);
                 throw;
             }
             ::setrlimit(RLIMIT_FSIZE, &prima);
             std::signal(SIGXFSZ, segnale);
         },
         61},
    };
    for (const auto& c : casi) {
        ScriviFile(Percorso("a.xml"), vecchio);
        std::int32_t numero = -1;
        try {
            c.scrivi(Percorso("a.xml"));
        } catch (const vq::Errore& e) {
            numero = e.numero();
        } catch (const std::runtime_error&) {
            numero = 0;
        }
        EXPECT_EQ(numero, c.numero) << c.fase;
        EXPECT_EQ(LeggiFile(Percorso("a.xml")), vecchio) << c.fase;
        EXPECT_EQ(tmp_.Contenuto(), std::vector<std::string>{"a.xml"}) << c.fase;
    }
}

TEST_F(ScritturaAtomica, IlDocumentoSalvaTramiteLaScritturaAtomica) {
    DocumentoXml doc;
    doc.appendChild(doc.createProcessingInstruction("xml", "version=\"1.0\""));
    NodoXml r = doc.createElement("r");
    r.Text("è");
    doc.appendChild(r);
    ScriviFile(Percorso("a.xml"), "vecchio");
    doc.save(Percorso("a.xml"));
    EXPECT_EQ(LeggiFile(Percorso("a.xml")),
              "<?xml version=\"1.0\"?>\n<r>\xC3\xA8</r>\n");  // UTF-8, no byte-order mark
    EXPECT_EQ(NumeroErrore([&] { doc.save(Percorso("manca/a.xml")); }), 76);
}

}  // namespace
}  // namespace travasa
