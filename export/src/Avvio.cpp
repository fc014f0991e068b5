#include "export/Avvio.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <mirtesahost/mirtesahost.h>
#include <tessadati/tessadati.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "export/Globale.h"
#include "export/ScritturaAtomica.h"
#include "export/Servizi.h"
#include "ole/ole.hpp"
#include "shell/messagebox.h"
#include "util/vqUtilita.h"
#include "vq/ascii.h"
#include "vq/errore.h"
#include "vq/file.h"
#include "win/registry.h"

namespace travasa {

namespace {

bool EsisteFile(const std::string& percorso) {
    struct stat st {};
    return ::stat(percorso.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// A host file in its folder, its name compared without regard to case as the host's
// file system does; several case variants and no exact name: error 53, naming them.
std::string FileHost(const std::string& percorso) {
    return vq::CercaSenzaMaiuscole(percorso, vq::kErrFileNonTrovato);
}

std::string TestoClsid(REFCLSID clsid) {
    OLECHAR testo[40];
    const int n = StringFromGUID2(clsid, testo, 40);
    return n > 0 ? ole::Utf16InUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(testo),
                                                        static_cast<std::size_t>(n - 1)))
                 : std::string();
}

std::string ChiediTesto(IMirtesaIntegrazione* host,
                        HRESULT (STDMETHODCALLTYPE IMirtesaIntegrazione::*metodo)(BSTR*)) {
    ole::Bstr risposta;
    ole::Verifica((host->*metodo)(risposta.put()));
    return risposta.utf8();
}

}  // namespace

IdentitaProgramma IdentitaCorrente() {
    IdentitaProgramma id;
    std::error_code ec;
    const auto eseguibile = std::filesystem::canonical("/proc/self/exe", ec);
    id.cartella = ec ? std::string() : eseguibile.parent_path().string();
    vqUtilita::AggiungiSepDir(id.cartella);
    return id;
}

std::string FileProgramma(const IdentitaProgramma& identita, const std::string& estensione) {
    std::string cartella = identita.cartella;
    return vqUtilita::AggiungiSepDir(cartella) + identita.nome + estensione;
}

ControlliAvvio::ControlliAvvio(IdentitaProgramma identita) : identita_(std::move(identita)) {}

void ControlliAvvio::RegistraComponenteSeAssente() const {
    try {
        vq::ChiaveAperta k;
        const std::string chiave =
            "CLSID\\" + TestoClsid(CLSID_ClsDatiMirtesa) + "\\InprocServer32";
        if (RegOpenKeyExA(HKEY_CLASSES_ROOT, chiave.c_str(), 0, KEY_READ, k.put()) ==
            ERROR_SUCCESS) {
            char percorso[4096];
            DWORD dimensione = sizeof percorso - 1;
            DWORD tipo = 0;
            if (RegQueryValueExA(k.get(), nullptr, nullptr, &tipo,
                                 reinterpret_cast<BYTE*>(percorso), &dimensione) == ERROR_SUCCESS &&
                (tipo == REG_SZ || tipo == REG_EXPAND_SZ)) {
                percorso[dimensione] = '\0';
                if (EsisteFile(vq::EspandiAmbiente(percorso))) return;
            }
        }
        const std::string libreria = FileProgramma({identita_.cartella, ""}, kLibreriaComponente);
        // Stays loaded: the load sequence creates its object from it.
        void* h = ::dlopen(libreria.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!h) return;
        if (auto registra = reinterpret_cast<HRESULT (*)()>(::dlsym(h, "DllRegisterServer")))
            registra();
    } catch (...) {}
    vq::CancellaErrore();
}

void ControlliAvvio::Esegui() {
    RegistraComponenteSeAssente();
    try {
        // The host's folders, from its integration component.
        auto host =
            ole::Crea<IMirtesaIntegrazione>(CLSID_MirtesaIntegrazione, IID_IMirtesaIntegrazione);
        PathDati = ChiediTesto(host.get(), &IMirtesaIntegrazione::PercorsoDati);
        PathProgramma = ChiediTesto(host.get(), &IMirtesaIntegrazione::PercorsoProgramma);
        PathDataBase = PathDati + kDataBaseHost;
        PathEseguibile = PathProgramma + kEseguibileHost;

        // The host's executable and its version.
        const std::string eseguibile = FileHost(PathEseguibile);
        const std::string versione = vqUtilita::GetVersione(eseguibile);
        if (versione == "0.0.0.0") {
            if (!EsisteFile(eseguibile))
                vq::Solleva(kErrEseguibileAssente, vq::InMaiuscoleAscii(PathEseguibile) +
                                                       ": non trovato. Reinstallare Mirtesa.");
            vq::Solleva(kErrEseguibileCorrotto,
                        vq::InMaiuscoleAscii(PathEseguibile) + ": corrotto. Reinstallare Mirtesa.");
        }
        if (vqUtilita::ConfrontaVersione(versione, kVersioneMinimaHost) == -1) {
            shell::Mostra(
                std::string(
                    "La versione di Mirtesa installata è una versione obsoleta. E' richiesta la "
                    "versione ") +
                    kVersioneMinimaHost + " o ver. successiva. ",
                "Errore", shell::MB_ICONSTOP | shell::MB_OK);
            TerminaProgramma(1);
        }
        // A missing database is made from the host's empty template.
        if (!EsisteFile(FileHost(PathDataBase))) {
            std::string cartella = PathDati;
            vqUtilita::CreaPercorsoDirectory(cartella);
            CopiaFileAtomica(FileHost(PathProgramma + kModelloDataBase), PathDataBase);
        }

        // 8-11: failures ignored.
        try {
            const std::string proprio = FileProgramma(identita_, "");
            ole::Bstr percorso(proprio), titolo(kTitoloProgramma), descrizione(kDescrizioneModulo);
            VARIANT_BOOL cambiato = VARIANT_FALSE;
            host->RegistraModulo(percorso.get(), titolo.get(), descrizione.get(), &cambiato);
        } catch (...) {}
        vq::CancellaErrore();
    } catch (const ProgrammaTerminato&) {
        throw;
    } catch (...) {
        vq::ImpostaErroreDa(std::current_exception());
        vqUtilita::PrintErrore();
        TerminaProgramma(1);
    }
}

}  // namespace travasa
