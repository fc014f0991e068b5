#include "vq/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <random>
#include <utility>

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

SostituzioneAtomica::SostituzioneAtomica(std::string destinazione, std::string prefisso, std::string suffisso,
                                         mode_t modo) noexcept
    : destinazione_(std::move(destinazione)) {
    static thread_local std::mt19937_64 casuale{std::random_device{}()};
    static constexpr char kCifre[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    esito_ = EEXIST;
    for (int tentativo = 0; tentativo < 100; ++tentativo) {
        std::string nome(8, '0');
        for (char& c : nome) c = kCifre[casuale() % 36];
        temporaneo_ = prefisso + nome + suffisso;
        fd_ = ::open(temporaneo_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, modo);
        if (fd_ >= 0) {
            esito_ = 0;
            return;
        }
        if (errno != EEXIST) {
            esito_ = errno;
            break;
        }
    }
    temporaneo_.clear();
}

SostituzioneAtomica::~SostituzioneAtomica() {
    if (fd_ >= 0) ::close(fd_);
    if (!confermata_ && !temporaneo_.empty()) ::unlink(temporaneo_.c_str());
}

int SostituzioneAtomica::Conferma() noexcept {
    if (esito_ != 0) return esito_;
    if (fd_ < 0 || confermata_) return EBADF;
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
    const auto barra = destinazione_.rfind('/');
    const std::string cartella =
        barra == std::string::npos ? std::string(".") : barra == 0 ? std::string("/") : destinazione_.substr(0, barra);
    Descrittore c(::open(cartella.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (c.aperto()) static_cast<void>(::fsync(c.get()));
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

}  // namespace vq
