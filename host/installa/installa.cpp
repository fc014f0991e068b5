#include "installa.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <string_view>

#include "mirtesahost/mirtesahost.h"
#include "ole/ole.hpp"
#include "vq/ascii.h"
#include "vq/errore.h"
#include "vq/file.h"
#include "win/registry.h"

namespace mirtesahost {

namespace fs = std::filesystem;

namespace {

constexpr std::int32_t kErrAccessoPercorso = 75;
constexpr std::int32_t kErrCaricamentoDll = 48;
constexpr std::int32_t kErrPuntoIngressoDll = 453;

[[noreturn]] void ErroreFile(int codice, const std::string& cosa, const fs::path& percorso) {
    const std::string contesto = cosa + " " + percorso.string();
    // A folder path that runs into a file is an access error for the installer, not a
    // missing path: the installer reports 75 for it.
    if (codice == ENOTDIR)
        vq::Solleva(kErrAccessoPercorso,
                    vq::DescrizioneRuntime(kErrAccessoPercorso) + ": " + contesto);
    vq::SollevaErrno(codice, contesto);
}

// The text survives the trip to UTF-16 and back (invalid sequences would not).
bool Utf8Valido(const std::string& s) { return ole::Utf16InUtf8(ole::Utf8InUtf16(s)) == s; }

void CreaCartella(const fs::path& cartella) {
    std::error_code ec;
    fs::create_directories(cartella, ec);
    if (ec) ErroreFile(ec.value(), "impossibile creare la cartella", cartella);
    if (!fs::is_directory(cartella, ec)) ErroreFile(ENOTDIR, "non è una cartella:", cartella);
}

// The host's file system ignores case: a file already there under another case is the
// same file, and keeps its name.
fs::path NelCasoPresente(const fs::path& cartella, std::string_view nome) {
    std::unique_ptr<DIR, int (*)(DIR*)> d(::opendir(cartella.c_str()), ::closedir);
    if (d) {
        while (const dirent* voce = ::readdir(d.get())) {
            const std::string_view n = voce->d_name;
            if (vq::UgualiSenzaMaiuscole(n, nome)) return cartella / std::string(n);
        }
    }
    return cartella / std::string(nome);
}

// Writes beside the destination, flushes, renames over it, flushes the folder.
void ScriviAtomico(const fs::path& destinazione, const unsigned char* byte, std::size_t dimensione,
                   mode_t modo) {
    // Created private; the final mode is set once the content is complete.
    vq::SostituzioneAtomica temporaneo(destinazione.string(), destinazione.string() + ".tmp-", {},
                                       0600);
    if (temporaneo.esito() != 0)
        ErroreFile(temporaneo.esito(), "impossibile creare il file temporaneo accanto a",
                   destinazione);
    const int fd = temporaneo.fd();
    if (const int e =
            vq::ScriviTutto(fd, std::string_view(reinterpret_cast<const char*>(byte), dimensione));
        e != 0)
        ErroreFile(e, "errore di scrittura su", destinazione);
    if (::fchmod(fd, modo) != 0)
        ErroreFile(errno, "impossibile impostare i permessi di", destinazione);
    if (const int codice = temporaneo.Conferma(); codice != 0)
        ErroreFile(
            codice,
            temporaneo.rinominaFallita() ? "impossibile sostituire" : "errore di scrittura su",
            destinazione);
}

void ScriviRegistro(const std::string& chiave, const char* nome, const std::string& valore) {
    vq::ChiaveAperta h;
    LONG e = RegCreateKeyExA(HKEY_CURRENT_USER, chiave.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                             KEY_WRITE, nullptr, h.put(), nullptr);
    if (e == ERROR_SUCCESS)
        e = RegSetValueExA(h.get(), nome, 0, REG_SZ, reinterpret_cast<const BYTE*>(valore.c_str()),
                           static_cast<DWORD>(valore.size() + 1));
    if (e != ERROR_SUCCESS)
        vq::Solleva(kErrMirtesaRegistroNonScrivibile,
                    "Impossibile scrivere nel registro (errore " + std::to_string(e) +
                        "): HKEY_CURRENT_USER\\" + chiave + ", valore \"" + nome + "\".");
}

// Loads the library and calls its DllRegisterServer, as regsvr32 does. The library stays
// loaded: objects created later in this process may come from it.
void RegistraComponente(const fs::path& libreria) {
    void* h = ::dlopen(libreria.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h) {
        const char* motivo = ::dlerror();
        vq::Solleva(kErrCaricamentoDll,
                    vq::DescrizioneRuntime(kErrCaricamentoDll) + ": " + libreria.string() +
                        (motivo ? std::string(" (") + motivo + ")" : std::string()));
    }
    using Registra = HRESULT (*)();
    auto registra = reinterpret_cast<Registra>(::dlsym(h, "DllRegisterServer"));
    if (!registra)
        vq::Solleva(
            kErrPuntoIngressoDll,
            "Impossibile trovare il punto di ingresso DllRegisterServer in " + libreria.string());
    const HRESULT hr = registra();
    if (FAILED(hr)) {
        const vq::Errore e = ole::ErroreDa(hr);
        vq::Solleva(e.numero(), "Registrazione di " + libreria.filename().string() +
                                    " non riuscita: " + e.descrizione());
    }
}

}  // namespace

EsitoInstallazione Installa(const OpzioniInstallazione& opzioni) {
    if (opzioni.cartella.empty())
        vq::Solleva(vq::kErrChiamataNonValida, "Manca la cartella dell'installazione.");
    if (opzioni.famiglia.operazioni < 0)
        vq::Solleva(vq::kErrChiamataNonValida, "Il numero di operazioni non può essere negativo.");

    std::error_code ec;
    const fs::path radice = fs::absolute(opzioni.cartella, ec).lexically_normal();
    if (ec) ErroreFile(ec.value(), "percorso non valido:", opzioni.cartella);
    // The folders travel as UTF-16 text through the component: a name that is not UTF-8
    // would come back as a different path.
    if (!Utf8Valido(radice.string()))
        vq::Solleva(vq::kErrChiamataNonValida,
                    "Il percorso della cartella dell'installazione non è un testo UTF-8 valido.");

    // Everything that can be checked before writing is checked first.
    std::vector<fs::path> librerie;
    for (const auto& nome : opzioni.componenti) {
        const fs::path l = opzioni.librerie / nome;
        if (!fs::exists(l, ec))
            vq::Solleva(vq::kErrFileNonTrovato,
                        vq::DescrizioneRuntime(vq::kErrFileNonTrovato) + ": " + l.string());
        librerie.push_back(l);
    }

    EsitoInstallazione esito;
    esito.programma = radice / "programma";
    esito.dati = radice / "dati";
    CreaCartella(esito.programma);
    CreaCartella(esito.dati);

    ScriviAtomico(NelCasoPresente(esito.programma, "Mirtesa.exe"), kMirtesaExe,
                  kMirtesaExeDimensione, 0755);

    jetwriter::OpzioniMirtesa modello = opzioni.famiglia;
    modello.operazioni = 0;
    jetwriter::ScriviDemoMirtesa(modello, NelCasoPresente(esito.programma, "mirtesa.dat"));

    esito.database = NelCasoPresente(esito.dati, "Mirtesa.mdb");
    esito.database_mantenuto = fs::exists(esito.database, ec) && !opzioni.sostituisci_dati;
    if (!esito.database_mantenuto) {
        jetwriter::ScriviDemoMirtesa(opzioni.famiglia, esito.database);
    }

    ScriviRegistro("Software\\Mirtesa\\Percorsi", "Programma", esito.programma.string());
    ScriviRegistro("Software\\Mirtesa\\Percorsi", "Dati", esito.dati.string());

    for (const auto& l : librerie) {
        RegistraComponente(l);
        esito.registrati.push_back(l);
    }
    return esito;
}

}  // namespace mirtesahost
