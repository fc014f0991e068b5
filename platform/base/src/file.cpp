#include "vq/file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <random>
#include <string_view>
#include <utility>
#include <vector>

#include "vq/ascii.h"

namespace vq {

std::int32_t NumeroDaErrno(int codice) noexcept {
    switch (codice) {
        case ENOENT:
        case ENOTDIR: return 76;
        case EACCES:
        case EPERM:
        case EROFS:
        case ETXTBSY: return 70;
        case ENOSPC:
        case EDQUOT:
        case EFBIG: return 61;
        case EMFILE:
        case ENFILE: return 67;
        case EIO: return 57;
        default: return 75;
    }
}

Errore ErroreDaErrno(int codice, const std::string& contesto) {
    const std::int32_t numero = NumeroDaErrno(codice);
    std::string descrizione = DescrizioneRuntime(numero);
    if (!contesto.empty()) descrizione += ": " + contesto;
    return Errore(numero, std::move(descrizione));
}

void SollevaErrno(int codice, const std::string& contesto) {
    Errore e = ErroreDaErrno(codice, contesto);
    Solleva(e.numero(), e.descrizione());
}

int ScriviTutto(int fd, std::string_view dati) noexcept {
    while (!dati.empty()) {
        const ssize_t n = ::write(fd, dati.data(), dati.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return ENOSPC;
        dati.remove_prefix(static_cast<std::size_t>(n));
    }
    return 0;
}

namespace {

std::string CartellaDi(const std::string& percorso) {
    const auto barra = percorso.rfind('/');
    if (barra == std::string::npos) return ".";
    return barra == 0 ? std::string("/") : percorso.substr(0, barra);
}

std::string NomeDi(const std::string& percorso) {
    const auto barra = percorso.rfind('/');
    return barra == std::string::npos ? percorso : percorso.substr(barra + 1);
}

constexpr std::size_t kCaratteriCasuali = 8;

bool CifraNome(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z'); }

// The process id in a temporary's name `<inizio><pid>-<8 letters or digits><fine>`; 0 when
// the name is not one of those.
pid_t PidDelTemporaneo(std::string_view nome, std::string_view inizio, std::string_view fine) {
    if (nome.size() < inizio.size() + fine.size() + 2 + kCaratteriCasuali) return 0;
    if (nome.substr(0, inizio.size()) != inizio || nome.substr(nome.size() - fine.size()) != fine)
        return 0;
    std::string_view centro = nome.substr(inizio.size(), nome.size() - inizio.size() - fine.size());
    const auto trattino = centro.find('-');
    if (trattino == 0 || trattino == std::string_view::npos || trattino > 9) return 0;
    if (centro.size() != trattino + 1 + kCaratteriCasuali) return 0;
    long pid = 0;
    for (const char c : centro.substr(0, trattino)) {
        if (c < '0' || c > '9') return 0;
        pid = pid * 10 + (c - '0');
    }
    for (const char c : centro.substr(trattino + 1))
        if (!CifraNome(c)) return 0;
    return static_cast<pid_t>(pid);
}

// Removes the temporaries of this kind whose writer is gone (killed half-way): another
// process's, no longer running. A live writer's, and this process's own, stay.
void RimuoviTemporaneiAbbandonati(const std::string& prefisso, const std::string& suffisso) {
    const std::string cartella = CartellaDi(prefisso);
    const std::string inizio = NomeDi(prefisso);
    DIR* d = ::opendir(cartella.c_str());
    if (d == nullptr) return;
    const pid_t io = ::getpid();
    while (const dirent* e = ::readdir(d)) {
        const pid_t pid = PidDelTemporaneo(e->d_name, inizio, suffisso);
        if (pid <= 0 || pid == io) continue;
        if (::kill(pid, 0) == 0 || errno != ESRCH) continue;
        struct stat st {};
        if (::fstatat(::dirfd(d), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
            continue;
        ::unlinkat(::dirfd(d), e->d_name, 0);
    }
    ::closedir(d);
}

// A file nobody can see by name, for content that will be copied over a target in place.
int FileAnonimo() {
    const char* t = std::getenv("TMPDIR");
    const std::string cartella = t != nullptr && t[0] == '/' ? t : "/tmp";
    int fd = ::open(cartella.c_str(), O_RDWR | O_TMPFILE | O_CLOEXEC, 0600);
    if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) return fd;
    std::string nome = cartella + "/vq-XXXXXX";
    fd = ::mkostemp(nome.data(), O_CLOEXEC);
    if (fd >= 0) ::unlink(nome.c_str());
    return fd;
}

int CopiaTutto(int da, int a) {
    if (::lseek(da, 0, SEEK_SET) != 0) return errno;
    char buf[65536];
    while (true) {
        const ssize_t letti = ::read(da, buf, sizeof buf);
        if (letti < 0 && errno == EINTR) continue;
        if (letti < 0) return errno;
        if (letti == 0) return 0;
        if (const int e = ScriviTutto(a, std::string_view(buf, static_cast<std::size_t>(letti)));
            e != 0)
            return e;
    }
}

}  // namespace

SostituzioneAtomica::SostituzioneAtomica(std::string destinazione, std::string prefisso,
                                         std::string suffisso, mode_t modo) noexcept
    : destinazione_(std::move(destinazione)) {
    // Only a file this user may write is replaced: the same test an open for writing
    // makes (with the effective ids), and never one marked read-only, which the rename
    // alone would not notice.
    struct stat esistente {};
    const bool esiste =
        ::stat(destinazione_.c_str(), &esistente) == 0 && S_ISREG(esistente.st_mode);
    if (esiste && (esistente.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        esito_ = EACCES;
        return;
    }
    if (esiste && ::faccessat(AT_FDCWD, destinazione_.c_str(), W_OK, AT_EACCESS) != 0) {
        esito_ = errno == EROFS ? EROFS : EACCES;
        return;
    }
    // A folder with the sticky bit (a shared /tmp) lets only the file's owner, the folder's
    // owner or root replace the file: anyone else who may write it writes it in place.
    struct stat cartella {};
    const bool rinominaVietata = esiste && ::geteuid() != 0 && esistente.st_uid != ::geteuid() &&
                                 ::stat(CartellaDi(destinazione_).c_str(), &cartella) == 0 &&
                                 (cartella.st_mode & S_ISVTX) != 0 &&
                                 cartella.st_uid != ::geteuid();
    if (rinominaVietata) esito_ = EACCES;
    else try {
            RimuoviTemporaneiAbbandonati(prefisso, suffisso);
            static thread_local std::mt19937_64 casuale{std::random_device{}()};
            static constexpr char kCifre[] = "0123456789abcdefghijklmnopqrstuvwxyz";
            const std::string inizio = prefisso + std::to_string(::getpid()) + "-";
            esito_ = EEXIST;
            for (int tentativo = 0; tentativo < 100; ++tentativo) {
                std::string nome(kCaratteriCasuali, '0');
                for (char& c : nome) c = kCifre[casuale() % 36];
                temporaneo_ = inizio + nome + suffisso;
                fd_ = ::open(temporaneo_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, modo);
                if (fd_ >= 0) {
                    esito_ = 0;
                    break;
                }
                esito_ = errno;
                if (esito_ != EEXIST) break;
            }
            if (esito_ != 0) temporaneo_.clear();
        } catch (...) {
            esito_ = ENOMEM;
            temporaneo_.clear();
            return;
        }
    if (esito_ == EACCES && esiste) {
        // A folder this user may not write (or not replace this file in), holding a file
        // this user may write: the new content is gathered aside and Conferma() writes it
        // over the file in place.
        Descrittore destinazioneAperta(
            ::open(destinazione_.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY));
        if (!destinazioneAperta.aperto()) return;
        const int anonimo = FileAnonimo();
        if (anonimo < 0) {
            esito_ = errno;
            return;
        }
        fd_ = anonimo;
        destinazioneFd_ = destinazioneAperta.rilascia();
        esito_ = 0;
        return;
    }
    if (esito_ != 0 || !esiste) return;
    // A replaced file keeps its owner and group where the system allows, then its
    // permission bits (an export made private stays private). Changing the owner would
    // clear the set-id bits, so the mode comes after.
    if (::fchown(fd_, esistente.st_uid, esistente.st_gid) != 0)
        static_cast<void>(::fchown(fd_, static_cast<uid_t>(-1), esistente.st_gid));
    static_cast<void>(::fchmod(fd_, esistente.st_mode & 07777));
}

SostituzioneAtomica::~SostituzioneAtomica() {
    if (fd_ >= 0) ::close(fd_);
    if (destinazioneFd_ >= 0) ::close(destinazioneFd_);
    if (!confermata_ && !temporaneo_.empty()) ::unlink(temporaneo_.c_str());
}

int SostituzioneAtomica::Conferma() noexcept {
    if (esito_ != 0) return esito_;
    if (fd_ < 0 || confermata_) return EBADF;
    if (destinazioneFd_ >= 0) {
        // In place: truncate, write, flush.
        rinominaFallita_ = true;
        if (::ftruncate(destinazioneFd_, 0) != 0) return errno;
        if (const int e = CopiaTutto(fd_, destinazioneFd_); e != 0) return e;
        if (::fsync(destinazioneFd_) != 0) return errno;
        const int fd = destinazioneFd_;
        destinazioneFd_ = -1;
        if (::close(fd) != 0 && errno != EINTR) return errno;
        rinominaFallita_ = false;
        confermata_ = true;
        return 0;
    }
    if (::fsync(fd_) != 0) return errno;
    const int fd = fd_;
    fd_ = -1;
    // The result of close matters: a delayed write error shows up here. EINTR is not one:
    // the descriptor is closed all the same and the data was flushed just above.
    if (::close(fd) != 0 && errno != EINTR) return errno;
    if (::rename(temporaneo_.c_str(), destinazione_.c_str()) != 0) {
        rinominaFallita_ = true;
        return errno;
    }
    confermata_ = true;
    Descrittore cartella(
        ::open(CartellaDi(destinazione_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (cartella.aperto()) static_cast<void>(::fsync(cartella.get()));
    return 0;
}

std::string SeguiCollegamento(const std::string& percorso) {
    struct stat st {};
    if (::lstat(percorso.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* reale = ::realpath(percorso.c_str(), nullptr)) {
            std::string risultato(reale);
            std::free(reale);
            return risultato;
        }
    }
    return percorso;
}

std::string CercaSenzaMaiuscole(const std::string& percorso, std::int32_t numeroSeAmbiguo) {
    // The exact name wins whenever it is there.
    struct stat st {};
    if (::lstat(percorso.c_str(), &st) == 0 || errno != ENOENT) return percorso;

    const auto barra = percorso.rfind('/');
    const std::string cartella =
        barra == std::string::npos ? std::string() : percorso.substr(0, barra + 1);
    const std::string nome = barra == std::string::npos ? percorso : percorso.substr(barra + 1);
    if (nome.empty() || nome == "." || nome == "..") return percorso;

    DIR* d = ::opendir(cartella.empty() ? "." : cartella.c_str());
    if (!d) return percorso;
    std::vector<std::string> trovati;
    while (const dirent* e = ::readdir(d))
        if (UgualiSenzaMaiuscole(e->d_name, nome)) trovati.emplace_back(e->d_name);
    ::closedir(d);

    if (trovati.empty()) return percorso;
    if (trovati.size() > 1) {
        std::sort(trovati.begin(), trovati.end());
        std::string elenco;
        for (const auto& t : trovati) elenco += (elenco.empty() ? "\"" : ", \"") + t + "\"";
        Solleva(numeroSeAmbiguo,
                "Impossibile trovare il file \"" + percorso +
                    "\": nella cartella ci sono più file con questo nome scritto con "
                    "maiuscole e minuscole diverse (" +
                    elenco + ") e nessuno si chiama esattamente così.");
    }
    return cartella + trovati.front();
}

}  // namespace vq
