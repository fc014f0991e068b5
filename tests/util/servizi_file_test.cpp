// File services: expansion of SZDD files made here, files locked by a second process,
// write probes, the read-only bit.
#include "file_prova.h"
#include "szdd_prova.h"

#include "../../util/src/szdd.h"

#include <util/vqUtilita.h>

#include <shell/messagebox.h>
#include <vq/errore.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string Campione() {
    std::string s = "Esporta XML - movimenti del periodo\r\n";
    for (int i = 0; i < 200; ++i)
        s += "riga " + std::to_string(i % 17) + "    importo 1.234,56\r\n";
    s += std::string(300, 'a') + std::string("\0\x01\xff", 3);
    return s;
}

TEST(Szdd, ExpandsWhatTheCompressorWrote) {
    const std::string dati[] = {"x", "abcabcabcabcabcabc", "   blanks first", Campione(),
                                std::string(5000, '\0')};
    for (const auto& d : dati) {
        const std::string compresso = prova::ComprimiSzdd(d);
        std::string uscita;
        ASSERT_EQ(vq::utilita::EspandiSzdd(compresso, uscita),
                  vq::utilita::EsitoEspansione::Espanso)
            << d.size();
        EXPECT_EQ(uscita, d);
    }
    // The compressor really used matches: the sample shrinks.
    EXPECT_LT(prova::ComprimiSzdd(Campione()).size(), Campione().size() / 2);
}

TEST(Szdd, DamagedOrPlain) {
    const std::string buono = prova::ComprimiSzdd(Campione());
    std::string lungo = buono;
    lungo[10] = static_cast<char>(lungo[10] + 1);  // the header announces one byte more
    std::string corto = buono;
    corto[10] = static_cast<char>(corto[10] - 1);  // one byte less
    struct Caso {
        const char* nome;
        std::string dati;
        vq::utilita::EsitoEspansione esito;
    };
    const Caso casi[] = {
        {"troncato", buono.substr(0, buono.size() / 2), vq::utilita::EsitoEspansione::Danneggiato},
        {"solo intestazione", buono.substr(0, 14), vq::utilita::EsitoEspansione::Danneggiato},
        {"intestazione a meta", buono.substr(0, 9), vq::utilita::EsitoEspansione::Danneggiato},
        {"lunghezza in piu", lungo, vq::utilita::EsitoEspansione::Danneggiato},
        {"lunghezza in meno", corto, vq::utilita::EsitoEspansione::Danneggiato},
        {"testo", "non compresso", vq::utilita::EsitoEspansione::NonCompresso},
        {"vuoto", "", vq::utilita::EsitoEspansione::NonCompresso},
        {"corto", "SZD", vq::utilita::EsitoEspansione::NonCompresso},
        {"firma a meta", std::string("SZDD\x88\xf0", 6),
         vq::utilita::EsitoEspansione::NonCompresso},
    };
    for (const auto& c : casi) {
        SCOPED_TRACE(c.nome);
        std::string uscita = "prima";
        EXPECT_EQ(vq::utilita::EspandiSzdd(c.dati, uscita), c.esito);
        EXPECT_TRUE(uscita.empty());
    }
}

TEST(Decomprimi, ExpandsCopiesOrLeavesTheDestinationAlone) {
    prova::Cartella tmp;
    const std::string buono = prova::ComprimiSzdd(Campione());
    struct Caso {
        const char* nome;
        std::optional<std::string> sorgente;  // nullopt: no source file
        bool esito;
        std::string destinazione;  // afterwards; it held "vecchio" before
    };
    const Caso casi[] = {
        {"compresso", buono, true, Campione()},
        {"semplice", std::string("testo semplice\n"), true, "testo semplice\n"},
        {"danneggiato", buono.substr(0, buono.size() - 20), false, "vecchio"},
        {"vuoto", std::string(), false, "vecchio"},
        {"mancante", std::nullopt, false, "vecchio"},
    };
    for (const auto& c : casi) {
        SCOPED_TRACE(c.nome);
        const std::string sorgente = tmp / (std::string(c.nome) + ".ex_");
        const std::string destinazione = tmp / (std::string(c.nome) + ".exe");
        if (c.sorgente) prova::ScriviFile(sorgente, *c.sorgente);
        prova::ScriviFile(destinazione, "vecchio");
        EXPECT_EQ(vqUtilita::Decomprimi(sorgente, destinazione), c.esito);
        EXPECT_EQ(prova::LeggiFile(destinazione), c.destinazione);
    }
    // Nothing half-written is left behind.
    for (const auto& nome : tmp.Contenuto())
        EXPECT_EQ(nome.find(".tmp"), std::string::npos) << nome;
    EXPECT_FALSE(vqUtilita::Decomprimi(tmp / "compresso.ex_", tmp / "manca/x.exe"));
}

// A second process that takes a lock on the file and holds it until told to stop.
class Detentore {
public:
    enum class Tipo { Fcntl, Ofd, FlockEsclusivo, FlockCondiviso };
    Detentore(const std::string& file, Tipo tipo) {
        int pronto[2];
        if (::pipe(pronto) != 0 || ::pipe(fine_) != 0) throw std::runtime_error("pipe");
        pid_ = ::fork();
        if (pid_ == 0) {
            const int fd = ::open(file.c_str(), O_RDWR);
            struct flock b {};
            b.l_type = F_WRLCK;
            b.l_whence = SEEK_SET;
            b.l_start = 10;  // a part of the file is enough
            b.l_len = 5;
            int r = -1;
            switch (tipo) {
                case Tipo::Fcntl: r = ::fcntl(fd, F_SETLK, &b); break;
                case Tipo::Ofd: r = ::fcntl(fd, F_OFD_SETLK, &b); break;
                case Tipo::FlockEsclusivo: r = ::flock(fd, LOCK_EX); break;
                case Tipo::FlockCondiviso: r = ::flock(fd, LOCK_SH); break;
            }
            const char esito = r == 0 ? 'k' : 'x';
            (void)!::write(pronto[1], &esito, 1);
            char c;
            (void)!::read(fine_[0], &c, 1);
            ::_exit(0);
        }
        ::close(pronto[1]);
        char esito = 0;
        (void)!::read(pronto[0], &esito, 1);
        ::close(pronto[0]);
        bloccato_ = esito == 'k';
    }
    ~Detentore() {
        (void)!::write(fine_[1], "f", 1);
        int stato = 0;
        ::waitpid(pid_, &stato, 0);
        ::close(fine_[0]);
        ::close(fine_[1]);
    }
    bool bloccato() const { return bloccato_; }

private:
    pid_t pid_ = -1;
    int fine_[2] = {-1, -1};
    bool bloccato_ = false;
};

TEST(FileAperto, LockedByAnotherProcess) {
    prova::Cartella tmp;
    const std::string file = tmp / "archivio.mdb";
    prova::ScriviFile(file, std::string(100, 'x'));
    for (const auto tipo : {Detentore::Tipo::Fcntl, Detentore::Tipo::Ofd,
                            Detentore::Tipo::FlockEsclusivo, Detentore::Tipo::FlockCondiviso}) {
        SCOPED_TRACE(static_cast<int>(tipo));
        {
            Detentore d(file, tipo);
            ASSERT_TRUE(d.bloccato());
            EXPECT_TRUE(vqUtilita::FileAperto(file));
        }
        EXPECT_FALSE(vqUtilita::FileAperto(file));  // released with the process
    }
    EXPECT_FALSE(vqUtilita::FileAperto(tmp / "manca.mdb"));
    EXPECT_FALSE(vqUtilita::FileAperto(tmp.str()));
}

TEST(WriteAccess, ProbesAndReports) {
    prova::Cartella tmp;
    auto box = std::make_shared<shell::RegistratoreMessaggi>();
    shell::ServizioTemporaneo s(box);
    EXPECT_TRUE(vqUtilita::WriteAccess(tmp.str()));
    EXPECT_TRUE(vqUtilita::WriteAccess(tmp.str() + "/"));
    EXPECT_TRUE(tmp.Contenuto().empty());  // no probe left behind
    EXPECT_TRUE(box->Messaggi().empty());

    const std::string manca = tmp / "manca";
    EXPECT_FALSE(vqUtilita::WriteAccess(manca));
    ASSERT_EQ(box->Messaggi().size(), 1u);
    EXPECT_EQ(box->Messaggi()[0].testo, "Errore #  76\rImpossibile trovare il percorso ");
    EXPECT_EQ(box->Messaggi()[0].titolo, "Errore");
    EXPECT_EQ(box->Messaggi()[0].stile, 16u);
    EXPECT_EQ(vq::Err().numero, 0);
    EXPECT_EQ(manca, tmp / "manca");  // the caller's text is not changed

    if (::geteuid() != 0) {  // root writes anywhere
        const std::string chiusa = tmp / "chiusa";
        ::mkdir(chiusa.c_str(), 0500);
        EXPECT_FALSE(vqUtilita::WriteAccess(chiusa));
        ASSERT_EQ(box->Messaggi().size(), 2u);
        EXPECT_EQ(box->Messaggi()[1].testo, "Errore #  70\rAutorizzazione negata");
    }
}

TEST(EliminaReadOnly, GivesTheOwnerWriteAndKeepsTheRest) {
    prova::Cartella tmp;
    struct Caso {
        mode_t prima;
        mode_t dopo;
    };
    const Caso casi[] = {{0444, 0644}, {0555, 0755}, {0400, 0600}, {0640, 0640}, {04555, 04755}};
    for (const auto& c : casi) {
        SCOPED_TRACE(c.prima);
        const std::string f = tmp / "f";
        prova::ScriviFile(f, "x");
        ::chmod(f.c_str(), c.prima);
        vqUtilita::EliminaReadOnly(f);
        struct stat st {};
        ::stat(f.c_str(), &st);
        EXPECT_EQ(st.st_mode & 07777, c.dopo);
        ::unlink(f.c_str());
    }
    vqUtilita::EliminaReadOnly(tmp / "manca");  // ignored
}

}  // namespace
