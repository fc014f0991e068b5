// Replacing a file: the new content appears whole or not at all.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "export/DocumentoXml.h"
#include "export/ScritturaAtomica.h"
#include "vq/errore.h"

namespace travasa {
namespace {

namespace fs = std::filesystem;

class ScritturaAtomica : public ::testing::Test {
protected:
    void SetUp() override {
        std::string modello = (fs::temp_directory_path() / "vq-xml-XXXXXX").string();
        ASSERT_NE(::mkdtemp(modello.data()), nullptr);
        cartella_ = modello;
    }
    void TearDown() override { fs::remove_all(cartella_); }

    std::string Percorso(const std::string& nome) const { return (cartella_ / nome).string(); }

    static std::string Leggi(const std::string& percorso) {
        std::ifstream f(percorso, std::ios::binary);
        std::ostringstream s;
        s << f.rdbuf();
        return s.str();
    }
    static void Scrivi(const std::string& percorso, const std::string& testo) {
        std::ofstream(percorso, std::ios::binary) << testo;
    }
    // The names in the folder: a leftover temporary file would show here.
    std::vector<std::string> Contenuto() const {
        std::vector<std::string> nomi;
        for (const auto& voce : fs::directory_iterator(cartella_)) nomi.push_back(voce.path().filename().string());
        std::sort(nomi.begin(), nomi.end());
        return nomi;
    }

    static auto Testo(const std::string& testo) {
        return [testo](UscitaFile& uscita) { uscita.scrivi(testo); };
    }

    fs::path cartella_;
};

template <class F>
std::int32_t NumeroErrore(F&& f) {
    try {
        f();
    } catch (const vq::Errore& e) {
        return e.numero();
    }
    return 0;
}

TEST_F(ScritturaAtomica, FileNuovoConIPermessiUsualiESenzaResidui) {
    const std::string grande(300000, 'x');  // more than one buffer
    ScriviFileAtomico(Percorso("a.xml"), Testo(grande));
    EXPECT_EQ(Leggi(Percorso("a.xml")), grande);
    EXPECT_EQ(Contenuto(), std::vector<std::string>{"a.xml"});
    const mode_t maschera = ::umask(0);
    ::umask(maschera);
    struct stat st {};
    ASSERT_EQ(::stat(Percorso("a.xml").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0666 & ~maschera);
}

TEST_F(ScritturaAtomica, SostituzioneMantieneIPermessiDelFile) {
    Scrivi(Percorso("a.xml"), "vecchio");
    ASSERT_EQ(::chmod(Percorso("a.xml").c_str(), 0640), 0);
    ScriviFileAtomico(Percorso("a.xml"), Testo("nuovo"));
    EXPECT_EQ(Leggi(Percorso("a.xml")), "nuovo");
    struct stat st {};
    ASSERT_EQ(::stat(Percorso("a.xml").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(ScritturaAtomica, UnFileDiSolaLetturaNonVieneSostituito) {
    Scrivi(Percorso("a.xml"), "protetto");
    ASSERT_EQ(::chmod(Percorso("a.xml").c_str(), 0444), 0);
    EXPECT_EQ(NumeroErrore([&] { ScriviFileAtomico(Percorso("a.xml"), Testo("nuovo")); }), 70);
    EXPECT_EQ(Leggi(Percorso("a.xml")), "protetto");
    EXPECT_EQ(Contenuto(), std::vector<std::string>{"a.xml"});
}

TEST_F(ScritturaAtomica, UnCollegamentoSimbolicoResta) {
    Scrivi(Percorso("vero.xml"), "vecchio");
    fs::create_symlink("vero.xml", cartella_ / "link.xml");
    ScriviFileAtomico(Percorso("link.xml"), Testo("nuovo"));
    EXPECT_TRUE(fs::is_symlink(cartella_ / "link.xml"));
    EXPECT_EQ(Leggi(Percorso("vero.xml")), "nuovo");
}

TEST_F(ScritturaAtomica, CartellaMancanteErrore76) {
    const std::string percorso = Percorso("manca/a.xml");
    try {
        ScriviFileAtomico(percorso, Testo("x"));
        FAIL() << "nessun errore";
    } catch (const vq::Errore& e) {
        EXPECT_EQ(e.numero(), 76);
        EXPECT_NE(e.descrizione().find(percorso), std::string::npos) << e.descrizione();
    }
    EXPECT_TRUE(Contenuto().empty());
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
                 u.scrivi(std::string(100000, 'y'));
                 throw std::runtime_error("interrotto");
             });
         },
         0},
        {"il disco si riempie (limite alla dimensione dei file)",
         [](const std::string& p) {
             struct rlimit prima {};
             ::getrlimit(RLIMIT_FSIZE, &prima);
             struct rlimit limite = prima;
             limite.rlim_cur = 4096;
             const auto segnale = std::signal(SIGXFSZ, SIG_IGN);
             ::setrlimit(RLIMIT_FSIZE, &limite);
             try {
                 ScriviFileAtomico(p, [](UscitaFile& u) { u.scrivi(std::string(200000, 'z')); });
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
        Scrivi(Percorso("a.xml"), vecchio);
        std::int32_t numero = -1;
        try {
            c.scrivi(Percorso("a.xml"));
        } catch (const vq::Errore& e) {
            numero = e.numero();
        } catch (const std::runtime_error&) {
            numero = 0;
        }
        EXPECT_EQ(numero, c.numero) << c.fase;
        EXPECT_EQ(Leggi(Percorso("a.xml")), vecchio) << c.fase;
        EXPECT_EQ(Contenuto(), std::vector<std::string>{"a.xml"}) << c.fase;
    }
}

TEST_F(ScritturaAtomica, RinominaImpossibileNonLasciaResidui) {
    fs::create_directory(cartella_ / "a.xml");
    Scrivi(Percorso("a.xml/dentro"), "resta");
    EXPECT_EQ(NumeroErrore([&] { ScriviFileAtomico(Percorso("a.xml"), Testo("x")); }), 75);
    EXPECT_EQ(Contenuto(), std::vector<std::string>{"a.xml"});
    EXPECT_EQ(Leggi(Percorso("a.xml/dentro")), "resta");
}

TEST_F(ScritturaAtomica, IlDocumentoSalvaTramiteLaScritturaAtomica) {
    DocumentoXml doc;
    doc.appendChild(doc.createProcessingInstruction("xml", "version=\"1.0\""));
    NodoXml r = doc.createElement("r");
    r.Text("è");
    doc.appendChild(r);
    Scrivi(Percorso("a.xml"), "vecchio");
    doc.save(Percorso("a.xml"));
    const std::string letto = Leggi(Percorso("a.xml"));
    EXPECT_EQ(letto, "<?xml version=\"1.0\"?>\n<r>\xC3\xA8</r>\n");  // UTF-8, no byte-order mark
    EXPECT_EQ(NumeroErrore([&] { doc.save(Percorso("manca/a.xml")); }), 76);
}

}  // namespace
}  // namespace travasa
