// Paths and folders of vqUtilita.
#include "errore_prova.h"
#include "file_prova.h"

#include <util/vqUtilita.h>
#include <vq/errore.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <cstdio>
#include <functional>
#include <regex>
#include <set>

namespace fs = std::filesystem;

namespace {

struct CasoTesto {
    std::string ingresso;
    std::string atteso;
};

TEST(Percorsi, AggiungiSepDirChangesTheCallersText) {
    const CasoTesto casi[] = {
        {" /home/dati ", "/home/dati/"},  // blanks trimmed, separator appended
        {"/home/dati/", "/home/dati/"},   // already ends in the separator
        {"", ""},                         // nothing is appended to an empty text
        {"   ", ""},                      // an all-blank text becomes empty
        {"C:\\Dati\\", "C:\\Dati\\/"},    // "\" is an ordinary character here
        {"\tx", "\tx/"},                  // only blanks are trimmed, tabs stay
        {"/", "/"},
    };
    for (const auto& c : casi) {
        std::string percorso = c.ingresso;
        EXPECT_EQ(vqUtilita::AggiungiSepDir(percorso), c.atteso) << '"' << c.ingresso << '"';
        EXPECT_EQ(percorso, c.atteso) << '"' << c.ingresso << '"';
    }
}

// The pure text methods: (method, input, result).
TEST(Percorsi, TextMethods) {
    using namespace std::string_literals;
    using Metodo = std::string (*)(const std::string&);
    const Metodo path = vqUtilita::EstraiPath, ext = vqUtilita::EstraiEstensione,
                 nome = vqUtilita::DeterminaSoloFileName, strip = vqUtilita::StripTerminator;
    const struct {
        Metodo metodo;
        std::string ingresso, atteso;
    } casi[] = {
        // EstraiPath: only the native separator
        {path, "/home/dati/a.xml", "/home/dati/"},
        {path, "dati/a.xml", "dati/"},
        {path, "a.xml", ""},
        {path, "/a.xml", ""},  // a separator in first place does not count
        {path, "C:\\Dati\\a.xml", ""},
        {path, "/home/dati/", "/home/dati/"},
        {path, "", ""},
        // EstraiEstensione: scans past folders
        {ext, "/home/u/Esporta.2024.xml", "xml"},
        {ext, "dati.", ""},
        {ext, ".xml", ""},
        {ext, "dati", ""},
        {ext, "/home/Dir.old/file", "old/file"},  // a dot in a folder name counts
        {ext, "", ""},
        {ext, "a.\xc3\xa8", "\xc3\xa8"},
        // DeterminaSoloFileName: both separators
        {nome, "/home/dati/a.xml", "a.xml"},
        {nome, "C:\\Dati\\a.xml", "a.xml"},
        {nome, "cartella\\sotto/file.txt", "file.txt"},
        {nome, "file.txt", "file.txt"},
        {nome, "/home/dati/", ""},
        {nome, "C:\\", ""},
        {nome, "", ""},
        // StripTerminator: cut at the first NUL
        {strip, "abc\0def\0"s, "abc"},
        {strip, "\0abc"s, ""},
        {strip, "abc", "abc"},
        {strip, "", ""},
    };
    for (const auto& c : casi) EXPECT_EQ(c.metodo(c.ingresso), c.atteso) << c.ingresso;
}

// The character-scanning methods hold lengths in 16-bit counters: 32767 characters are
// fine, one more is error 6. Characters, not bytes: 32767 two-byte characters still fit.
TEST(Percorsi, ScanningMethodsOverflowBeyond32767Characters) {
    const std::pair<const char*, std::function<void(const std::string&)>> metodi[] = {
        {"EstraiPath", [](const std::string& s) { vqUtilita::EstraiPath(s); }},
        {"EstraiEstensione", [](const std::string& s) { vqUtilita::EstraiEstensione(s); }},
        {"DeterminaSoloFileName",
         [](const std::string& s) { vqUtilita::DeterminaSoloFileName(s); }},
        {"EspuraSpazi", [](const std::string& s) { vqUtilita::EspuraSpazi(s); }},
        {"vqSplit",
         [](const std::string& s) {
             std::vector<std::string> v;
             vqUtilita::vqSplit(v, s, ";");
         }},
    };
    std::string lunga2byte;
    std::string emoji;
    for (int i = 0; i < 32767; ++i) lunga2byte += "\xc3\xa8";
    for (int i = 0; i < 16384; ++i) emoji += "\xf0\x9f\x98\x80";
    for (const auto& [nome, metodo] : metodi) {
        SCOPED_TRACE(nome);
        EXPECT_NO_THROW(metodo(std::string(32767, 'a')));
        EXPECT_NO_THROW(metodo(lunga2byte));
        vq::CancellaErrore();
        EXPECT_EQ(prova::NumeroErrore([&] { metodo(std::string(32768, 'a')); }), 6);
        EXPECT_EQ(vq::Err().numero, 6);
        // A character beyond U+FFFF counts twice, as a surrogate pair.
        EXPECT_THROW(metodo(emoji), vq::Errore);
    }
    vq::CancellaErrore();
}

TEST(Percorsi, CreaPercorsoDirectory) {
    prova::Cartella tmp;
    const auto prima = fs::current_path();
    fs::current_path(tmp.str());
    fs::create_directory("A");
    prova::ScriviFile("file", "dati");
    vq::CancellaErrore();
    struct Caso {
        std::string percorso;
        bool esito;
        std::string dopo;  // the caller's text afterwards
    };
    const std::string lungo = tmp / ("uno/due/" + std::string(300, 'n') + "/tre");
    const Caso casi[] = {
        {tmp / "A/B/C", true, tmp / "A/B/C/"},  // missing levels made top down
        {tmp / "A/B", true, tmp / "A/B/"},      // already there: only the separator added
        {"rel/due", true, "rel/due/"},          // relative to the current folder
        {"", false, ""},
        {"   ", false, "   "},
        {tmp / "file/Z", false, tmp / "file/Z/"},  // a file stands where a level should go
        {lungo, false, lungo + "/"},               // a name too long; the levels before it stay
    };
    for (const auto& c : casi) {
        std::string path = c.percorso;
        EXPECT_EQ(vqUtilita::CreaPercorsoDirectory(path), c.esito) << c.percorso;
        EXPECT_EQ(path, c.dopo) << c.percorso;
        if (c.esito) {
            EXPECT_TRUE(fs::is_directory(path)) << c.percorso;
        }
    }
    fs::current_path(prima);
    EXPECT_TRUE(fs::is_directory(tmp / "rel/due"));
    EXPECT_EQ(prova::LeggiFile(tmp / "file"), "dati");
    EXPECT_TRUE(fs::is_directory(tmp / "uno/due"));
    EXPECT_EQ(vq::Err().numero, 0);  // the method's own handler swallowed the failures
}

TEST(Percorsi, CurDirAppMovesToTheProgramsFolder) {
    const auto prima = fs::current_path();
    prova::Cartella tmp;
    fs::current_path(tmp.str());
    vqUtilita::CurDirApp();
    const auto dopo = fs::current_path();
    fs::current_path(prima);
    EXPECT_EQ(dopo, fs::canonical("/proc/self/exe").parent_path());
}

TEST(Percorsi, SystemFoldersEndInTheSeparator) {
    EXPECT_EQ(vqUtilita::CartellaWindows(), "/");
    const std::string sys = vqUtilita::GetWindowsSysDir();
    ASSERT_FALSE(sys.empty());
    EXPECT_EQ(sys.back(), '/');
    EXPECT_TRUE(fs::is_directory(sys));
}

TEST(Percorsi, GetDirectoryTempFollowsTmpdir) {
    prova::Cartella tmp;
    const std::pair<std::optional<std::string>, std::string> casi[] = {
        {tmp.str(), tmp.str() + "/"},
        {std::nullopt, "/tmp/"},
        // unusable: missing, relative, empty
        {tmp / "non-esiste", "/tmp/"},
        {"relativa", "/tmp/"},
        {"", "/tmp/"},
    };
    for (const auto& [valore, attesa] : casi) {
        prova::Ambiente a("TMPDIR", valore);
        EXPECT_EQ(vqUtilita::GetDirectoryTemp(), attesa) << valore.value_or("(assente)");
    }
}

TEST(Percorsi, GetFileTemporaneoCreatesNewEmptyFiles) {
    prova::Cartella tmp;
    prova::Ambiente a("TMPDIR", tmp.str());
    const std::string uno = vqUtilita::GetFileTemporaneo();
    const std::string due = vqUtilita::GetFileTemporaneo();
    EXPECT_NE(uno, due);
    const std::regex forma(tmp.str() + "/vq[0-9A-F]{1,4}\\.tmp");
    for (const auto& f : {uno, due}) {
        EXPECT_TRUE(std::regex_match(f, forma)) << f;
        EXPECT_TRUE(fs::is_regular_file(f)) << f;
        EXPECT_EQ(fs::file_size(f), 0u) << f;
    }
}

// Existing files are never reused: with one name in 64 already taken (each with
// content), 600 new names (about nine landing on a taken one) are all fresh and distinct,
// and nothing old changed.
TEST(Percorsi, GetFileTemporaneoNeverClobbers) {
    prova::Cartella tmp;
    prova::Ambiente a("TMPDIR", tmp.str());
    std::set<std::string> occupati;
    for (unsigned n = 1; n <= 0xFFFF; n += 64) {
        char nome[16];
        std::snprintf(nome, sizeof nome, "vq%X.tmp", n);
        prova::ScriviFile(tmp / nome, "x");
        occupati.insert(tmp / nome);
    }
    std::set<std::string> nuovi;
    for (int i = 0; i < 600; ++i) {
        const std::string f = vqUtilita::GetFileTemporaneo();
        EXPECT_EQ(occupati.count(f), 0u) << f;
        EXPECT_TRUE(nuovi.insert(f).second) << f;
    }
    for (const auto& f : occupati) ASSERT_EQ(fs::file_size(f), 1u) << f;
}

// A folder where nothing can be created gives error 322, not a name that was never made.
TEST(Percorsi, GetFileTemporaneoFailsWithError322) {
    prova::Ambiente a("TMPDIR", "/proc");
    EXPECT_EQ(prova::NumeroErrore([] { vqUtilita::GetFileTemporaneo(); }), 322);
    vq::CancellaErrore();
}

}  // namespace
