#include "export/ScritturaAtomica.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <random>

#include "vq/errore.h"
#include "vq/file.h"

namespace travasa {
namespace {

constexpr std::size_t kDimensioneBuffer = 1 << 16;

[[noreturn]] void SollevaErrno(int codice, const std::string& percorso) {
    const std::int32_t numero = vq::NumeroDaErrno(codice);
    vq::Solleva(numero, "Impossibile salvare il file \"" + percorso + "\": " + vq::DescrizioneRuntime(numero));
}

std::string Cartella(const std::string& percorso) {
    const auto barra = percorso.rfind('/');
    if (barra == std::string::npos) return ".";
    if (barra == 0) return "/";
    return percorso.substr(0, barra);
}

std::string NomeFile(const std::string& percorso) {
    const auto barra = percorso.rfind('/');
    return barra == std::string::npos ? percorso : percorso.substr(barra + 1);
}

// The file a symbolic link points to; the path itself otherwise.
std::string Destinazione(const std::string& percorso) {
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

// Creates a new temporary file beside `destinazione` and gives its descriptor.
int CreaTemporaneo(const std::string& destinazione, std::string& temporaneo) {
    static thread_local std::mt19937_64 casuale{std::random_device{}()};
    const std::string base = Cartella(destinazione) + "/." + NomeFile(destinazione) + ".vq";
    for (int tentativo = 0; tentativo < 100; ++tentativo) {
        static constexpr char kCifre[] = "0123456789abcdefghijklmnopqrstuvwxyz";
        std::string suffisso(8, '0');
        for (auto& c : suffisso) c = kCifre[casuale() % 36];
        temporaneo = base + suffisso;
        const int fd = ::open(temporaneo.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) return fd;
        if (errno != EEXIST) SollevaErrno(errno, destinazione);
    }
    SollevaErrno(EEXIST, destinazione);
}

class Temporaneo {
public:
    Temporaneo(int fd, std::string percorso) : fd_(fd), percorso_(std::move(percorso)) {}
    ~Temporaneo() {
        if (fd_ >= 0) ::close(fd_);
        if (!percorso_.empty()) ::unlink(percorso_.c_str());
    }
    Temporaneo(const Temporaneo&) = delete;
    Temporaneo& operator=(const Temporaneo&) = delete;

    int fd() const { return fd_; }
    const std::string& percorso() const { return percorso_; }
    // Closes the descriptor; the close result matters (delayed write errors).
    int chiudi() {
        const int esito = ::close(fd_);
        fd_ = -1;
        return esito;
    }
    void rinunciaAllaRimozione() { percorso_.clear(); }

private:
    int fd_;
    std::string percorso_;
};

}  // namespace

UscitaFile::UscitaFile(int fd, std::string percorso)
    : fd_(fd), percorso_(std::move(percorso)), buffer_(kDimensioneBuffer) {}

void UscitaFile::scriviOltre(std::string_view pezzo) {
    while (!pezzo.empty()) {
        if (usati_ == buffer_.size()) svuota();
        const std::size_t n = std::min(pezzo.size(), buffer_.size() - usati_);
        std::copy_n(pezzo.data(), n, buffer_.data() + usati_);
        usati_ += n;
        pezzo.remove_prefix(n);
    }
}

void UscitaFile::svuota() {
    std::size_t scritti = 0;
    while (scritti < usati_) {
        const ssize_t n = ::write(fd_, buffer_.data() + scritti, usati_ - scritti);
        if (n < 0) {
            if (errno == EINTR) continue;
            SollevaErrno(errno, percorso_);
        }
        if (n == 0) SollevaErrno(ENOSPC, percorso_);
        scritti += static_cast<std::size_t>(n);
    }
    usati_ = 0;
}

void ScriviFileAtomico(const std::string& percorso, const std::function<void(UscitaFile&)>& produci) {
    const std::string destinazione = Destinazione(percorso);
    // A file marked read-only is not replaced (the rename alone would not notice it).
    struct stat esistente {};
    const bool esiste = ::stat(destinazione.c_str(), &esistente) == 0 && S_ISREG(esistente.st_mode);
    if (esiste && (esistente.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) SollevaErrno(EACCES, percorso);

    std::string nomeTemporaneo;
    const int fd = CreaTemporaneo(destinazione, nomeTemporaneo);
    Temporaneo temporaneo(fd, nomeTemporaneo);

    // A file that is replaced keeps its permissions.
    if (esiste) static_cast<void>(::fchmod(fd, esistente.st_mode & 07777));

    UscitaFile uscita(fd, percorso);
    produci(uscita);
    uscita.svuota();

    if (::fsync(fd) != 0) SollevaErrno(errno, percorso);
    if (temporaneo.chiudi() != 0) SollevaErrno(errno, percorso);
    if (::rename(temporaneo.percorso().c_str(), destinazione.c_str()) != 0) SollevaErrno(errno, percorso);
    temporaneo.rinunciaAllaRimozione();

    // Make the rename itself durable; a failure here no longer affects the content.
    const int cartella = ::open(Cartella(destinazione).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (cartella >= 0) {
        ::fsync(cartella);
        ::close(cartella);
    }
}

}  // namespace travasa
