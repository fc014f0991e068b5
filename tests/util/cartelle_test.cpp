// The standard folders of vqUtilita on the XDG desktop.
#include "file_prova.h"

#include <util/vqUtilita.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

namespace {

using Metodo = std::string (*)();

// A home folder, an XDG config folder and no other XDG variable.
class Cartelle : public ::testing::Test {
protected:
    prova::Cartella tmp;
    std::string home = tmp / "casa";
    std::string config = tmp / "config";
    prova::Ambiente h{"HOME", home};
    prova::Ambiente c{"XDG_CONFIG_HOME", config};
    prova::Ambiente d{"XDG_DATA_HOME", std::nullopt};
    prova::Ambiente k{"XDG_CACHE_HOME", std::nullopt};
    prova::Ambiente dd{"XDG_DATA_DIRS", std::nullopt};
    prova::Ambiente cd{"XDG_CONFIG_DIRS", std::nullopt};

    void UserDirs(const std::string& contenuto) {
        std::filesystem::create_directories(config);
        prova::ScriviFile(config + "/user-dirs.dirs", contenuto);
    }
};

TEST_F(Cartelle, UserDirectoriesFromUserDirsFileOrFallbacks) {
    EXPECT_EQ(vqUtilita::CartellaDocumenti(), home + "/");
    EXPECT_EQ(vqUtilita::CartellaImmagini(), home + "/");
    EXPECT_EQ(vqUtilita::CartellaDesktop(), home + "/Desktop/");
    EXPECT_EQ(vqUtilita::CartellaDocumentiCondivisi(), "");  // never the user's own home
    UserDirs(
        "# This file is written by xdg-user-dirs-update\n"
        "XDG_DESKTOP_DIR=\"$HOME/Scrivania\"\n"
        "XDG_DOCUMENTS_DIR=\"$HOME/Documenti\"\n"
        "XDG_PICTURES_DIR=\"/srv/foto/\"\n"
        "XDG_PUBLICSHARE_DIR=\"$HOME/Pubblici\"\n");
    EXPECT_EQ(vqUtilita::CartellaDocumenti(), home + "/Documenti/");
    EXPECT_EQ(vqUtilita::CartellaDesktop(), home + "/Scrivania/");
    EXPECT_EQ(vqUtilita::CartellaImmagini(), "/srv/foto/");
    EXPECT_EQ(vqUtilita::CartellaDocumentiCondivisi(), home + "/Pubblici/");
}

TEST_F(Cartelle, UserDirsLinesParsedAsTheShellWould) {
    struct Caso {
        std::string riga;
        std::string atteso;  // CartellaDocumenti; "" = the fallback, the home folder
    };
    const Caso casi[] = {
        {"XDG_DOCUMENTS_DIR=\"$HOME/Doc \\\"uno\\\"\"", "/Doc \"uno\"/"},  // escaped quotes
        {"  XDG_DOCUMENTS_DIR = \"$HOME/Spazi\"", "/Spazi/"},              // blanks around =
        {"XDG_DOCUMENTS_DIR=\"$HOME\"", "/"},                              // the home itself
        {"XDG_DOCUMENTS_DIR=\"$HOMEX/a\"", ""},                            // not $HOME
        {"XDG_DOCUMENTS_DIR=\"relativa/a\"", ""},      // neither $HOME nor absolute
        {"XDG_DOCUMENTS_DIR=\"$HOME/senza fine", ""},  // no closing quote
        {"XDG_DOCUMENTS_DIR=$HOME/Doc", ""},           // no quotes
        {"#XDG_DOCUMENTS_DIR=\"$HOME/Commento\"", ""},
        {"XDG_DOCUMENTS_DIR=\"$HOME/Prima\"\nXDG_DOCUMENTS_DIR=\"$HOME/Dopo\"", "/Dopo/"},
        {"XDG_DOCUMENTS_DIR=\"$HOME/Buona\"\nXDG_DOCUMENTS_DIR=\"rotta\"", "/Buona/"},
        {"XDG_DOCUMENTS_DIRX=\"$HOME/No\"", ""},
    };
    for (const auto& caso : casi) {
        UserDirs(caso.riga + "\n");
        EXPECT_EQ(vqUtilita::CartellaDocumenti(), home + (caso.atteso.empty() ? "/" : caso.atteso))
            << caso.riga;
    }
}

TEST_F(Cartelle, BaseDirectoriesAndTheirDefaults) {
    const std::pair<Metodo, std::string> predefiniti[] = {
        {vqUtilita::CartellaDati, home + "/.local/share/"},
        {vqUtilita::CartellaInternetTemp, home + "/.cache/"},
        {vqUtilita::CartellaEsecuzioneAutomatica, config + "/autostart/"},
        {vqUtilita::CartellaMenuAvvio, home + "/.local/share/applications/"},
        {vqUtilita::CartellaMenuProgrammi, home + "/.local/share/applications/"},
        {vqUtilita::CartellaFonts, home + "/.local/share/fonts/"},
        {vqUtilita::CartellaDatiCondivisi, "/usr/local/share/"},
        {vqUtilita::CartellaEsecuzioneAutomaticaTuttiUtenti, "/etc/xdg/autostart/"},
        {vqUtilita::CartellaMenuAvvioTuttiUtenti, "/usr/local/share/applications/"},
        {vqUtilita::CartellaMenuProgrammiTuttiUtenti, "/usr/local/share/applications/"},
    };
    for (std::size_t i = 0; i < std::size(predefiniti); ++i)
        EXPECT_EQ(predefiniti[i].first(), predefiniti[i].second) << "row " << i;

    prova::Ambiente d2("XDG_DATA_HOME", "/dati/utente");
    prova::Ambiente k2("XDG_CACHE_HOME", "relativa");  // not absolute: ignored
    prova::Ambiente dd2("XDG_DATA_DIRS", "relativa:/opt/share/:/usr/share");
    prova::Ambiente cd2("XDG_CONFIG_DIRS", "/opt/xdg");
    EXPECT_EQ(vqUtilita::CartellaDati(), "/dati/utente/");
    EXPECT_EQ(vqUtilita::CartellaFonts(), "/dati/utente/fonts/");
    EXPECT_EQ(vqUtilita::CartellaInternetTemp(), home + "/.cache/");
    EXPECT_EQ(vqUtilita::CartellaDatiCondivisi(), "/opt/share/");
    EXPECT_EQ(vqUtilita::CartellaMenuProgrammiTuttiUtenti(), "/opt/share/applications/");
    EXPECT_EQ(vqUtilita::CartellaEsecuzioneAutomaticaTuttiUtenti(), "/opt/xdg/autostart/");
}

TEST_F(Cartelle, FoldersWithoutCounterpartAreEmpty) {
    UserDirs("XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n");
    const Metodo vuoti[] = {
        vqUtilita::CartellaCondivisi,
        vqUtilita::CartellaDesktopTuttiUtenti,
        vqUtilita::CartellaPreferitiTuttiUtenti,
        vqUtilita::CartellaSendTo,
        vqUtilita::CartellaRecenti,
        vqUtilita::CartellaRisorseRete,
        vqUtilita::CartellaImmaginiTuttiUtenti,
        vqUtilita::CartellaCronologia,
        vqUtilita::CartellaPreferiti,
        vqUtilita::CartellaCookies,
    };
    for (std::size_t i = 0; i < std::size(vuoti); ++i) EXPECT_EQ(vuoti[i](), "") << "row " << i;
}

TEST_F(Cartelle, UnsetHomeFallsBackToThePasswordEntry) {
    prova::Ambiente senza("HOME", std::nullopt);
    const std::string doc = vqUtilita::CartellaDocumenti();
    ASSERT_FALSE(doc.empty());
    EXPECT_EQ(doc.front(), '/');
    EXPECT_EQ(doc.back(), '/');
}

}  // namespace
