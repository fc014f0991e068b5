// Error reporting and the log of vqUtilita.
#include "file_prova.h"

#include <shell/messagebox.h>
#include <util/vqUtilita.h>
#include <vq/errore.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <regex>

namespace fs = std::filesystem;

namespace {

class Segnalazione : public ::testing::Test {
protected:
    std::shared_ptr<shell::RegistratoreMessaggi> registro =
        std::make_shared<shell::RegistratoreMessaggi>();
    shell::ServizioTemporaneo servizio{registro};
    void TearDown() override { vq::CancellaErrore(); }
};

TEST_F(Segnalazione, TextsAndTitles) {
    struct Caso {
        std::int32_t numero;
        std::string descrizione;
        std::optional<std::string> inizio;  // nullopt: PrintErrore
        std::string testo, titolo;
    };
    const std::string unita = "Impossibile leggere l'unit\xc3\xa0 specificata.";
    const Caso casi[] = {
        {53, "Impossibile trovare il file", std::nullopt, "Impossibile trovare il file",
         "Errore  53"},
        {52, "Nome o numero di file non valido", std::nullopt, unita, "Errore  52"},
        {52, "qualsiasi", std::string("Esportazione"), "Esportazione: " + unita, "Errore  52"},
        {70, "Autorizzazione negata", std::string("Esportazione"),
         "Esportazione: Autorizzazione negata", "Errore  70"},
        {-2147217900, "Errore di sintassi", std::string("Accesso al Database"),
         "Accesso al Database: Errore di sintassi", "Errore -2147217900"},
        {-1, "", std::string(""), ": ", "Errore -1"},
        {0, "", std::nullopt, "", "Errore  0"},
        {INT32_MIN, "minimo", std::nullopt, "minimo", "Errore -2147483648"},
    };
    for (const auto& c : casi) {
        registro->Svuota();
        vq::ImpostaErrore(c.numero, c.descrizione);
        if (c.inizio) vqUtilita::PrintErroreEx(*c.inizio);
        else vqUtilita::PrintErrore();
        const auto messaggi = registro->Messaggi();
        ASSERT_EQ(messaggi.size(), 1u) << c.numero;
        EXPECT_EQ(messaggi[0].testo, c.testo) << c.numero;
        EXPECT_EQ(messaggi[0].titolo, c.titolo) << c.numero;
        EXPECT_EQ(messaggi[0].stile, 64u) << c.numero;  // information icon, OK alone
        EXPECT_EQ(vq::Err().numero, 0) << c.numero;
        EXPECT_EQ(vq::Err().descrizione, "") << c.numero;
    }
}

// A failure of the box itself reaches the caller, and the current error is not lost.
TEST(SegnalazioneGuasto, FailingBoxLeavesTheErrorSet) {
    struct Guasto final : shell::MessageBox {
        int Mostra(const std::string&, const std::string&, std::uint32_t) override {
            throw std::runtime_error("x");
        }
        void Beep() override {}
        void CursoreAttesa(bool) override {}
    };
    shell::ServizioTemporaneo servizio(std::make_shared<Guasto>());
    vq::ImpostaErrore(53, "Impossibile trovare il file");
    EXPECT_THROW(vqUtilita::PrintErrore(), std::runtime_error);
    EXPECT_EQ(vq::Err().numero, 53);
    vq::CancellaErrore();
}

// A few rows of the table (accents, trailing blanks, the last one); a number without a row
// gives the current error's description. The table has 87 rows, the last one 746.
TEST(MessaggioErroreITA, RowsAndTheirCount) {
    vq::ImpostaErrore(999, "\x01corrente");
    const std::pair<std::int32_t, std::string> righe[] = {
        {3, "Return senza GoSub"},
        {10, "Questa matrice \xc3\xa8 fissa o temporaneamente bloccata "},
        {76, "Impossibile trovare il percorso "},
        {98,
         "Una chiamata a una propriet\xc3\xa0 o a un metodo non pu\xc3\xb2 includere un "
         "riferimento a un "
         "oggetto privato, n\xc3\xa9 come argomento n\xc3\xa9 come valore restituito"},
        {442,
         "Il collegamento alla libreria dei tipi o alla libreria degli oggetti per il processo "
         "remoto non "
         "\xc3\xa8 pi\xc3\xb9 disponibile. Scegliere OK per rimuovere il riferimento."},
        {746, "Sostituzioni troppo lunghe"},
        {4, "\x01corrente"},
        {-6, "\x01corrente"},
    };
    for (const auto& [numero, testo] : righe)
        EXPECT_EQ(vqUtilita::MessaggioErroreITA(numero), testo) << numero;
    int conteggio = 0;
    std::int32_t ultimo = 0;
    for (std::int32_t n = -10; n <= 100000; ++n) {
        if (vqUtilita::MessaggioErroreITA(n) != "\x01corrente") {
            ++conteggio;
            ultimo = n;
        }
    }
    EXPECT_EQ(conteggio, 87);
    EXPECT_EQ(ultimo, 746);
    EXPECT_EQ(vq::Err().numero, 999);  // reading the table changes nothing
    vq::CancellaErrore();
    EXPECT_EQ(vqUtilita::MessaggioErroreITA(0), "");
}

// ---- ScriviLog ---------------------------------------------------------------------

class Log : public ::testing::Test {
protected:
    prova::Cartella tmp;
    std::string file = tmp / "prova.log";
    void TearDown() override { vq::CancellaErrore(); }
};

TEST_F(Log, AppendsLinesInOrderWithCrLf) {
    prova::ScriviFile(file, "prima\r\n");
    EXPECT_TRUE(vqUtilita::ScriviLog("uno", file, false, false));
    EXPECT_TRUE(vqUtilita::ScriviLog("due", "  " + file + " ", false, false));  // blanks trimmed
    EXPECT_TRUE(vqUtilita::ScriviLog("", file));
    EXPECT_EQ(prova::LeggiFile(file), "prima\r\nuno\r\ndue\r\n\r\n");
}

TEST_F(Log, CancellaPrecedenteStartsAfresh) {
    // A file that does not exist yet simply gets the line.
    EXPECT_TRUE(vqUtilita::ScriviLog("nuovo", file, false, true));
    EXPECT_EQ(prova::LeggiFile(file), "nuovo\r\n");
    prova::ScriviFile(file, "vecchio 1\r\nvecchio 2\r\n");
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_TRUE(vqUtilita::ScriviLog("solo", file, false, true));
    EXPECT_EQ(prova::LeggiFile(file), "solo\r\n");
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(std::distance(fs::directory_iterator(tmp.str()), fs::directory_iterator()),
              1);  // no leftovers
}

TEST_F(Log, CancellaPrecedenteKeepsASymbolicLink) {
    // A log reached through a link is started afresh where the link points, as appending
    // writes there: the link stays a link.
    const std::string vero = tmp / "vero.log";
    prova::ScriviFile(vero, "vecchio\r\n");
    fs::create_symlink(vero, file);
    EXPECT_TRUE(vqUtilita::ScriviLog("nuovo", file, false, true));
    EXPECT_TRUE(fs::is_symlink(file));
    EXPECT_EQ(prova::LeggiFile(vero), "nuovo\r\n");
    EXPECT_TRUE(vqUtilita::ScriviLog("altro", file, false, false));
    EXPECT_EQ(prova::LeggiFile(vero), "nuovo\r\naltro\r\n");
    EXPECT_EQ(tmp.Contenuto(),
              (std::vector<std::string>{"prova.log", "vero.log"}));  // no leftovers
}

TEST_F(Log, WritesWindows1252) {
    struct Caso {
        std::string testo, byte;
    };
    const Caso casi[] = {
        {"caff\xc3\xa8", "caff\xe8"},  // è
        {"\xe2\x82\xac 5", "\x80 5"},  // € lives at 0x80
        {"\xe2\x80\x9cvirgolette\xe2\x80\x9d", "\x93virgolette\x94"},
        {"\xe6\xbc\xa2 x", "? x"},  // a character the code page lacks
        {"a\xf0\x9f\x98\x80"
         "b",
         "a?b"},                        // beyond U+FFFF
        {"rotto \xc3", "rotto ?"},      // cut UTF-8 sequence at the end
        {"rotto \xff x", "rotto ? x"},  // a byte that is not UTF-8
    };
    for (const auto& c : casi) {
        ASSERT_TRUE(vqUtilita::ScriviLog(c.testo, file, false, true));
        EXPECT_EQ(prova::LeggiFile(file), c.byte + "\r\n") << c.testo;
    }
}

TEST_F(Log, TimeStamp) {
    prova::Ambiente lingua("LC_ALL", "C");
    ASSERT_TRUE(vqUtilita::ScriviLog("evento", file, true, false));
    const std::regex forma(
        R"(\d{4}-(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec)-\d\d \d\d:\d\d:\d\d evento\r\n)");
    EXPECT_TRUE(std::regex_match(prova::LeggiFile(file), forma)) << prova::LeggiFile(file);
}

TEST_F(Log, FailuresReturnFalseAndSetTheError) {
    struct Caso {
        std::string file;
        bool cancella;
        std::int32_t errore;
    };
    const Caso casi[] = {
        {tmp / "manca/prova.log", false, 76},
        {tmp / "manca/prova.log", true, 76},
        {tmp.str(), false, 75},  // a folder
        {tmp.str(), true, 75},
        {"   ", false, 52},
        {tmp / "sola_lettura.log", true, 70},  // never replaced, even by root
    };
    prova::ScriviFile(tmp / "sola_lettura.log", "resta\r\n");
    fs::permissions(tmp / "sola_lettura.log", fs::perms::owner_read | fs::perms::group_read);
    for (const auto& c : casi) {
        vq::CancellaErrore();
        EXPECT_FALSE(vqUtilita::ScriviLog("x", c.file, false, c.cancella)) << c.file;
        EXPECT_EQ(vq::Err().numero, c.errore) << c.file;
        EXPECT_FALSE(vq::Err().descrizione.empty()) << c.file;
    }
    EXPECT_FALSE(fs::exists(tmp / "manca"));
    EXPECT_EQ(prova::LeggiFile(tmp / "sola_lettura.log"), "resta\r\n");
    // A call that succeeds leaves no error behind.
    EXPECT_TRUE(vqUtilita::ScriviLog("x", file, false, true));
    EXPECT_EQ(vq::Err().numero, 0);
}

TEST_F(Log, DefaultFileBesideTheProgram) {
    const fs::path exe = fs::canonical("/proc/self/exe");
    const fs::path log = exe.parent_path() / (exe.stem().string() + ".log");
    fs::remove(log);
    EXPECT_TRUE(vqUtilita::ScriviLog("riga"));
    EXPECT_EQ(prova::LeggiFile(log.string()), "riga\r\n");
    fs::remove(log);
}

}  // namespace
