// vqUtilita: starting documents, addresses and programs; waiting.
#include <util/vqUtilita.h>

#include <util/apertura.h>
#include <util/finestre.h>

#include "interno.h"
#include "processi.h"
#include "registro.h"

#include <shell/messagebox.h>
#include <vq/errore.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <exception>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char** environ;

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
        } catch (...) {}
        vq::CancellaErrore();
        return false;
    }
}

void vqUtilita::Sleep(std::int32_t millisecondi) {
    if (millisecondi <= 0) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(millisecondi));
}

void vqUtilita::GoWeb(std::intptr_t /*hWnd*/, const std::string& indirizzoWeb) {
    (void)vq::apertura::Servizio()->Apri(indirizzoWeb, kCartellaLavoro);
}

void vqUtilita::Homepage(std::intptr_t hWnd) { GoWeb(hWnd, kHomepage); }

void vqUtilita::EMail(std::intptr_t hWnd) { GoWeb(hWnd, std::string("Mailto:") + kEMail); }

bool vqUtilita::StartApplicazione(const std::string& applicazione) {
    bool avviato = false;
    try {
        std::string comando;
        if (vq::utilita::LeggiValoreRegistro(
                HKEY_LOCAL_MACHINE, vq::utilita::kChiaveAppPaths + applicazione, "", comando) &&
            !comando.empty()) {
            // The value names the program, possibly in quotes; a value that is no file
            // as it stands is read as a command line.
            std::vector<std::string> argv;
            std::string programma = comando;
            if (programma.size() >= 2 && programma.front() == '"' && programma.back() == '"')
                programma = programma.substr(1, programma.size() - 2);
            if (vq::utilita::CercaProgramma(programma) &&
                programma.find('/') != std::string::npos) {
                argv = {programma};
            } else {
                argv = vq::utilita::DividiRigaComando(comando);
            }
            if (!argv.empty()) {
                if (const auto percorso = vq::utilita::CercaProgramma(argv[0])) {
                    argv[0] = *percorso;
                    avviato = vq::utilita::AvviaStaccato(argv, {}) == 0;
                }
            }
        }
    } catch (...) {
        vq::ImpostaErroreDa(std::current_exception());
        avviato = false;
    }
    if (!avviato)
        MostraErrore(applicazione + ": Applicazione non trovata.",
                     shell::MB_OK | shell::MB_ICONEXCLAMATION);
    return avviato;
}

bool vqUtilita::ShellSospensiva(const std::string& ToRun,
                                const std::optional<std::string>& COMMANDLINE) {
    std::string programma = ToRun;
    if (programma.size() >= 2 && programma.front() == '"' && programma.back() == '"')
        programma = programma.substr(1, programma.size() - 2);
    if (programma.empty()) return false;
    std::vector<std::string> argv{programma};
    if (COMMANDLINE) {
        for (auto& a : vq::utilita::DividiRigaComando(*COMMANDLINE)) argv.push_back(std::move(a));
    }
    std::vector<char*> args;
    for (auto& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    pid_t pid = 0;
    // posix_spawnp reports a program that cannot be run (exec failure included).
    if (::posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) return false;
    int stato = 0;
    while (::waitpid(pid, &stato, 0) < 0 && errno == EINTR) {}
    return true;
}

void vqUtilita::WaitSecondi(std::int16_t sec) {
    using namespace std::chrono;
    const auto fine = steady_clock::now() + seconds(sec);
    const auto sistema = vq::finestre::Servizio();
    for (;;) {
        sistema->ElaboraEventi();
        const auto adesso = steady_clock::now();
        if (adesso >= fine) break;
        std::this_thread::sleep_for(
            std::min<steady_clock::duration>(fine - adesso, milliseconds(10)));
    }
}
