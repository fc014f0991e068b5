#include "vq/file.h"

#include "file_prova.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>

namespace {

TEST(ErroreDaErrno, OgniErrnoHaIlSuoNumeroETesto) {
    struct Caso {
        int codice;
        std::int32_t numero;
        const char* testo;
    };
    const Caso casi[] = {
        {ENOENT, 76, "Impossibile trovare il percorso "},
        {ENOTDIR, 76, "Impossibile trovare il percorso "},
        {EACCES, 70, "Autorizzazione negata"},
        {EPERM, 70, "Autorizzazione negata"},
        {EROFS, 70, "Autorizzazione negata"},
        {ETXTBSY, 70, "Autorizzazione negata"},
        {ENOSPC, 61, "Disco pieno"},
        {EDQUOT, 61, "Disco pieno"},
        {EFBIG, 61, "Disco pieno"},
        {EMFILE, 67, "Troppi file"},
        {ENFILE, 67, "Troppi file"},
        {EIO, 57, "Errore di I/O periferica"},
        {EISDIR, 75, "Errore di accesso al percorso/file"},
        {EEXIST, 75, "Errore di accesso al percorso/file"},
        {0, 75, "Errore di accesso al percorso/file"},
    };
    for (const Caso& c : casi) {
        SCOPED_TRACE(c.codice);
        EXPECT_EQ(vq::NumeroDaErrno(c.codice), c.numero);
        const vq::Errore senza = vq::ErroreDaErrno(c.codice);
        EXPECT_EQ(senza.numero(), c.numero);
        EXPECT_EQ(senza.descrizione(), c.testo);
        const vq::Errore con = vq::ErroreDaErrno(c.codice, "scrittura di /tmp/x");
        EXPECT_EQ(con.numero(), c.numero);
        EXPECT_EQ(con.descrizione(), std::string(c.testo) + ": scrittura di /tmp/x");
    }
}

TEST(SollevaErrno, LanciaEImpostaLErroreCorrente) {
    vq::CancellaErrore();
    try {
        vq::SollevaErrno(ENOSPC, "log");
        FAIL() << "nessuna eccezione";
    } catch (const vq::Errore& e) {
        EXPECT_EQ(e.numero(), 61);
        EXPECT_EQ(e.descrizione(), "Disco pieno: log");
    }
    EXPECT_EQ(vq::Err().numero, 61);
    EXPECT_EQ(vq::Err().descrizione, "Disco pieno: log");
    vq::CancellaErrore();
}

namespace fs = std::filesystem;

// The names in the folder, as a set.
std::set<std::string> Nomi(const prova::Cartella& d) {
    const auto v = d.Contenuto();
    return {v.begin(), v.end()};
}

void Scrivi(const std::string& percorso, const std::string& testo) {
    std::ofstream(percorso) << testo;
}

std::string Leggi(const std::string& percorso) {
    std::ifstream in(percorso);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void ScriviFd(int fd, const std::string& testo) {
    ASSERT_EQ(::write(fd, testo.data(), testo.size()), static_cast<ssize_t>(testo.size()));
}

// Confirmed or not, over an existing file or none: only a confirmed replacement changes
// the folder, and no temporary file is ever left behind.
TEST(SostituzioneAtomica, ConfermaSostituisceAltrimentiNullaCambia) {
    struct Caso {
        const char* cosa;
        bool esisteGia;
        bool conferma;
        std::set<std::string> nomi;
        const char* testo;  // of "a.txt", when it is there
    };
    const Caso casi[] = {
        {"nuovo, confermato", false, true, {"a.txt"}, "nuovo"},
        {"nuovo, abbandonato", false, false, {}, nullptr},
        {"esistente, confermato", true, true, {"a.txt"}, "nuovo"},
        {"esistente, abbandonato", true, false, {"a.txt"}, "vecchio"},
    };
    for (const Caso& c : casi) {
        SCOPED_TRACE(c.cosa);
        const prova::Cartella d;
        if (c.esisteGia) Scrivi(d / "a.txt", "vecchio");
        {
            vq::SostituzioneAtomica s(d / "a.txt", d / ".a.txt.vq", ".tmp");
            ASSERT_EQ(s.esito(), 0);
            ASSERT_GE(s.fd(), 0);
            EXPECT_EQ(s.temporaneo().rfind(d / ".a.txt.vq", 0), 0u) << s.temporaneo();
            const std::string pid = std::to_string(::getpid()) + "-";
            EXPECT_EQ(s.temporaneo().substr((d / ".a.txt.vq").native().size(), pid.size()), pid)
                << s.temporaneo();
            EXPECT_EQ(s.temporaneo().size(), (d / ".a.txt.vq").native().size() + pid.size() + 8 + 4)
                << s.temporaneo();
            ScriviFd(s.fd(), "nuovo");
            if (c.esisteGia) {
                EXPECT_EQ(Leggi(d / "a.txt"), "vecchio");  // untouched until confirmed
            }
            if (c.conferma) {
                EXPECT_EQ(s.Conferma(), 0);
                EXPECT_NE(s.Conferma(), 0);  // only once
            }
        }
        EXPECT_EQ(Nomi(d), c.nomi);
        if (c.testo != nullptr) {
            EXPECT_EQ(Leggi(d / "a.txt"), c.testo);
        }
    }
}

TEST(SostituzioneAtomica, CartellaMancanteDaErrnoENienteDaConfermare) {
    const prova::Cartella d;
    vq::SostituzioneAtomica s(d / "manca/a.txt", d / "manca/a.txt.vq");
    EXPECT_EQ(s.esito(), ENOENT);
    EXPECT_LT(s.fd(), 0);
    EXPECT_EQ(s.Conferma(), ENOENT);
    EXPECT_EQ(Nomi(d), std::set<std::string>{});
}

// A rename that fails (the target is a non-empty folder) keeps the folder and removes
// the temporary file.
TEST(SostituzioneAtomica, RinominaFallitaNonLasciaTraccia) {
    const prova::Cartella d;
    fs::create_directory(d / "a.txt");
    Scrivi(d / "a.txt/dentro", "resta");
    {
        vq::SostituzioneAtomica s(d / "a.txt", d / "a.txt.vq");
        ASSERT_EQ(s.esito(), 0);
        ScriviFd(s.fd(), "nuovo");
        EXPECT_FALSE(s.rinominaFallita());
        EXPECT_NE(s.Conferma(), 0);
        EXPECT_TRUE(s.rinominaFallita());
    }
    EXPECT_EQ(Nomi(d), std::set<std::string>{"a.txt"});
    EXPECT_EQ(Leggi(d / "a.txt/dentro"), "resta");
}

TEST(SostituzioneAtomica, IlModoPassaPerLaUmask) {
    const prova::Cartella d;
    const mode_t prima = ::umask(022);
    {
        vq::SostituzioneAtomica s(d / "a.txt", d / "a.txt.vq", {}, 0666);
        ASSERT_EQ(s.esito(), 0);
        ASSERT_EQ(s.Conferma(), 0);
    }
    {
        vq::SostituzioneAtomica s(d / "b.txt", d / "b.txt.vq", {}, 0600);
        ASSERT_EQ(s.esito(), 0);
        ASSERT_EQ(s.Conferma(), 0);
    }
    ::umask(prima);
    struct stat st {};
    ASSERT_EQ(::stat((d / "a.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
    ASSERT_EQ(::stat((d / "b.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
}

// Runs `f` in a child process with the user and group `id` (nobody, when the tests run as
// root) and returns its exit code; -1 when the child could not take them.
int ComeUtente(uid_t id, gid_t gruppo, const std::function<int()>& f) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::setresgid(gruppo, gruppo, gruppo) != 0 || ::setresuid(id, id, id) != 0) ::_exit(255);
        ::_exit(f());
    }
    int stato = 0;
    if (pid < 0 || ::waitpid(pid, &stato, 0) != pid || !WIFEXITED(stato)) return -1;
    return WEXITSTATUS(stato) == 255 ? -1 : WEXITSTATUS(stato);
}

// Whose file may be replaced, and how: as another user (nobody) in folders and over
// files of either owner. Needs root to make the other user's files; skipped otherwise.
TEST(SostituzioneAtomica, SoloUnFileCheLUtentePuoScrivere) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "servono i privilegi di root per creare file di un altro utente";
    constexpr uid_t kNessuno = 65534;
    constexpr gid_t kNessunGruppo = 65534;
    struct Caso {
        const char* cosa;
        bool cartellaSua;  // the folder belongs to nobody (else root's, world-writable or not)
        mode_t cartella;
        bool fileSuo;  // the file belongs to nobody (else root's)
        mode_t file;
        int esito;         // of Conferma() in the child, or of the creation
        bool sostituito;   // the content is new
        bool stessoInode;  // written in place
    };
    const Caso casi[] = {
        {"file di root in cartella aperta a tutti", false, 0777, false, 0644, EACCES, false, true},
        {"file di sola lettura", true, 0755, true, 0444, EACCES, false, true},
        {"file suo privato", true, 0755, true, 0600, 0, true, false},
        {"file suo in cartella non sua", false, 0755, true, 0640, 0, true, true},
        {"file di root scrivibile da tutti in cartella non sua", false, 0755, false, 0666, 0, true,
         true},
        {"file di root in cartella non sua", false, 0755, false, 0644, EACCES, false, true},
        {"file di root scrivibile da tutti in cartella condivisa", false, 01777, false, 0666, 0,
         true, true},
    };
    for (const Caso& c : casi) {
        SCOPED_TRACE(c.cosa);
        const prova::Cartella base;
        const std::string cartella = base / "c";
        ASSERT_EQ(::mkdir(cartella.c_str(), 0700), 0);
        const std::string file = cartella + "/a.xml";
        Scrivi(file, "vecchio");
        ASSERT_EQ(::chown(file.c_str(), c.fileSuo ? kNessuno : 0, c.fileSuo ? kNessunGruppo : 0),
                  0);
        ASSERT_EQ(::chmod(file.c_str(), c.file), 0);
        ASSERT_EQ(::chown(cartella.c_str(), c.cartellaSua ? kNessuno : 0, 0), 0);
        ASSERT_EQ(::chmod(cartella.c_str(), c.cartella), 0);
        ASSERT_EQ(::chmod((base / "").c_str(), 0755), 0);
        struct stat prima {};
        ASSERT_EQ(::stat(file.c_str(), &prima), 0);

        const int esito = ComeUtente(kNessuno, kNessunGruppo, [&] {
            vq::SostituzioneAtomica s(file, cartella + "/.a.xml.vq");
            if (s.esito() != 0) return s.esito();
            if (::write(s.fd(), "nuovo", 5) != 5) return 254;
            return s.Conferma();
        });
        EXPECT_EQ(esito, c.esito);
        struct stat dopo {};
        ASSERT_EQ(::stat(file.c_str(), &dopo), 0);
        EXPECT_EQ(Leggi(file), c.sostituito ? "nuovo" : "vecchio");
        EXPECT_EQ(dopo.st_ino == prima.st_ino, c.stessoInode);
        EXPECT_EQ(dopo.st_uid, prima.st_uid);
        EXPECT_EQ(dopo.st_mode & 07777, prima.st_mode & 07777);
        std::set<std::string> nomi;
        for (const auto& v : fs::directory_iterator(cartella))
            nomi.insert(v.path().filename().string());
        EXPECT_EQ(nomi, std::set<std::string>{"a.xml"});
    }
}

// Replaced by root, another user's file stays that user's, with its group and mode.
TEST(SostituzioneAtomica, IlFileSostituitoTienePadroneGruppoEPermessi) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "servono i privilegi di root per cambiare il padrone di un file";
    const prova::Cartella d;
    Scrivi(d / "a.xml", "vecchio");
    ASSERT_EQ(::chown((d / "a.xml").c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chmod((d / "a.xml").c_str(), 0640), 0);
    {
        vq::SostituzioneAtomica s(d / "a.xml", d / ".a.xml.vq", {}, 0666);
        ASSERT_EQ(s.esito(), 0);
        ScriviFd(s.fd(), "nuovo");
        ASSERT_EQ(s.Conferma(), 0);
    }
    struct stat st {};
    ASSERT_EQ(::stat((d / "a.xml").c_str(), &st), 0);
    EXPECT_EQ(Leggi(d / "a.xml"), "nuovo");
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

// The temporaries a killed writer left are removed by the next replacement of the same
// target; a running writer's, another target's and a person's own files stay.
TEST(SostituzioneAtomica, RimuoveITemporaneiDiUnoScrittoreScomparso) {
    const prova::Cartella d;
    const pid_t figlio = ::fork();
    if (figlio == 0) ::_exit(0);
    ASSERT_GT(figlio, 0);
    ASSERT_EQ(::waitpid(figlio, nullptr, 0), figlio);  // a process id no longer running
    const std::string morto = std::to_string(figlio), vivo = std::to_string(::getppid());
    const std::set<std::string> restano = {
        ".a.xml.vq" + vivo + "-abcdefgh",       // a writer still at work
        ".b.xml.vq" + morto + "-abcdefgh",      // another target's
        ".a.xml.vq" + morto + "-abcdefgh.bak",  // not a name of ours
        ".a.xml.vq" + morto + "-abc",          "a.xml",
    };
    for (const auto& n : restano) Scrivi(d / n, "x");
    Scrivi(d / (".a.xml.vq" + morto + "-0a1b2c3d"), "mezzo");
    {
        vq::SostituzioneAtomica s(d / "a.xml", d / ".a.xml.vq");
        ASSERT_EQ(s.esito(), 0);
        ASSERT_EQ(s.Conferma(), 0);
    }
    EXPECT_EQ(Nomi(d), restano);
}

TEST(SeguiCollegamento, PortaAlFileDelCollegamento) {
    const prova::Cartella d;
    Scrivi(d / "vero.txt", "x");
    fs::create_symlink(d / "vero.txt", d / "link.txt");
    fs::create_symlink(d / "vero.txt", d / "link2.txt");
    fs::create_symlink(d / "link2.txt", d / "catena.txt");
    fs::create_symlink(d / "nessuno.txt", d / "rotto.txt");
    const std::string vero = fs::canonical(d / "vero.txt").string();
    EXPECT_EQ(vq::SeguiCollegamento(d / "link.txt"), vero);
    EXPECT_EQ(vq::SeguiCollegamento(d / "catena.txt"), vero);
    EXPECT_EQ(vq::SeguiCollegamento(d / "vero.txt"), d / "vero.txt");
    EXPECT_EQ(vq::SeguiCollegamento(d / "rotto.txt"), d / "rotto.txt");
}

}  // namespace
