// vqUtilita: starting documents, addresses and programs; waiting.
#include <util/vqUtilita.h>

#include <util/apertura.h>

#include "interno.h"
#include "processi.h"

#include <shell/messagebox.h>
#include <vq/errore.h>

#include <chrono>
#include <exception>
#include <string>
#include <thread>

namespace {

// The working folder of everything the shell starts: the root of the file system, where
// the drive root of the program's folder used to be.
constexpr const char* kCartellaLavoro = "/";

void MostraErrore(const std::string& testo, std::uint32_t stile) {
    shell::Mostra(testo, "Errore", stile);
}

}  // namespace

bool vqUtilita::EseguiEx(std::intptr_t /*hWnd*/, const std::string& file, bool muto) {
    try {
        const auto esito = vq::apertura::Servizio()->Apri(file, kCartellaLavoro);
        if (esito == vq::apertura::Esito::Avviato) return true;
        std::string messaggio = file;
        switch (esito) {
            case vq::apertura::Esito::FileNonTrovato: messaggio += ": file non trovato!"; break;
            case vq::apertura::Esito::NessunProgramma:
                messaggio += ": nessun programma associato a questo tipo di file!";
                break;
            default: messaggio += ": accesso negato!"; break;
        }
        if (!muto) MostraErrore(messaggio, shell::MB_OK | shell::MB_ICONSTOP);
        return false;
    } catch (...) {
        const std::string messaggio = vq::ImpostaErroreDa(std::current_exception()).descrizione;
        try {
            if (!muto) MostraErrore(messaggio, shell::MB_OK | shell::MB_ICONSTOP);
        } catch (...) {
        }
        vq::CancellaErrore();
        return false;
    }
}

void vqUtilita::Sleep(std::int32_t millisecondi) {
    if (millisecondi <= 0) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(millisecondi));
}
