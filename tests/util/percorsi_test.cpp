// Paths and folders of vqUtilita.
#include "aiuto_test.h"

#include <util/vqUtilita.h>
#include <vq/errore.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <cstdio>
#include <functional>
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

TEST(Percorsi, EstraiPathUsesOnlyTheNativeSeparator) {
    const CasoTesto casi[] = {
        {"/home/dati/a.xml", "/home/dati/"},
        {"dati/a.xml", "dati/"},
        {"a.xml", ""},
        {"/a.xml", ""},  // a separator in first place does not count
        {"C:\\Dati\\a.xml", ""},
        {"/home/dati/", "/home/dati/"},
        {"", ""},
    };
    for (const auto& c : casi) EXPECT_EQ(vqUtilita::EstraiPath(c.ingresso), c.atteso) << c.ingresso;
}

TEST(Percorsi, EstraiEstensioneScansPastFolders) {
    const CasoTesto casi[] = {
        {"Esporta.xml", "xml"},
        {"/home/u/Esporta.2024.xml", "xml"},
        {"dati.", ""},     // a final dot
        {".xml", ""},      // a dot in first place does not count
        {"dati", ""},
        {"/home/Dir.old/file", "old/file"},  // a dot in a folder name counts
        {"", ""},
        {"a.\xc3\xa8", "\xc3\xa8"},  // the text after the dot, whatever its characters
    };
    for (const auto& c : casi) EXPECT_EQ(vqUtilita::EstraiEstensione(c.ingresso), c.atteso) << c.ingresso;
}

TEST(Percorsi, DeterminaSoloFileNameAcceptsBothSeparators) {
    const CasoTesto casi[] = {
        {"/home/dati/a.xml", "a.xml"},
        {"C:\\Dati\\a.xml", "a.xml"},
        {"C:/Dati/a.xml", "a.xml"},
        {"cartella\\sotto/file.txt", "file.txt"},
        {"file.txt", "file.txt"},
        {"/home/dati/", ""},
        {"C:\\", ""},
        {"", ""},
    };
    for (const auto& c : casi) EXPECT_EQ(vqUtilita::DeterminaSoloFileName(c.ingresso), c.atteso) << c.ingresso;
}

TEST(Percorsi, StripTerminatorCutsAtTheFirstNul) {
    using namespace std::string_literals;
    const CasoTesto casi[] = {
        {"abc\0def\0"s, "abc"},
        {"\0abc"s, ""},
        {"abc", "abc"},
        {"", ""},
    };
    for (const auto& c : casi) EXPECT_EQ(vqUtilita::StripTerminator(c.ingresso), c.atteso);
}

// The character-scanning methods hold lengths in 16-bit counters: 32767 characters are
// fine, one more is error 6. Characters, not bytes: 32767 two-byte characters still fit.
TEST(Percorsi, ScanningMethodsOverflowBeyond32767Characters) {
    const std::pair<const char*, std::function<void(const std::string&)>> metodi[] = {
        {"EstraiPath", [](const std::string& s) { vqUtilita::EstraiPath(s); }},
        {"EstraiEstensione", [](const std::string& s) { vqUtilita::EstraiEstensione(s); }},
        {"DeterminaSoloFileName", [](const std::string& s) { vqUtilita::DeterminaSoloFileName(s); }},
        {"EspuraSpazi", [](const std::string& s) { vqUtilita::EspuraSpazi(s); }},
        {"vqSplit", [](const std::string& s) { std::vector<std::string> v; vqUtilita::vqSplit(v, s, ";"); }},
    };
    std::string lunga2byte;
    for (int i = 0; i < 32767; ++i) lunga2byte += "\xc3\xa8";
    for (const auto& [nome, metodo] : metodi) {
        SCOPED_TRACE(nome);
        EXPECT_NO_THROW(metodo(std::string(32767, 'a')));
        EXPECT_NO_THROW(metodo(lunga2byte));
        vq::CancellaErrore();
        try {
            metodo(std::string(32768, 'a'));
            ADD_FAILURE() << "no overflow";
        } catch (const vq::Errore& e) {
            EXPECT_EQ(e.numero(), 6);
            EXPECT_EQ(vq::Err().numero, 6);
        }
        // A character beyond U+FFFF counts twice, as a surrogate pair.
        std::string emoji;
        for (int i = 0; i < 16384; ++i) emoji += "\xf0\x9f\x98\x80";
        EXPECT_THROW(metodo(emoji), vq::Errore);
    }
    vq::CancellaErrore();
}

TEST(Percorsi, CreaPercorsoDirectoryCreatesMissingLevelsTopDown) {
    prova::CartellaTemp tmp;
    fs::create_directory(tmp / "A");
    std::string path = tmp / "A/B/C";
    EXPECT_TRUE(vqUtilita::CreaPercorsoDirectory(path));
    EXPECT_EQ(path, tmp / "A/B/C/");
    EXPECT_TRUE(fs::is_directory(tmp / "A/B/C"));

    // Already there: true, and only the separator is added.
    std::string ancora = tmp / "A/B";
    EXPECT_TRUE(vqUtilita::CreaPercorsoDirectory(ancora));
    EXPECT_EQ(ancora, tmp / "A/B/");
}

TEST(Percorsi, CreaPercorsoDirectoryFailures) {
    prova::CartellaTemp tmp;
    vq::CancellaErrore();
    for (const char* vuoto : {"", "   "}) {
        std::string path = vuoto;
        EXPECT_FALSE(vqUtilita::CreaPercorsoDirectory(path)) << '"' << vuoto << '"';
        EXPECT_EQ(path, vuoto);
    }
    // A file stands where a level should go, or a name is too long: false; the levels
    // made before the failing one stay.
    fs::create_directories(tmp / "X");
    prova::ScriviFile(tmp / "X/file", "dati");
    std::string path = tmp / "X/file/Z";
    EXPECT_FALSE(vqUtilita::CreaPercorsoDirectory(path));
    EXPECT_EQ(prova::LeggiFile(tmp / "X/file"), "dati");
    std::string lungo = tmp / ("uno/due/" + std::string(300, 'n') + "/tre");
    EXPECT_FALSE(vqUtilita::CreaPercorsoDirectory(lungo));
    EXPECT_TRUE(fs::is_directory(tmp / "uno/due"));
    EXPECT_EQ(vq::Err().numero, 0);  // the method's own handler swallowed the failure
}

TEST(Percorsi, CreaPercorsoDirectoryRelativeToCurrentFolder) {
    prova::CartellaTemp tmp;
    const auto prima = fs::current_path();
    fs::current_path(tmp.str());
    std::string path = "uno/due";
    const bool ok = vqUtilita::CreaPercorsoDirectory(path);
    fs::current_path(prima);
    EXPECT_TRUE(ok);
    EXPECT_EQ(path, "uno/due/");
    EXPECT_TRUE(fs::is_directory(tmp / "uno/due"));
}

TEST(Percorsi, CurDirAppMovesToTheProgramsFolder) {
    const auto prima = fs::current_path();
    prova::CartellaTemp tmp;
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
    prova::CartellaTemp tmp;
    {
        prova::Ambiente a("TMPDIR", tmp.str());
        EXPECT_EQ(vqUtilita::GetDirectoryTemp(), tmp.str() + "/");
    }
    {
        prova::Ambiente a("TMPDIR", std::nullopt);
        EXPECT_EQ(vqUtilita::GetDirectoryTemp(), "/tmp/");
    }
    for (const std::string& inadatta : {tmp / "non-esiste", std::string("relativa"), std::string("")}) {
        prova::Ambiente a("TMPDIR", inadatta);
        EXPECT_EQ(vqUtilita::GetDirectoryTemp(), "/tmp/") << inadatta;
    }
}

TEST(Percorsi, GetFileTemporaneoCreatesNewEmptyFiles) {
    prova::CartellaTemp tmp;
    prova::Ambiente a("TMPDIR", tmp.str());
    const std::string uno = vqUtilita::GetFileTemporaneo();
    const std::string due = vqUtilita::GetFileTemporaneo();
    EXPECT_NE(uno, due);
    // <temp>/vq<1 to 4 upper-case hex digits>.tmp
    auto forma = [&](const std::string& f) {
        const std::string inizio = tmp.str() + "/vq", fine = ".tmp";
        if (f.size() < inizio.size() + fine.size() + 1 || f.size() > inizio.size() + fine.size() + 4) return false;
        if (f.compare(0, inizio.size(), inizio) != 0 || f.compare(f.size() - fine.size(), fine.size(), fine) != 0)
            return false;
        const std::string hex = f.substr(inizio.size(), f.size() - inizio.size() - fine.size());
        return hex.find_first_not_of("0123456789ABCDEF") == std::string::npos;
    };
    for (const auto& f : {uno, due}) {
        EXPECT_TRUE(forma(f)) << f;
        EXPECT_TRUE(fs::is_regular_file(f)) << f;
        EXPECT_EQ(fs::file_size(f), 0u) << f;
    }
}

// Existing files are never reused: with one name in sixteen already taken (each with
// content), 300 new names are all fresh, distinct and empty, and nothing old changed.
TEST(Percorsi, GetFileTemporaneoNeverClobbers) {
    prova::CartellaTemp tmp;
    prova::Ambiente a("TMPDIR", tmp.str());
    std::set<std::string> occupati;
    for (unsigned n = 1; n <= 0xFFFF; n += 16) {
        char nome[16];
        std::snprintf(nome, sizeof nome, "vq%X.tmp", n);
        prova::ScriviFile(tmp / nome, "x");
        occupati.insert(tmp / nome);
    }
    std::set<std::string> nuovi;
    for (int i = 0; i < 300; ++i) {
        const std::string f = vqUtilita::GetFileTemporaneo();
        EXPECT_EQ(occupati.count(f), 0u) << f;
        EXPECT_TRUE(nuovi.insert(f).second) << f;
    }
    for (const auto& f : occupati) ASSERT_EQ(fs::file_size(f), 1u) << f;
}

// A folder where nothing can be created gives error 322, not a name that was never made.
TEST(Percorsi, GetFileTemporaneoFailsWithError322) {
    prova::Ambiente a("TMPDIR", "/proc");
    try {
        const std::string f = vqUtilita::GetFileTemporaneo();
        ADD_FAILURE() << "a name was handed out: " << f;
    } catch (const vq::Errore& e) {
        EXPECT_EQ(e.numero(), 322);
    }
    vq::CancellaErrore();
}

}  // namespace
