#include "figlio.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "jet/errori.h"
#include "sqlite_jet.h"
#include "vq/file.h"

extern char** environ;

namespace jet {
namespace {

void Marcatore() {}

constexpr auto kTempoBase = std::chrono::seconds(8);

// The errors a child may report: anything else is taken as damage.
bool NumeroAmmesso(long n) {
    static constexpr long kAmmessi[] = {kErrFileNonTrovato, kErrPassword, kErrFormato,
                                        kErrDanneggiato,    kErrPermesso, kErrTabella,
                                        vq::kErrMemoria};
    for (long a : kAmmessi)
        if (a == n) return true;
    return false;
}

std::vector<std::string> Ambiente(std::uint64_t memoriaMb) {
    std::vector<std::string> env;
    std::string asan;
    for (char** e = environ; e && *e; ++e) {
        if (std::strncmp(*e, "ASAN_OPTIONS=", 13) == 0) asan = *e + 13;
        else if (std::strncmp(*e, "VQJET_GENITORE=", 15) != 0) env.emplace_back(*e);
    }
    // The loader ends itself when this process is gone before it could ask to die with it.
    env.push_back("VQJET_GENITORE=" + std::to_string(getpid()));
    // Only the sanitizer builds read this: their memory limit, and no leak report
    // (libmdb keeps its allocations until exit).
    if (!asan.empty()) asan += ':';
    asan +=
        "detect_leaks=0:allocator_may_return_null=0:hard_rss_limit_mb=" + std::to_string(memoriaMb);
    env.push_back("ASAN_OPTIONS=" + asan);
    return env;
}

// The loader beside this library (found through the library's own path).
std::string PercorsoCaricatore() {
    Dl_info info{};
    std::string dir = ".";
    if (dladdr(reinterpret_cast<void*>(&Marcatore), &info) && info.dli_fname) {
        char buf[PATH_MAX];
        std::string lib = realpath(info.dli_fname, buf) ? buf : info.dli_fname;
        auto pos = lib.rfind('/');
        if (pos != std::string::npos) dir = lib.substr(0, pos);
    }
    return dir + "/vqjetload";
}

}  // namespace

std::chrono::milliseconds TempoPer(const std::string& file, std::chrono::milliseconds massimo) {
    struct stat st {};
    if (stat(file.c_str(), &st) != 0) return massimo;
    // A sound file loads at well over 20 MB/s; a damaged one that makes libmdb loop is
    // stopped after this, not after the caller's whole allowance.
    const auto tempo =
        kTempoBase + std::chrono::seconds(static_cast<std::uint64_t>(st.st_size) / (4u << 20));
    return std::min<std::chrono::milliseconds>(massimo, tempo);
}

EsitoCaricamento EseguiCaricatore(const std::string& file, int immagine,
                                  const std::vector<std::string>& tabelle,
                                  const Limiti& limitiDati) {
    const std::string programma = PercorsoCaricatore();
    if (access(programma.c_str(), X_OK) != 0)
        vq::Solleva(vq::kErrFileNonTrovato,
                    "Impossibile trovare il programma di lettura '" + programma + "'.");

    Limiti limiti = limitiDati;
    limiti.tempo = TempoPer(file, limiti.tempo);
    const auto secondi = std::chrono::ceil<std::chrono::seconds>(limiti.tempo).count();
    std::vector<std::string> argomenti = {programma, std::to_string(limiti.memoriaMb),
                                          std::to_string(std::max<long long>(1, secondi)), file,
                                          PercorsoDescrittore(kFdImmagine)};
    argomenti.insert(argomenti.end(), tabelle.begin(), tabelle.end());
    std::vector<char*> argv;
    for (auto& a : argomenti) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> ambiente = Ambiente(limiti.memoriaMb);
    std::vector<char*> envp;
    for (auto& e : ambiente) envp.push_back(e.data());
    envp.push_back(nullptr);

    int po[2];
    int pe[2];
    if (pipe2(po, O_CLOEXEC) != 0) vq::Solleva(vq::kErrMemoria);
    vq::Descrittore outR{po[0]}, outW{po[1]};
    if (pipe2(pe, O_CLOEXEC) != 0) vq::Solleva(vq::kErrMemoria);
    vq::Descrittore errR{pe[0]}, errW{pe[1]};

    posix_spawn_file_actions_t azioni;
    posix_spawn_file_actions_init(&azioni);
    posix_spawn_file_actions_addopen(&azioni, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&azioni, outW.get(), 1);
    posix_spawn_file_actions_adddup2(&azioni, errW.get(), 2);
    posix_spawn_file_actions_adddup2(&azioni, immagine, kFdImmagine);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, programma.c_str(), &azioni, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&azioni);
    if (rc != 0)
        vq::Solleva(vq::kErrFileNonTrovato, "Impossibile avviare il programma di lettura '" +
                                                programma + "': " + std::strerror(rc));
    outW.Chiudi();
    errW.Chiudi();

    using Orologio = std::chrono::steady_clock;
    const auto scadenza = Orologio::now() + limiti.tempo;
    std::string uscitaFiglio;
    std::string errori;  // kept for a debugger, never printed
    bool scaduto = false;
    bool troppo = false;
    while (outR.get() >= 0 || errR.get() >= 0) {
        auto resto =
            std::chrono::duration_cast<std::chrono::milliseconds>(scadenza - Orologio::now())
                .count();
        if (resto <= 0) {
            scaduto = true;
            break;
        }
        pollfd p[2];
        nfds_t n = 0;
        if (outR.get() >= 0) p[n++] = {outR.get(), POLLIN, 0};
        if (errR.get() >= 0) p[n++] = {errR.get(), POLLIN, 0};
        int r = poll(p, n, static_cast<int>(std::min<long long>(resto, 1000)));
        if (r < 0 && errno != EINTR) break;
        for (nfds_t k = 0; k < n; ++k) {
            if (!(p[k].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            char buf[65536];
            ssize_t letti = read(p[k].fd, buf, sizeof buf);
            vq::Descrittore& quale = p[k].fd == outR.get() ? outR : errR;
            std::string& dove = p[k].fd == outR.get() ? uscitaFiglio : errori;
            if (letti <= 0) {
                if (letti < 0 && errno == EINTR) continue;
                quale.Chiudi();
            } else if (dove.size() < (16u << 20)) {
                dove.append(buf, static_cast<std::size_t>(letti));
            } else if (&dove == &uscitaFiglio) {
                troppo = true;
            }
        }
        if (troppo) break;
    }
    int stato = 0;
    if (scaduto || troppo) {
        kill(pid, SIGKILL);
        while (waitpid(pid, &stato, 0) < 0 && errno == EINTR) {}
    } else {
        // The pipes are closed: the child is ending; give it the rest of the time.
        for (;;) {
            pid_t w = waitpid(pid, &stato, WNOHANG);
            if (w == pid || (w < 0 && errno != EINTR)) break;
            if (Orologio::now() >= scadenza) {
                scaduto = true;
                kill(pid, SIGKILL);
                while (waitpid(pid, &stato, 0) < 0 && errno == EINTR) {}
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }

    EsitoCaricamento esito;
    bool ok = false;
    std::size_t i = 0;
    while (i < uscitaFiglio.size()) {
        std::size_t f = uscitaFiglio.find('\n', i);
        if (f == std::string::npos) break;  // a cut last line is not an answer
        std::string riga = uscitaFiglio.substr(i, f - i);
        i = f + 1;
        if (riga.rfind("CATALOGO\t", 0) == 0) {
            esito.catalogo.push_back(riga.substr(9));
        } else if (riga.rfind("TABELLA\t", 0) == 0) {
            esito.tabelle.push_back(riga.substr(8));
        } else if (riga == "OK") {
            ok = true;
        } else if (riga.rfind("ERRORE\t", 0) == 0) {
            std::size_t t = riga.find('\t', 7);
            long numero = std::strtol(riga.c_str() + 7, nullptr, 10);
            std::string descrizione = t == std::string::npos ? std::string() : riga.substr(t + 1);
            if (!scaduto && NumeroAmmesso(numero) && !descrizione.empty())
                vq::Solleva(static_cast<std::int32_t>(numero), descrizione);
        }
    }
    if (scaduto) ErroreDanneggiato(file, "la lettura ha superato il tempo massimo");
    if (troppo) ErroreDanneggiato(file, "la lettura ha prodotto una risposta troppo lunga");
    if (WIFSIGNALED(stato)) {
        int s = WTERMSIG(stato);
        if (s == SIGXCPU) ErroreDanneggiato(file, "la lettura ha superato il tempo massimo");
        ErroreDanneggiato(file, "la lettura si è interrotta (segnale " + std::to_string(s) + ")");
    }
    if (!WIFEXITED(stato) || WEXITSTATUS(stato) != 0 || !ok)
        ErroreDanneggiato(file, "la lettura non è terminata correttamente");
    if (esito.tabelle.empty() != tabelle.empty())
        ErroreDanneggiato(file, "tabelle mancanti nella lettura");
    return esito;
}

}  // namespace jet
