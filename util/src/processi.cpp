#include "processi.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/close_range.h>
#include <spawn.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace vq::utilita {

namespace {

bool Eseguibile(const std::string& percorso) {
    struct stat st {};
    return ::stat(percorso.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::access(percorso.c_str(), X_OK) == 0;
}

std::vector<char*> Argomenti(const std::vector<std::string>& argv) {
    std::vector<char*> v;
    v.reserve(argv.size() + 1);
    for (const auto& a : argv) v.push_back(const_cast<char*>(a.c_str()));
    v.push_back(nullptr);
    return v;
}

pid_t AttendiFine(pid_t pid, int& stato) {
    pid_t r;
    do {
        r = ::waitpid(pid, &stato, 0);
    } while (r < 0 && errno == EINTR);
    return r;
}

}  // namespace

std::optional<std::string> CercaProgramma(const std::string& programma) {
    if (programma.empty()) return std::nullopt;
    if (programma.find('/') != std::string::npos) {
        if (Eseguibile(programma)) return programma;
        return std::nullopt;
    }
    const char* path = std::getenv("PATH");
    const std::string cartelle = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    std::size_t inizio = 0;
    for (;;) {
        const std::size_t fine = cartelle.find(':', inizio);
        const std::string_view cartella = std::string_view(cartelle).substr(
            inizio, fine == std::string::npos ? std::string::npos : fine - inizio);
        std::string candidato(cartella.empty() ? std::string_view(".") : cartella);
        candidato += '/';
        candidato += programma;
        if (Eseguibile(candidato)) return candidato;
        if (fine == std::string::npos) break;
        inizio = fine + 1;
    }
    return std::nullopt;
}

int AvviaStaccato(const std::vector<std::string>& argv, const std::string& cartella) {
    if (argv.empty()) return EINVAL;
    // Everything the children need is prepared before fork.
    std::vector<char*> args = Argomenti(argv);
    const char* dir = cartella.empty() ? nullptr : cartella.c_str();
    int tubo[2];
    if (::pipe2(tubo, O_CLOEXEC) != 0) return errno;
    const pid_t figlio = ::fork();
    if (figlio < 0) {
        const int e = errno;
        ::close(tubo[0]);
        ::close(tubo[1]);
        return e;
    }
    if (figlio == 0) {
        ::close(tubo[0]);
        ::setsid();
        const pid_t nipote = ::fork();
        if (nipote < 0) {
            const int e = errno;
            (void)!::write(tubo[1], &e, sizeof e);
            ::_exit(1);
        }
        if (nipote == 0) {
            // The started program gets none of our open files (a lock held through an
            // inherited descriptor would outlive us in it); the error pipe is already
            // close-on-exec.
            (void)::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
            if (dir != nullptr && ::chdir(dir) != 0) {
                const int e = errno;
                (void)!::write(tubo[1], &e, sizeof e);
                ::_exit(127);
            }
            ::execve(args[0], args.data(), environ);
            const int e = errno;
            (void)!::write(tubo[1], &e, sizeof e);
            ::_exit(127);
        }
        ::_exit(0);
    }
    ::close(tubo[1]);
    int stato = 0;
    AttendiFine(figlio, stato);
    // The pipe closes on a successful exec (close-on-exec) or carries the errno.
    int errore = 0;
    ssize_t letti;
    do {
        letti = ::read(tubo[0], &errore, sizeof errore);
    } while (letti < 0 && errno == EINTR);
    ::close(tubo[0]);
    if (letti == static_cast<ssize_t>(sizeof errore)) return errore != 0 ? errore : EIO;
    return 0;
}

int EseguiCattura(const std::vector<std::string>& argv, std::string& uscita) {
    uscita.clear();
    if (argv.empty()) return -1;
    std::vector<char*> args = Argomenti(argv);
    int tubo[2];
    if (::pipe2(tubo, O_CLOEXEC) != 0) return -1;
    posix_spawn_file_actions_t azioni;
    ::posix_spawn_file_actions_init(&azioni);
    ::posix_spawn_file_actions_adddup2(&azioni, tubo[1], STDOUT_FILENO);
    ::posix_spawn_file_actions_addopen(&azioni, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_addopen(&azioni, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int r = ::posix_spawnp(&pid, args[0], &azioni, nullptr, args.data(), environ);
    ::posix_spawn_file_actions_destroy(&azioni);
    ::close(tubo[1]);
    if (r != 0) {
        ::close(tubo[0]);
        return -1;
    }
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(tubo[0], buf, sizeof buf);
        if (n > 0) {
            uscita.append(buf, static_cast<std::size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    ::close(tubo[0]);
    int stato = 0;
    if (AttendiFine(pid, stato) < 0 || !WIFEXITED(stato)) return -1;
    return WEXITSTATUS(stato);
}

std::vector<std::string> DividiRigaComando(const std::string& riga) {
    std::vector<std::string> parole;
    std::string parola;
    bool inParola = false;
    std::size_t i = 0;
    const std::size_t n = riga.size();
    while (i < n) {
        const char c = riga[i];
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            if (inParola) parole.push_back(std::move(parola));
            parola.clear();
            inParola = false;
            ++i;
        } else if (c == '\'') {
            inParola = true;
            const std::size_t fine = riga.find('\'', i + 1);
            const std::size_t stop = fine == std::string::npos ? n : fine;
            for (std::size_t k = i + 1; k < stop; ++k) parola += riga[k];
            i = fine == std::string::npos ? n : fine + 1;
        } else if (c == '"') {
            inParola = true;
            ++i;
            while (i < n && riga[i] != '"') {
                if (riga[i] == '\\' && i + 1 < n) {
                    const char s = riga[i + 1];
                    if (s == '\n') {
                        i += 2;
                        continue;
                    }
                    if (s == '\\' || s == '"' || s == '$' || s == '`') {
                        parola += s;
                        i += 2;
                        continue;
                    }
                }
                parola += riga[i++];
            }
            if (i < n) ++i;  // the closing quote
        } else if (c == '\\') {
            if (i + 1 < n) {
                if (riga[i + 1] != '\n') {
                    parola += riga[i + 1];
                    inParola = true;
                }
                i += 2;
            } else {
                parola += c;
                inParola = true;
                ++i;
            }
        } else {
            parola += c;
            inParola = true;
            ++i;
        }
    }
    if (inParola) parole.push_back(std::move(parola));
    return parole;
}

}  // namespace vq::utilita
