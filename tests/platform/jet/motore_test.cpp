// Opening, passwords, the SQL that is refused, object life cycles, and the file changing
// between two queries.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <fstream>

#include <optional>
#include <thread>

#include "motore_prova.h"
#include "jet/errori.h"
#include "jetwriter/jetwriter.h"

namespace {

using prova::Conta;
using prova::NumeroErrore;
using prova::Ws;

std::string Conto(std::int64_t i) { return "Conto " + std::to_string(i); }

// A table Conti (IDConto autonumber, Descrizione) of `righe` rows, written to dir/nome.
std::filesystem::path Piccolo(const prova::Cartella& dir, const std::string& nome,
                              std::int64_t righe, const std::string& password = {},
                              jetwriter::Formato f = jetwriter::Formato::Jet3,
                              std::string (*descrizione)(std::int64_t) = Conto) {
    jetwriter::Specifica s;
    s.formato = f;
    s.password = password;
    jetwriter::Tabella t;
    t.nome = "Conti";
    t.colonne = {{"IDConto", jetwriter::Tipo::Long, 255, true},
                 {"Descrizione", jetwriter::Tipo::Text, 50, false}};
    t.generatore = [righe, descrizione](std::int64_t i, jetwriter::Riga& r) {
        r = {jetwriter::Valore{}, jetwriter::Valore{descrizione(i)}};
        return i < righe;
    };
    s.tabelle.push_back(std::move(t));
    auto p = dir / nome;
    jetwriter::Scrivi(s, p);
    return p;
}

class Motore : public ::testing::Test {
protected:
    void SetUp() override { prova::LimitiDiProva(); }
    int Apri(const std::filesystem::path& p, const std::string& connect = {}) {
        return NumeroErrore([&] { Ws().OpenDatabase(p.string(), false, true, connect); });
    }
    prova::Cartella dir_;
};

TEST_F(Motore, FileCheNonSiAprono) {
    prova::ScriviFile(dir_ / "testo.mdb", std::string(8192, 'x'));
    EXPECT_EQ(Apri(dir_ / "manca.mdb"), jet::kErrFileNonTrovato);
    EXPECT_EQ(Apri(dir_.percorso()), jet::kErrFileNonTrovato);
    EXPECT_EQ(Apri(dir_ / "testo.mdb"), jet::kErrFormato);
    if (geteuid() != 0) {
        auto p = Piccolo(dir_, "chiuso.mdb", 1);
        chmod(p.c_str(), 0);
        EXPECT_EQ(Apri(p), jet::kErrPermesso);
    }
}

TEST_F(Motore, PasswordComeJet) {
    auto con = Piccolo(dir_, "con.mdb", 3, "604kmr73");
    auto con4 = Piccolo(dir_, "con4.mdb", 3, "Pàss€", jetwriter::Formato::Jet4);
    auto senza = Piccolo(dir_, "senza.mdb", 3);
    struct Caso {
        std::filesystem::path file;
        const char* connect;
        int atteso;
    };
    const Caso casi[] = {
        {con, ";Pwd=604kmr73", 0},
        {con, ";Pwd=604KMR73", jet::kErrPassword},
        {con, "", jet::kErrPassword},
        {con, ";Pwd=", jet::kErrPassword},
        {con, ";Pwd=604kmr73 ", jet::kErrPassword},
        {con4, ";Pwd=Pàss€", 0},
        {con4, ";Pwd=pàss€", jet::kErrPassword},
        {senza, ";Pwd=qualsiasi", 0},
        {senza, "", 0},
    };
    for (const auto& c : casi) {
        EXPECT_EQ(NumeroErrore([&] {
                      auto db = Ws().OpenDatabase(c.file.string(), false, true, c.connect);
                      EXPECT_EQ(Conta(*db, "SELECT Count(*) FROM Conti"), 3);
                  }),
                  c.atteso)
            << c.file << " " << c.connect;
    }
}

// Files we did not write: passwords, counts as their README gives them, a table with a
// non-ASCII name.
TEST_F(Motore, CampioniReali) {
    auto dir = prova::Campioni();
    if (dir.empty()) GTEST_SKIP() << prova::kSenzaCampioni;
    struct Caso {
        const char* file;
        const char* connect;
        const char* sbagliata;  // a connect string that must fail with 3031, or null
        const char* sql;
        std::int64_t righe;
    };
    const Caso casi[] = {
        {"password-jet3.mdb", ";Pwd=Segreto£97", ";Pwd=Segreto", "SELECT Count(*) FROM Table1", 2},
        {"password-jet4.mdb", ";Pwd=password", ";Pwd=Password", "SELECT Count(*) FROM Table1", 3},
        {"nwind-jet3.mdb", "", nullptr, "SELECT Count(*) FROM Orders", 830},
        {"nwind-jet3.mdb", "", nullptr,
         "SELECT Count(*) FROM [Order Details] INNER JOIN Orders ON [Order Details].OrderID = "
         "Orders.OrderID",
         2155},
    };
    for (const auto& c : casi) {
        auto db = Ws().OpenDatabase((dir / c.file).string(), false, true, c.connect);
        EXPECT_EQ(Conta(*db, c.sql), c.righe) << c.file;
        if (c.sbagliata) {
            EXPECT_EQ(Apri(dir / c.file, c.sbagliata), jet::kErrPassword) << c.file;
        }
    }
    auto db4 =
        Ws().OpenDatabase((dir / "password-jet4.mdb").string(), false, true, ";Pwd=password");
    auto r = prova::Righe(*db4, "SELECT ID, Data FROM Table1 ORDER BY ID");
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[2][1].testo, "Three");
    auto nw = Ws().OpenDatabase((dir / "nwind-jet3.mdb").string());
    EXPECT_GT(Conta(*nw, "SELECT Count(*) FROM [Umsätze]"), 0);
}

TEST_F(Motore, SqlRifiutato) {
    auto p = Piccolo(dir_, "sql.mdb", 5);
    const std::string prima = prova::LeggiFile(p);
    auto db = Ws().OpenDatabase(p.string());
    struct Caso {
        std::string sql;
        int atteso;
    };
    const Caso casi[] = {
        {"DELETE FROM Conti", jet::kErrIstruzione},
        {"DROP TABLE Conti", jet::kErrIstruzione},
        {"UPDATE Conti SET Descrizione = 'x'", jet::kErrIstruzione},
        {"ATTACH DATABASE '/tmp/x.db' AS x", jet::kErrIstruzione},
        {"PRAGMA writable_schema = 1", jet::kErrIstruzione},
        {"", jet::kErrIstruzione},
        {"SELECT 1; SELECT 2", jet::kErrCaratteriDopo},
        {std::string("SELECT 1\0; DELETE FROM Conti", 28), jet::kErrCaratteriDopo},
        {"SELECT * FROM Conti WHERE IDConto = 1); DROP TABLE Conti; --", jet::kErrSintassi},
        {"SELECT * FROM Conti WHERE IDConto IN (1); DELETE FROM Conti", jet::kErrCaratteriDopo},
        {"SELECT load_extension('/tmp/x.so')", jet::kErrOperazione},
        {"SELECT * FROM Nessuna", jet::kErrTabella},
        {"SELECT * FROM sqlite_master", jet::kErrTabella},
        {"SELECT Nessuna FROM Conti", jet::kErrParametri},
        {"SELECT FROM WHERE", jet::kErrSintassi},
        {"SELECT Inventata(1) FROM Conti", jet::kErrFunzione},
        {"SELECT IDConto FROM Conti AS a, Conti AS b", jet::kErrCampoAmbiguo},
    };
    for (const auto& c : casi)
        EXPECT_EQ(NumeroErrore([&] { db->OpenRecordset(c.sql); }), c.atteso) << c.sql;
    // A trailing semicolon and comments are fine; the database is still usable.
    EXPECT_EQ(Conta(*db, "SELECT Count(*) FROM Conti; -- fine"), 5);
    db->Close();
    EXPECT_EQ(prova::LeggiFile(p), prima);
}

TEST_F(Motore, CicloDiVitaDegliOggetti) {
    auto p = Piccolo(dir_, "vita.mdb", 2);
    EXPECT_EQ(NumeroErrore([&] { jet::DBEngine::DelThread().Workspaces(1); }), jet::kErrElemento);
    auto db = Ws().OpenDatabase(p.string());
    auto rs = db->OpenRecordset("SELECT IDConto FROM Conti ORDER BY IDConto");
    EXPECT_EQ(NumeroErrore([&] { db->OpenRecordset("SELECT 1", jet::dbOpenTable); }),
              jet::kErrArgomento);
    rs->MoveNext();
    rs->MoveNext();
    EXPECT_TRUE(rs->Eof());
    EXPECT_EQ(NumeroErrore([&] { rs->MoveNext(); }), jet::kErrNessunRecordCorrente);
    EXPECT_EQ(NumeroErrore([&] { rs->Campo(0); }), jet::kErrNessunRecordCorrente);
    auto aperto = db->OpenRecordset("SELECT IDConto FROM Conti");
    db->Close();
    db->Close();  // twice: nothing
    EXPECT_FALSE(db->Aperto());
    EXPECT_EQ(NumeroErrore([&] { aperto->Eof(); }), jet::kErrOggetto);
    EXPECT_EQ(NumeroErrore([&] { db->OpenRecordset("SELECT 1"); }), jet::kErrOggetto);
    aperto->Close();
    // What the engine handles itself leaves the thread's current error alone.
    {
        auto db2 = Ws().OpenDatabase(p.string());
        vq::ImpostaErrore(4567, "errore del chiamante");
        // The type of the sum is looked up with "SELECT x.IDConto FROM Conti AS x ORDER BY s",
        // which fails inside the engine (s is an alias of the outer select list).
        EXPECT_EQ(prova::Uno(*db2, "SELECT Sum(x.IDConto) AS s FROM Conti AS x ORDER BY s").intero,
                  3);
        EXPECT_EQ(vq::Err().numero, 4567);
        EXPECT_EQ(vq::Err().descrizione, "errore del chiamante");
        vq::CancellaErrore();
    }
    // One engine per thread.
    jet::DBEngine* qui = &jet::DBEngine::DelThread();
    jet::DBEngine* altro = nullptr;
    std::thread([&] { altro = &jet::DBEngine::DelThread(); }).join();
    EXPECT_NE(qui, altro);
}

TEST_F(Motore, IlFileCambiaTraDueQuery) {
    auto p = Piccolo(dir_, "cambia.mdb", 100);
    auto db = Ws().OpenDatabase(p.string(), false, true, ";Pwd=x");
    EXPECT_EQ(Conta(*db, "SELECT Count(*) FROM Conti"), 100);
    EXPECT_EQ(Conta(*db, "SELECT Count(*) FROM Conti WHERE IDConto > 50"), 50);
    EXPECT_EQ(db->Caricamenti(), 1);  // unchanged file: the loaded table is reused
    // A recordset open on the old state keeps reading it.
    auto vecchio = db->OpenRecordset("SELECT IDConto FROM Conti ORDER BY IDConto");
    Piccolo(dir_, "cambia.mdb", 250);  // replaced atomically, as the host would
    EXPECT_EQ(Conta(*db, "SELECT Count(*) FROM Conti"), 250);
    EXPECT_EQ(db->Caricamenti(), 2);
    int n = 0;
    for (; !vecchio->Eof(); vecchio->MoveNext()) ++n;
    EXPECT_EQ(n, 100);
    // Rewritten in place with the same size but other content: the time stamp tells.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    prova::ScriviFile(p, prova::LeggiFile(Piccolo(dir_, "altro.mdb", 250)));
    EXPECT_EQ(Conta(*db, "SELECT Count(*) FROM Conti"), 250);
    EXPECT_EQ(db->Caricamenti(), 3);
    // Now with a password it did not have: the open database fails as a new open would.
    Piccolo(dir_, "cambia.mdb", 10, "nuova");
    EXPECT_EQ(NumeroErrore([&] { Conta(*db, "SELECT Count(*) FROM Conti"); }), jet::kErrPassword);
    std::filesystem::remove(p);
    EXPECT_EQ(NumeroErrore([&] { Conta(*db, "SELECT Count(*) FROM Conti"); }),
              jet::kErrFileNonTrovato);
}

std::string NomeMisto(std::int64_t i) {
    static const char* const kNomi[] = {"àltro", "Banca", "banca", "Èrba",
                                        "euro",  "zeta",  "Zeta",  "e"};
    return std::string(kNomi[i % 8]) + " " + std::to_string(i % 97);
}

TEST_F(Motore, OrdinamentoSuTabellaGrandeComeSenzaIndice) {
    // Above the size where the engine indexes a sorted table in its image: the order must
    // stay Jet's text order, identical to the plain sort.
    auto p = Piccolo(dir_, "grande.mdb", 30000, {}, jetwriter::Formato::Jet3, NomeMisto);
    auto db = Ws().OpenDatabase(p.string());
    auto ordinato =
        prova::Righe(*db, "SELECT IDConto FROM Conti ORDER BY Conti.Descrizione, Conti.IDConto");
    auto semplice = prova::Righe(*db, "SELECT IDConto FROM Conti ORDER BY Descrizione, IDConto");
    ASSERT_EQ(ordinato.size(), 30000u);
    ASSERT_EQ(semplice.size(), 30000u);
    for (std::size_t i = 0; i < ordinato.size(); ++i)
        ASSERT_EQ(ordinato[i][0].intero, semplice[i][0].intero) << i;
    auto primi = prova::Righe(
        *db,
        "SELECT Descrizione FROM Conti WHERE Descrizione LIKE '* 0' ORDER BY Conti.Descrizione");
    ASSERT_GE(primi.size(), 2u);
    EXPECT_EQ(primi[0][0].testo.substr(0, 7), "àltro ");
    // Equal names in any case are neighbours, and the index finds them with '='.
    EXPECT_EQ(Conta(*db, "SELECT Count(*) FROM Conti WHERE Descrizione = 'BANCA 1'"),
              Conta(*db, "SELECT Count(*) FROM Conti WHERE Descrizione = 'banca 1'"));
}

TEST_F(Motore, LimitiDelLettoreENienteLasciatoIndietro) {
    auto p = Piccolo(dir_, "limiti.mdb", 40000);
    // The images live in memory: nothing ever lands under TMPDIR.
    const auto temp = dir_ / "temp";
    std::filesystem::create_directory(temp);
    const char* prima = std::getenv("TMPDIR");
    struct Ripristina {
        std::optional<std::string> v;
        ~Ripristina() {
            if (v) setenv("TMPDIR", v->c_str(), 1);
            else unsetenv("TMPDIR");
            prova::LimitiDiProva();
        }
    } ripristina{prima ? std::optional<std::string>(prima) : std::nullopt};
    setenv("TMPDIR", temp.c_str(), 1);

    jet::Limiti l;
    l.tempo = std::chrono::milliseconds(1);  // the child is killed long before it is done
    jet::DBEngine::DelThread().ImpostaLimiti(l);
    auto inizio = std::chrono::steady_clock::now();
    {
        auto db = Ws().OpenDatabase(p.string());
        EXPECT_EQ(NumeroErrore([&] { db->OpenRecordset("SELECT Count(*) FROM Conti"); }),
                  jet::kErrDanneggiato);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(temp), {}), 0);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - inizio, std::chrono::seconds(5));
#if !defined(__SANITIZE_ADDRESS__)
    l.tempo = std::chrono::seconds(20);
    l.memoriaMb = 8;  // not even enough to start
    jet::DBEngine::DelThread().ImpostaLimiti(l);
    EXPECT_EQ(
        NumeroErrore([&] { Conta(*Ws().OpenDatabase(p.string()), "SELECT Count(*) FROM Conti"); }),
        jet::kErrDanneggiato);
#endif
    prova::LimitiDiProva();
    {
        auto db = Ws().OpenDatabase(p.string());
        EXPECT_EQ(Conta(*db, "SELECT Count(*) FROM Conti"), 40000);
        EXPECT_FALSE(
            db->OpenRecordset("SELECT IDConto FROM Conti ORDER BY Conti.Descrizione")->Eof());
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(temp), {}),
              0);  // nothing left behind
}

// The first child of process `pid` (its loader), waited for up to `entro`; -1 if none came.
pid_t PrimoFiglio(pid_t pid, std::chrono::milliseconds entro) {
    const auto fine = std::chrono::steady_clock::now() + entro;
    const std::string elenco =
        "/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children";
    while (std::chrono::steady_clock::now() < fine) {
        std::ifstream f(elenco);
        pid_t figlio = -1;
        if (f >> figlio) return figlio;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return -1;
}

// A process killed while it reads a protected database leaves nothing behind: no copy of
// its tables on disk, no loader still running.
TEST_F(Motore, UccisoNonLasciaNulla) {
    const auto p = Piccolo(dir_, "segreto.mdb", 150000, "segreta");
    const auto temp = dir_ / "temp";
    std::filesystem::create_directory(temp);
    // Orphans come to this process: the loader's end can be seen and how it ended.
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    struct Fine {
        ~Fine() { prctl(PR_SET_CHILD_SUBREAPER, 0); }
    } fine;
    for (const bool duranteLettura : {true, false}) {
        SCOPED_TRACE(duranteLettura ? "durante la lettura" : "dopo la prima riga");
        int segnale[2];
        ASSERT_EQ(pipe(segnale), 0);
        const pid_t processo = fork();
        ASSERT_GE(processo, 0);
        if (processo == 0) {
            close(segnale[0]);
            setenv("TMPDIR", temp.c_str(), 1);
            try {
                auto db = Ws().OpenDatabase(p.string(), false, true, ";Pwd=segreta");
                auto rs = db->OpenRecordset("SELECT * FROM Conti ORDER BY Descrizione DESC");
                if (!rs->Eof() && write(segnale[1], "r", 1) == 1) pause();
            } catch (...) {}
            _exit(1);
        }
        close(segnale[1]);
        pid_t lettore = -1;
        if (duranteLettura) {
            lettore = PrimoFiglio(processo, std::chrono::seconds(10));
            EXPECT_GT(lettore, 0);
        } else {
            char c = 0;
            EXPECT_EQ(read(segnale[0], &c, 1), 1);
        }
        close(segnale[0]);
        kill(processo, SIGKILL);
        int stato = 0;
        waitpid(processo, &stato, 0);
        if (lettore > 0) {
            // It dies with its parent (killed; or, killed before it could ask for that, it
            // ends at its start with 3), never after its own work or a broken pipe.
            ASSERT_EQ(waitpid(lettore, &stato, 0), lettore);
            EXPECT_TRUE((WIFSIGNALED(stato) && WTERMSIG(stato) == SIGKILL) ||
                        (WIFEXITED(stato) && WEXITSTATUS(stato) == 3))
                << "stato " << stato;
        }
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(temp), {}), 0);
        while (waitpid(-1, &stato, WNOHANG) > 0) {}
    }
}

}  // namespace
