// vqUtilita: registry and installation services: registering components, shared-file
// counters, servers of component classes, uninstall entries, associations and shortcuts.
#include <util/vqUtilita.h>

#include "interno.h"
#include "processi.h"
#include "registro.h"

#include <vq/errore.h>
#include <vq/file.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* kChiaveCondivisi = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
constexpr const char* kChiaveDisinstallazione =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

enum class TipoServer { Nessuno, Libreria, Programma };

TipoServer TipoDi(const std::string& file) {
    if (file.size() < 5) return TipoServer::Nessuno;
    // The extension compared without regard to case.
    const std::string quattro =
        vq::utilita::PiegaCaso(std::string_view(file).substr(file.size() - 4));
    if (quattro == ".ocx" || quattro == ".dll" || quattro.substr(1) == ".so")
        return TipoServer::Libreria;
    if (quattro == ".exe") return TipoServer::Programma;
    return TipoServer::Nessuno;
}

// Load a library, call its entry point `nome` (no arguments; its result is not looked
// at) and unload it. False when the library cannot be loaded or has no such entry.
bool ChiamaIngresso(const std::string& file, const char* nome) {
    void* lib = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (lib == nullptr) return false;
    void* simbolo = ::dlsym(lib, nome);
    if (simbolo == nullptr) {
        ::dlclose(lib);
        return false;
    }
    using Ingresso = std::int32_t (*)();
    try {
        (void)reinterpret_cast<Ingresso>(simbolo)();
    } catch (...) {}
    ::dlclose(lib);
    return true;
}

const char* NomeValoreDisinstallazione(std::int16_t subchiave) {
    switch (subchiave) {
        case 0: return "ApplicationName";
        case 1: return "DisplayName";
        case 2: return "UninstallString";
        case 3: return "AppToUninstall";
        default: return "";
    }
}

// A program path as one argument of a desktop entry's Exec key: in double quotes with
// " ` $ \ escaped, "%" doubled, then the key's own escape of "\".
std::string ArgomentoExec(const std::string& percorso) {
    std::string citato = "\"";
    for (const char c : percorso) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') citato += '\\';
        if (c == '%') citato += '%';
        citato += c;
    }
    citato += '"';
    std::string r;
    for (const char c : citato) {
        if (c == '\\') r += '\\';
        r += c;
    }
    return r;
}

// A text value of a desktop entry: line ends and "\" escaped.
std::string ValoreDesktop(const std::string& testo) {
    std::string r;
    for (const char c : testo) {
        if (c == '\\') r += "\\\\";
        else if (c == '\n') r += "\\n";
        else if (c == '\r') r += "\\r";
        else if (c == '\t') r += "\\t";
        else r += c;
    }
    return r;
}

// Write a whole file atomically with mode `modo`; false on any failure.
bool ScriviFileAtomico(const std::string& destinazione, const std::string& testo, mode_t modo) {
    const std::string percorso = vq::SeguiCollegamento(destinazione);
    const auto barra = percorso.rfind('/');
    const std::string cartella =
        barra == std::string::npos ? std::string() : percorso.substr(0, barra + 1);
    vq::SostituzioneAtomica sost(percorso, cartella + ".vq-", ".tmp", modo);
    if (sost.esito() != 0) return false;
    std::size_t scritti = 0;
    while (scritti < testo.size()) {
        const ssize_t n = ::write(sost.fd(), testo.data() + scritti, testo.size() - scritti);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        scritti += static_cast<std::size_t>(n);
    }
    return sost.Conferma() == 0;
}

// The user's data folder ($XDG_DATA_HOME, else ~/.local/share) with its final "/"; the
// empty text without a home folder.
std::string CartellaDatiUtente() {
    if (const char* x = std::getenv("XDG_DATA_HOME"); x != nullptr && *x == '/')
        return std::string(x) + "/";
    if (const char* h = std::getenv("HOME"); h != nullptr && *h == '/')
        return std::string(h) + "/.local/share/";
    return {};
}

// The desktop side of an association: a MIME type for "*<ext>" and a desktop entry that
// opens such files with `file`, made the type's default through xdg-mime when present.
// Best effort: the registry store holds the association either way.
void AssociazioneDesktop(const std::string& file, const std::string& ext) {
    if (ext.size() < 2 || ext[0] != '.') return;
    for (std::size_t i = 1; i < ext.size(); ++i) {
        const auto c = static_cast<unsigned char>(ext[i]);
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '-' || c == '_'))
            return;  // not a name a MIME type or a file name can carry as it is
    }
    const std::string nome = vq::utilita::PiegaCaso(std::string_view(ext).substr(1));
    const std::string dati = CartellaDatiUtente();
    if (dati.empty()) return;
    const std::string tipo = "application/x-vq-" + nome;
    const std::string voce = "vq-" + nome + ".desktop";
    std::string cartelle[] = {dati + "mime/packages/", dati + "applications/"};
    for (auto& c : cartelle) {
        if (!vqUtilita::CreaPercorsoDirectory(c)) return;
    }
    const std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
        "  <mime-type type=\"" +
        tipo +
        "\">\n"
        "    <glob pattern=\"*." +
        nome +
        "\"/>\n"
        "  </mime-type>\n"
        "</mime-info>\n";
    if (!ScriviFileAtomico(cartelle[0] + "vq-" + nome + ".xml", xml, 0644)) return;
    const std::string desktop = "[Desktop Entry]\nType=Application\nName=" +
                                ValoreDesktop(vqUtilita::DeterminaSoloFileName(file)) +
                                "\nExec=" + ArgomentoExec(file) + " %f\nMimeType=" + tipo +
                                ";\nNoDisplay=true\nTerminal=false\n";
    if (!ScriviFileAtomico(cartelle[1] + voce, desktop, 0644)) return;
    std::string uscita;
    if (vq::utilita::CercaProgramma("update-mime-database"))
        (void)vq::utilita::EseguiCattura({"update-mime-database", dati + "mime"}, uscita);
    if (vq::utilita::CercaProgramma("xdg-mime"))
        (void)vq::utilita::EseguiCattura({"xdg-mime", "default", voce, tipo}, uscita);
}

}  // namespace

// ---- Components ---------------------------------------------------------------------

bool vqUtilita::RegistraServer(const std::string& file) {
    switch (TipoDi(file)) {
        case TipoServer::Libreria: return RegistraDll(file);
        case TipoServer::Programma: return RegistraExe(file);
        case TipoServer::Nessuno: break;
    }
    return false;
}

bool vqUtilita::DeRegistraServer(const std::string& file) {
    switch (TipoDi(file)) {
        case TipoServer::Libreria: return DeRegistraDll(file);
        case TipoServer::Programma: return DeRegistraExe(file);
        case TipoServer::Nessuno: break;
    }
    return false;
}

bool vqUtilita::RegistraDll(const std::string& file) {
    return ChiamaIngresso(file, "DllRegisterServer");
}

bool vqUtilita::DeRegistraDll(const std::string& file) {
    return ChiamaIngresso(file, "DllUnregisterServer");
}

bool vqUtilita::RegistraExe(const std::string& file) {
    return ShellSospensiva(file, std::string("/REGSERVER"));
}

bool vqUtilita::DeRegistraExe(const std::string& file) {
    return ShellSospensiva(file, std::string("/UNREGSERVER"));
}

// ---- Shared-file counters -------------------------------------------------------------

std::string vqUtilita::LeggiContatoreCondiviso(const std::string& pathfile) {
    try {
        std::string valore;
        if (vq::utilita::LeggiValoreRegistro(HKEY_LOCAL_MACHINE, kChiaveCondivisi, pathfile,
                                             valore) &&
            !valore.empty())
            return valore;
    } catch (...) {}
    return "-1";
}

bool vqUtilita::ScriviContatoreCondiviso(const std::string& pathfile, std::int32_t n) {
    try {
        return ScriviNumeroRegistro(HKEY_LOCAL_MACHINE, kChiaveCondivisi, pathfile, n);
    } catch (...) {
        return false;
    }
}

bool vqUtilita::EliminaContatoreCondiviso(const std::string& pathfile) {
    vq::ChiaveAperta chiave;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kChiaveCondivisi, 0, KEY_ALL_ACCESS, chiave.put()) !=
        ERROR_SUCCESS)
        return false;
    return ::RegDeleteValueA(chiave.get(), pathfile.c_str()) == ERROR_SUCCESS;
}

bool vqUtilita::ScriviNumeroRegistro(HKEY radice, const std::string& subkey,
                                     const std::string& nome, std::int32_t n) {
    vq::ChiaveAperta chiave;
    if (::RegOpenKeyExA(radice, subkey.c_str(), 0, KEY_ALL_ACCESS, chiave.put()) != ERROR_SUCCESS)
        return false;
    const auto valore = static_cast<DWORD>(n);
    BYTE dati[4] = {static_cast<BYTE>(valore & 0xFFu), static_cast<BYTE>((valore >> 8) & 0xFFu),
                    static_cast<BYTE>((valore >> 16) & 0xFFu),
                    static_cast<BYTE>((valore >> 24) & 0xFFu)};
    return ::RegSetValueExA(chiave.get(), nome.c_str(), 0, REG_DWORD, dati, 4) == ERROR_SUCCESS;
}

namespace {

// The counter read as a number, rounded to a signed 32-bit integer as the text would be
// (-1 when it is missing).
std::int32_t NumeroContatore(const std::string& testo) {
    char* fine = nullptr;
    const double d = std::strtod(testo.c_str(), &fine);
    if (fine == testo.c_str() || !std::isfinite(d)) return -1;
    const double r = std::nearbyint(d);
    if (r < -2147483648.0 || r > 2147483647.0) vq::Solleva(vq::kErrOverflow);
    return static_cast<std::int32_t>(r);
}

}  // namespace

bool vqUtilita::SetFileShared(const std::string& pathfile, bool EsisteGia) {
    try {
        // No counter yet (-1): a file that was already there gets 1, a new one 0.
        std::int32_t n = NumeroContatore(LeggiContatoreCondiviso(pathfile));
        if (EsisteGia && n == -1) n = 0;
        if (n == INT32_MAX) return false;
        return ScriviContatoreCondiviso(pathfile, n + 1);
    } catch (...) {
        return false;
    }
}

bool vqUtilita::DecFileShared(const std::string& pathfile) {
    try {
        const std::int32_t n = NumeroContatore(LeggiContatoreCondiviso(pathfile));
        if (n < 1) return EliminaContatoreCondiviso(pathfile);
        return ScriviContatoreCondiviso(pathfile, n - 1);
    } catch (...) {
        return false;
    }
}

// ---- Servers of component classes, uninstall entries -----------------------------------

namespace {

std::string PathServer(const std::string& applicazione, const char* tipo) {
    try {
        std::string clsid;
        if (!vq::utilita::LeggiValoreRegistro(HKEY_CLASSES_ROOT, applicazione + "\\Clsid", "",
                                              clsid) ||
            clsid.empty())
            return {};
        std::string percorso;
        if (!vq::utilita::LeggiValoreRegistro(HKEY_CLASSES_ROOT, "Clsid\\" + clsid + "\\" + tipo,
                                              "", percorso))
            return {};
        return percorso;
    } catch (...) {
        return {};
    }
}

}  // namespace

std::string vqUtilita::PathServerOcx(const std::string& applicazione) {
    return PathServer(applicazione, "InprocServer32");
}

std::string vqUtilita::PathServerExe(const std::string& applicazione) {
    return PathServer(applicazione, "LocalServer32");
}

bool vqUtilita::ScriviTestoRegistro(HKEY radice, const std::string& subkey, const std::string& nome,
                                    const std::string& testo, bool crea) {
    try {
        vq::ChiaveAperta chiave;
        const LONG r =
            crea ? ::RegCreateKeyExA(radice, subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                     KEY_ALL_ACCESS, nullptr, chiave.put(), nullptr)
                 : ::RegOpenKeyExA(radice, subkey.c_str(), 0, KEY_ALL_ACCESS, chiave.put());
        if (r != ERROR_SUCCESS) return false;
        return ::RegSetValueExA(chiave.get(), nome.c_str(), 0, REG_SZ,
                                reinterpret_cast<const BYTE*>(testo.c_str()),
                                static_cast<DWORD>(testo.size() + 1)) == ERROR_SUCCESS;
    } catch (...) {
        return false;
    }
}

std::string vqUtilita::GetInfoDisinstallazione(const std::string& chiave, std::int16_t subchiave) {
    std::string valore;
    if (!vq::utilita::LeggiValoreRegistro(HKEY_LOCAL_MACHINE, kChiaveDisinstallazione + chiave,
                                          NomeValoreDisinstallazione(subchiave), valore))
        return {};
    return valore;
}

bool vqUtilita::SetInfoDisinstallazione(const std::string& chiave, std::int16_t subchiave,
                                        const std::string& valore, bool crea) {
    return ScriviTestoRegistro(HKEY_LOCAL_MACHINE, kChiaveDisinstallazione + chiave,
                               NomeValoreDisinstallazione(subchiave), valore, crea);
}

// ---- Associations and shortcuts ---------------------------------------------------------

bool vqUtilita::CreaAssociazione(const std::string& file, const std::string& ext) {
    try {
        if (!ScriviTestoRegistro(HKEY_CLASSES_ROOT, ext, "", "", true)) return false;
        // Both quoted, so that a program or a document with blanks in its path works.
        if (!ScriviTestoRegistro(HKEY_CLASSES_ROOT, ext + "\\Shell\\Open\\Command", "",
                                 "\"" + file + "\" \"%1\"", true))
            return false;
        (void)ScriviTestoRegistro(HKEY_CLASSES_ROOT, ext + "\\DefaultIcon", "", file + ",0", true);
        AssociazioneDesktop(file, ext);
        return true;
    } catch (...) {
        return false;
    }
}

bool vqUtilita::CreaCollegamento(const std::string& lnk_pathname, const std::string& file,
                                 const std::string& dir_lavoro) {
    try {
        if (lnk_pathname.empty() || file.empty()) return false;
        std::string nome = DeterminaSoloFileName(lnk_pathname);
        const auto punto = nome.rfind('.');
        if (punto != std::string::npos && punto > 0) nome.resize(punto);
        struct stat st {};
        const bool programma = ::stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
                               ::access(file.c_str(), X_OK) == 0;
        std::string testo = "[Desktop Entry]\nVersion=1.0\nName=" + ValoreDesktop(nome) + "\n";
        if (programma) {
            testo += "Type=Application\nExec=" + ArgomentoExec(file) + "\n";
            if (!dir_lavoro.empty()) testo += "Path=" + ValoreDesktop(dir_lavoro) + "\n";
            testo += "Terminal=false\n";
        } else {
            // A document or a folder: the entry opens it with its handler.
            std::string url = "file://";
            for (const char c : file) {
                const auto b = static_cast<unsigned char>(c);
                if ((b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') ||
                    std::string_view("/-._~").find(c) != std::string_view::npos) {
                    url += c;
                } else {
                    char hex[4];
                    std::snprintf(hex, sizeof hex, "%%%02X", b);
                    url += hex;
                }
            }
            testo += "Type=Link\nURL=" + url + "\n";
        }
        testo += "Icon=" + ValoreDesktop(file) + "\n";
        // Executable, as desktops want of an entry they are to trust.
        return ScriviFileAtomico(lnk_pathname, testo, 0755);
    } catch (...) {
        return false;
    }
}
