#include "export/ScritturaAtomica.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>

#include "vq/errore.h"
#include "vq/file.h"

namespace travasa {
namespace {

constexpr std::size_t kDimensioneBuffer = 1 << 16;
constexpr std::size_t kPassoScrittura = std::size_t{1} << 20;

[[noreturn]] void SollevaErrno(int codice, const std::string& percorso) {
    const std::int32_t numero = vq::NumeroDaErrno(codice);
    vq::Solleva(numero, "Impossibile salvare il file \"" + percorso +
                            "\": " + vq::DescrizioneRuntime(numero));
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
    // The disk starts on what is written while the rest is produced, so the final flush
    // only waits for the last part. Only advice: a file system without it ignores it.
    totale_ += scritti;
    if (totale_ - avviati_ >= kPassoScrittura) {
        static_cast<void>(::sync_file_range(fd_, static_cast<off_t>(avviati_),
                                            static_cast<off_t>(totale_ - avviati_),
                                            SYNC_FILE_RANGE_WRITE));
        avviati_ = totale_;
    }
}

void ScriviFileAtomico(const std::string& percorso,
                       const std::function<void(UscitaFile&)>& produci) {
    const std::string destinazione = vq::SeguiCollegamento(percorso);
    // The temporary file is hidden while it is written. Only a file this user may write
    // is replaced (70 otherwise), keeping its permissions.
    vq::SostituzioneAtomica temporaneo(
        destinazione, Cartella(destinazione) + "/." + NomeFile(destinazione) + ".vq");
    if (temporaneo.esito() != 0) SollevaErrno(temporaneo.esito(), destinazione);

    UscitaFile uscita(temporaneo.fd(), percorso);
    produci(uscita);
    uscita.svuota();

    if (const int codice = temporaneo.Conferma(); codice != 0) SollevaErrno(codice, percorso);
}

void CopiaFileAtomica(const std::string& sorgente, const std::string& destinazione) {
    const int fd = ::open(sorgente.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const int codice = errno;
        if (codice == ENOENT)
            vq::Solleva(vq::kErrFileNonTrovato,
                        vq::DescrizioneRuntime(vq::kErrFileNonTrovato) + ": " + sorgente);
        vq::SollevaErrno(codice, sorgente);
    }
    const vq::Descrittore chiudi(fd);
    ScriviFileAtomico(destinazione, [&](UscitaFile& uscita) {
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0) {
                if (errno == EINTR) continue;
                vq::SollevaErrno(errno, sorgente);
            }
            if (n == 0) break;
            uscita.scrivi(std::string_view(buffer, static_cast<std::size_t>(n)));
        }
    });
}

}  // namespace travasa
