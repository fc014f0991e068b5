// vqUtilita: the standard folders of the user and of all users.
//
// Each folder method is keyed by the name under which the folder has always been
// registered ("Personal", "Common Startup", ...); on this desktop the name maps to the
// XDG folder that serves the same purpose: the user directories of user-dirs.dirs
// (documents, desktop, pictures, public share), the XDG data, config and cache homes,
// the autostart and applications folders. A name with no counterpart here gives the
// empty text.
#include <util/vqUtilita.h>

#include "interno.h"

#include <vq/errore.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <pwd.h>
#include <sstream>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace vq::utilita {

namespace {

std::string Ambiente(const char* nome) {
    const char* v = std::getenv(nome);
    return v != nullptr ? std::string(v) : std::string();
}

// Only absolute paths count in the XDG variables; anything else is ignored.
std::optional<std::string> AmbienteAssoluto(const char* nome) {
    std::string v = Ambiente(nome);
    if (v.empty() || v.front() != '/') return std::nullopt;
    return v;
}

std::string PrimoDiLista(const char* nome, const char* predefinito) {
    std::string lista = Ambiente(nome);
    std::istringstream in(lista);
    for (std::string voce; std::getline(in, voce, ':');)
        if (!voce.empty() && voce.front() == '/') return voce;
    return predefinito;
}

std::string Unisci(std::string cartella, std::string_view nome) {
    if (cartella.empty()) return {};
    if (cartella.back() != '/') cartella += '/';
    cartella += nome;
    return cartella;
}

// The home folder ($HOME when absolute, else the password database's entry) and the XDG
// base folders (absolute environment values, else below the home folder).
std::string CartellaHome() {
    if (auto home = AmbienteAssoluto("HOME")) return *home;
    std::vector<char> buf(16384);
    passwd pw{};
    passwd* res = nullptr;
    if (::getpwuid_r(::getuid(), &pw, buf.data(), buf.size(), &res) == 0 && res != nullptr &&
        res->pw_dir != nullptr && res->pw_dir[0] == '/')
        return res->pw_dir;
    return {};
}

std::string XdgConfigHome() {
    if (auto v = AmbienteAssoluto("XDG_CONFIG_HOME")) return *v;
    return Unisci(CartellaHome(), ".config");
}

std::string XdgDataHome() {
    if (auto v = AmbienteAssoluto("XDG_DATA_HOME")) return *v;
    return Unisci(CartellaHome(), ".local/share");
}

std::string XdgCacheHome() {
    if (auto v = AmbienteAssoluto("XDG_CACHE_HOME")) return *v;
    return Unisci(CartellaHome(), ".cache");
}

}  // namespace

std::optional<std::string> ValoreUserDirs(std::string_view contenuto, std::string_view nome,
                                          const std::string& home) {
    // Lines of the form   XDG_<NAME>_DIR="$HOME/<path>"   or   XDG_<NAME>_DIR="/<path>",
    // with backslash escapes inside the quotes; a later line overrides an earlier one, as
    // when the file is sourced by a shell. Anything else on a line makes it ignored.
    const std::string chiave = "XDG_" + std::string(nome) + "_DIR";
    std::optional<std::string> trovato;
    std::size_t inizio = 0;
    while (inizio < contenuto.size()) {
        auto fine = contenuto.find('\n', inizio);
        if (fine == std::string_view::npos) fine = contenuto.size();
        std::string_view riga = contenuto.substr(inizio, fine - inizio);
        inizio = fine + 1;

        auto salta = [&riga] {
            while (!riga.empty() && (riga.front() == ' ' || riga.front() == '\t'))
                riga.remove_prefix(1);
        };
        salta();
        if (riga.substr(0, chiave.size()) != chiave) continue;
        riga.remove_prefix(chiave.size());
        salta();
        if (riga.empty() || riga.front() != '=') continue;
        riga.remove_prefix(1);
        salta();
        if (riga.empty() || riga.front() != '"') continue;
        riga.remove_prefix(1);

        std::string valore;
        if (riga.substr(0, 5) == "$HOME") {
            riga.remove_prefix(5);
            if (riga.empty() || (riga.front() != '/' && riga.front() != '"')) continue;
            if (home.empty()) continue;
            valore = home;
        } else if (riga.empty() || riga.front() != '/') {
            continue;
        }
        bool chiuso = false;
        for (std::size_t i = 0; i < riga.size(); ++i) {
            if (riga[i] == '\\' && i + 1 < riga.size()) {
                valore += riga[++i];
            } else if (riga[i] == '"') {
                chiuso = true;
                break;
            } else {
                valore += riga[i];
            }
        }
        if (!chiuso) continue;
        while (valore.size() > 1 && valore.back() == '/') valore.pop_back();
        trovato = valore;
    }
    return trovato;
}

namespace {

// A user directory as xdg-user-dir gives it: the value configured in
// $XDG_CONFIG_HOME/user-dirs.dirs, else (when `ripiego` is set) that fallback below the
// home folder ("" = the home folder itself).
std::string CartellaUtente(std::string_view nome, std::optional<std::string_view> ripiego) {
    const std::string home = CartellaHome();
    const std::string file = Unisci(XdgConfigHome(), "user-dirs.dirs");
    if (!file.empty()) {
        std::ifstream in(file, std::ios::binary);
        if (in) {
            std::ostringstream contenuto;
            contenuto << in.rdbuf();
            if (auto v = ValoreUserDirs(contenuto.str(), nome, home)) return *v;
        }
    }
    if (!ripiego || home.empty()) return {};
    return ripiego->empty() ? home : Unisci(home, *ripiego);
}

// The folder that stands on this platform for a registered folder value name, without
// the final "/" (the empty text when there is none).
std::string CartellaDiSistema(bool tuttiUtenti, std::string_view nomeValore) {
    if (!tuttiUtenti) {
        if (nomeValore == "Personal") return CartellaUtente("DOCUMENTS", "");
        if (nomeValore == "Desktop") return CartellaUtente("DESKTOP", "Desktop");
        if (nomeValore == "My Pictures") return CartellaUtente("PICTURES", "");
        if (nomeValore == "AppData") return XdgDataHome();
        if (nomeValore == "Startup") return Unisci(XdgConfigHome(), "autostart");
        if (nomeValore == "Start Menu" || nomeValore == "Programs")
            return Unisci(XdgDataHome(), "applications");
        if (nomeValore == "Fonts") return Unisci(XdgDataHome(), "fonts");
        if (nomeValore == "Cache") return XdgCacheHome();
        return {};  // SendTo, Recent, NetHood, History, Favorites, Cookies
    }
    if (nomeValore == "Common AppData") return PrimoDiLista("XDG_DATA_DIRS", "/usr/local/share");
    if (nomeValore == "Common Startup")
        return Unisci(PrimoDiLista("XDG_CONFIG_DIRS", "/etc/xdg"), "autostart");
    if (nomeValore == "Common Start Menu" || nomeValore == "Common Programs")
        return Unisci(PrimoDiLista("XDG_DATA_DIRS", "/usr/local/share"), "applications");
    if (nomeValore == "Common Documents") return CartellaUtente("PUBLICSHARE", std::nullopt);
    return {};  // CommonFilesDir, Common Desktop, Common Favorites, Common Pictures
}

}  // namespace
}  // namespace vq::utilita

namespace {

std::string Cartella(bool tuttiUtenti, std::string_view nomeValore) {
    try {
        std::string c = vq::utilita::CartellaDiSistema(tuttiUtenti, nomeValore);
        if (c.empty()) return {};
        return vqUtilita::AggiungiSepDir(c);
    } catch (...) {
        vq::CancellaErrore();
        return {};
    }
}

constexpr bool kUtente = false;
constexpr bool kTutti = true;

}  // namespace

std::string vqUtilita::CartellaDocumenti() { return Cartella(kUtente, "Personal"); }
std::string vqUtilita::CartellaDati() { return Cartella(kUtente, "AppData"); }
std::string vqUtilita::CartellaDatiCondivisi() { return Cartella(kTutti, "Common AppData"); }
std::string vqUtilita::CartellaCondivisi() { return Cartella(kTutti, "CommonFilesDir"); }
std::string vqUtilita::CartellaDesktop() { return Cartella(kUtente, "Desktop"); }
std::string vqUtilita::CartellaDesktopTuttiUtenti() { return Cartella(kTutti, "Common Desktop"); }
std::string vqUtilita::CartellaEsecuzioneAutomatica() { return Cartella(kUtente, "Startup"); }
std::string vqUtilita::CartellaEsecuzioneAutomaticaTuttiUtenti() {
    return Cartella(kTutti, "Common Startup");
}
std::string vqUtilita::CartellaPreferitiTuttiUtenti() {
    return Cartella(kTutti, "Common Favorites");
}
std::string vqUtilita::CartellaMenuAvvio() { return Cartella(kUtente, "Start Menu"); }
std::string vqUtilita::CartellaMenuAvvioTuttiUtenti() {
    return Cartella(kTutti, "Common Start Menu");
}
std::string vqUtilita::CartellaSendTo() { return Cartella(kUtente, "SendTo"); }
std::string vqUtilita::CartellaRecenti() { return Cartella(kUtente, "Recent"); }
std::string vqUtilita::CartellaMenuProgrammi() { return Cartella(kUtente, "Programs"); }
std::string vqUtilita::CartellaMenuProgrammiTuttiUtenti() {
    return Cartella(kTutti, "Common Programs");
}
std::string vqUtilita::CartellaDocumentiCondivisi() { return Cartella(kTutti, "Common Documents"); }
std::string vqUtilita::CartellaRisorseRete() { return Cartella(kUtente, "NetHood"); }
std::string vqUtilita::CartellaImmagini() { return Cartella(kUtente, "My Pictures"); }
std::string vqUtilita::CartellaImmaginiTuttiUtenti() { return Cartella(kTutti, "Common Pictures"); }
std::string vqUtilita::CartellaCronologia() { return Cartella(kUtente, "History"); }
std::string vqUtilita::CartellaFonts() { return Cartella(kUtente, "Fonts"); }
std::string vqUtilita::CartellaPreferiti() { return Cartella(kUtente, "Favorites"); }
std::string vqUtilita::CartellaCookies() { return Cartella(kUtente, "Cookies"); }
std::string vqUtilita::CartellaInternetTemp() { return Cartella(kUtente, "Cache"); }
