// Settings files in the INI format, written by hand: read, then rewritten without losing
// a line.
#include "file_prova.h"

#include <util/vqUtilita.h>

#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Comments, a line before any section, odd spacing, duplicate sections and keys, quotes,
// a line without "=", CR LF line ends.
const std::string kAManoCrLf =
    "; impostazioni di prova\r\n"
    "orfana=fuori da ogni sezione\r\n"
    "[Generale]\r\n"
    "  Lingua   =   it  \r\n"
    "Vuota=\r\n"
    "Spazi=    \r\n"
    ";Commento=non una chiave\r\n"
    "riga senza uguale\r\n"
    "Citata=\"  tra virgolette  \"\r\n"
    "Apice='x'\r\n"
    "Doppia=prima\r\n"
    "DOPPIA=seconda\r\n"
    "Uguali=a=b\r\n"
    "\r\n"
    "[ Percorsi ]\r\n"
    "Dati=/home/u/dati\r\n"
    "[generale]\r\n"
    "Lingua=en\r\n"
    "Solo=nella seconda\r\n";

TEST(LeggiINI, HandWrittenFile) {
    prova::Cartella tmp;
    const std::string f = tmp / "prova.ini";
    prova::ScriviFile(f, kAManoCrLf);
    struct Caso {
        const char* sezione;
        const char* chiave;
        const char* atteso;  // default "predef"
    };
    const Caso casi[] = {
        {"Generale", "Lingua", "it"},
        {"GENERALE", "lingua", "it"},              // case ignored
        {" Generale ", " Lingua ", "it"},          // blanks around names ignored
        {"Generale", "Vuota", "predef"},           // empty value
        {"Generale", "Spazi", "predef"},           // blanks only
        {"Generale", ";Commento", "predef"},       // comments are not keys
        {"Generale", "Citata", "tra virgolette"},  // quotes dropped, then blanks
        {"Generale", "Apice", "x"},
        {"Generale", "Doppia", "prima"},  // the first of two keys
        {"Generale", "Uguali", "a=b"},
        {"Generale", "Manca", "predef"},
        {"Generale", "Solo", "predef"},  // only the first section of a name counts
        {"Percorsi", "Dati", "/home/u/dati"},
        {"Manca", "Lingua", "predef"},
        {"", "orfana", "predef"},  // lines before any section belong to none
    };
    for (const auto& c : casi) {
        SCOPED_TRACE(std::string(c.sezione) + "/" + c.chiave);
        EXPECT_EQ(vqUtilita::LeggiINI(f, c.sezione, c.chiave, "predef"), c.atteso);
    }
    EXPECT_EQ(vqUtilita::LeggiINI(tmp / "manca.ini", "Generale", "Lingua", "predef"), "predef");
    EXPECT_EQ(vqUtilita::LeggiINI(f, "Generale", "Vuota", ""), "");
    EXPECT_EQ(vqUtilita::LeggiINI(f, "Generale", "Manca", "  predef  "),
              "predef");  // the default is trimmed too
}

TEST(LeggiINI, ValueCutAt1999Characters) {
    prova::Cartella tmp;
    const std::string f = tmp / "lungo.ini";
    std::string lungo(1998, 'x');
    lungo +=
        "\xc3\xa8"
        "yz";  // the 1999th character is two bytes long
    prova::ScriviFile(f, "[s]\nk=" + lungo + "\nb=" + std::string(1998, 'b') + " c\n");
    EXPECT_EQ(vqUtilita::LeggiINI(f, "s", "k", ""), std::string(1998, 'x') + "\xc3\xa8");
    EXPECT_EQ(vqUtilita::LeggiINI(f, "s", "b", ""),
              std::string(1998, 'b'));  // cut at the blank, then trimmed
}

TEST(ScriviINI, RewritesWithoutLosingALine) {
    prova::Cartella tmp;
    struct Caso {
        const char* nome;
        std::string prima;
        const char* sezione;
        const char* chiave;
        const char* valore;
        std::string dopo;
    };
    const Caso casi[] = {
        {"chiave esistente", kAManoCrLf, "generale", "LINGUA", "fr",
         std::string(kAManoCrLf)
             .replace(kAManoCrLf.find("  Lingua   =   it  "), 19, "  Lingua=fr")},
        {"prima di due", kAManoCrLf, "Generale", "doppia", "uno",
         std::string(kAManoCrLf).replace(kAManoCrLf.find("Doppia=prima"), 12, "Doppia=uno")},
        {"chiave nuova", kAManoCrLf, "Percorsi", "Temp", "/tmp",
         std::string(kAManoCrLf).insert(kAManoCrLf.find("[generale]"), "Temp=/tmp\r\n")},
        {"chiave nuova dopo l'ultima", kAManoCrLf, "Generale", "Nuova", "1",
         std::string(kAManoCrLf).insert(kAManoCrLf.find("\r\n[ Percorsi ]"), "Nuova=1\r\n")},
        {"sezione nuova", kAManoCrLf, "Nuova", "k", "v", kAManoCrLf + "\r\n[Nuova]\r\nk=v\r\n"},
        {"righe LF", "[a]\nx=1\n", "b", "y", "2", "[a]\nx=1\n\n[b]\ny=2\n"},
        {"senza fine riga", "[a]\nx=1", "a", "y", "2", "[a]\nx=1\ny=2\n"},
        {"sezione vuota", "[a]\n[b]\nz=0\n", "a", "y", "2", "[a]\ny=2\n[b]\nz=0\n"},
        {"valore vuoto", "[a]\nx=1\n", "a", "x", "", "[a]\nx=\n"},
        // A final CR without LF ends the line: completed, it keeps its meaning.
        {"CR finale", "[a]\r", "a", "k", "v", "[a]\r\nk=v\r\n"},
        {"CR finale, sezione nuova", "[b]\nx=1\r", "a", "k", "v", "[b]\nx=1\r\n\n[a]\nk=v\n"},
    };
    for (const auto& c : casi) {
        SCOPED_TRACE(c.nome);
        const std::string f = tmp / "prova.ini";
        prova::ScriviFile(f, c.prima);
        EXPECT_TRUE(vqUtilita::ScriviINI(f, c.sezione, c.chiave, c.valore));
        EXPECT_EQ(prova::LeggiFile(f), c.dopo);
        if (*c.valore != '\0') {
            EXPECT_EQ(vqUtilita::LeggiINI(f, c.sezione, c.chiave, "?"), c.valore);
        }
    }
    EXPECT_EQ(tmp.Contenuto(), std::vector<std::string>{"prova.ini"});  // no temporary file left
}

TEST(ScriviINI, CreatesTheFileAndRefusesBrokenLines) {
    prova::Cartella tmp;
    const std::string f = tmp / "nuovo.ini";
    EXPECT_TRUE(vqUtilita::ScriviINI(f, "Generale", "Lingua", "it"));
    EXPECT_EQ(prova::LeggiFile(f), "[Generale]\r\nLingua=it\r\n");
    struct Caso {
        const char* sezione;
        const char* chiave;
        const char* valore;
    };
    const Caso rifiutati[] = {
        {"a]b", "k", "v"}, {"a\nb", "k", "v"},     {"a", "k=1", "v"},
        {"a", "", "v"},    {"a", "  ", "v"},       {"a", "[k", "v"},
        {"a", ";k", "v"},  {"a", "k", "v\r\n[b]"}, {"a", "k\n", "v"},
    };
    for (const auto& c : rifiutati) {
        SCOPED_TRACE(std::string(c.sezione) + "/" + c.chiave + "/" + c.valore);
        EXPECT_FALSE(vqUtilita::ScriviINI(f, c.sezione, c.chiave, c.valore));
    }
    EXPECT_EQ(prova::LeggiFile(f), "[Generale]\r\nLingua=it\r\n");
    EXPECT_FALSE(vqUtilita::ScriviINI(tmp / "manca/nuovo.ini", "a", "k", "v"));
}

TEST(ScriviINI, KeepsTheFileModeAndFollowsLinks) {
    prova::Cartella tmp;
    const std::string f = tmp / "vero.ini";
    prova::ScriviFile(f, "[a]\nx=1\n");
    ::chmod(f.c_str(), 0600);
    const std::string link = tmp / "link.ini";
    ASSERT_EQ(::symlink(f.c_str(), link.c_str()), 0);
    EXPECT_TRUE(vqUtilita::ScriviINI(link, "a", "x", "2"));
    struct stat st {};
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(::stat(f.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(prova::LeggiFile(f), "[a]\nx=2\n");
}

TEST(ScriviINI, ConcurrentWritersLoseNothing) {
    prova::Cartella tmp;
    const std::string f = tmp / "comune.ini";
    constexpr int kChiavi = 40;
    std::vector<pid_t> figli;
    for (const char* chi : {"a", "b", "c"}) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            bool ok = true;
            for (int i = 0; i < kChiavi; ++i)
                ok = vqUtilita::ScriviINI(f, "Comune", std::string(chi) + std::to_string(i), "1") &&
                     ok;
            ::_exit(ok ? 0 : 1);
        }
        figli.push_back(pid);
    }
    for (const pid_t pid : figli) {
        int stato = 0;
        ::waitpid(pid, &stato, 0);
        EXPECT_TRUE(WIFEXITED(stato) && WEXITSTATUS(stato) == 0);
    }
    int mancanti = 0;
    for (const char* chi : {"a", "b", "c"})
        for (int i = 0; i < kChiavi; ++i)
            if (vqUtilita::LeggiINI(f, "Comune", std::string(chi) + std::to_string(i), "") != "1")
                ++mancanti;
    EXPECT_EQ(mancanti, 0);
}

}  // namespace
