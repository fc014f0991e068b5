#include "export/ScritturaAtomica.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "vq/errore.h"
#include "vq/file.h"

namespace travasa {
namespace {

constexpr std::size_t kDimensioneBuffer = std::size_t{1} << 18;
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

// A file written from its start, the disk asked to start on what is written every
// kPassoScrittura bytes, so that the final flush only waits for the last part (only
// advice: a file system without it ignores it).
struct Scarico {
    int fd;
    std::size_t totale = 0, avviati = 0;  // bytes written, and those sent to the disk

    // 0, or the errno of the failure.
    int Scrivi(std::string_view dati) {
        if (const int e = vq::ScriviTutto(fd, dati); e != 0) return e;
        totale += dati.size();
        if (totale - avviati >= kPassoScrittura) {
            static_cast<void>(::sync_file_range(fd, static_cast<off_t>(avviati),
                                                static_cast<off_t>(totale - avviati),
                                                SYNC_FILE_RANGE_WRITE));
            avviati = totale;
        }
        return 0;
    }
};

}  // namespace

// The thread that writes the full buffers, in order, while the next ones fill. At most
// kInVolo buffers wait; a failed write stops the writing and is reported to the sink at
// its next hand-over. A system that refuses one more thread gets the same writes from
// the caller's thread.
class Scrittore {
public:
    explicit Scrittore(int fd) : scarico_{fd} {
        for (std::size_t i = 0; i < kInVolo; ++i) liberi_.emplace_back(kDimensioneBuffer);
        try {
            filo_ = std::thread([this] { Ciclo(); });
        } catch (const std::system_error&) {
            liberi_.clear();
        }
    }
    ~Scrittore() {
        if (!filo_.joinable()) return;
        {
            const std::lock_guard<std::mutex> blocco(m_);
            fine_ = true;
        }
        cv_.notify_all();
        filo_.join();
    }
    Scrittore(const Scrittore&) = delete;
    Scrittore& operator=(const Scrittore&) = delete;

    // Hands over `buffer`'s first `n` bytes, giving a free buffer in its place. The error
    // of the writes so far, or 0.
    int Consegna(std::vector<char>& buffer, std::size_t n) {
        if (!filo_.joinable()) return scarico_.Scrivi(std::string_view(buffer.data(), n));
        std::unique_lock<std::mutex> blocco(m_);
        cv_.wait(blocco, [this] { return !liberi_.empty(); });
        daScrivere_.push_back({std::move(buffer), n});
        buffer = std::move(liberi_.back());
        liberi_.pop_back();
        cv_.notify_all();
        return errore_;
    }
    // Waits until everything handed over is written. The error, or 0.
    int Attendi() {
        std::unique_lock<std::mutex> blocco(m_);
        cv_.wait(blocco, [this] { return daScrivere_.empty() && !occupato_; });
        return errore_;
    }

private:
    static constexpr std::size_t kInVolo = 2;
    struct Pezzo {
        std::vector<char> dati;
        std::size_t n;
    };

    void Ciclo() {
        std::unique_lock<std::mutex> blocco(m_);
        for (;;) {
            cv_.wait(blocco, [this] { return !daScrivere_.empty() || fine_; });
            if (daScrivere_.empty() || fine_) return;  // at the end, what is left goes unwritten
            Pezzo pezzo = std::move(daScrivere_.front());
            daScrivere_.pop_front();
            occupato_ = true;
            const bool scrivere = errore_ == 0;
            blocco.unlock();
            const int esito =
                scrivere ? scarico_.Scrivi(std::string_view(pezzo.dati.data(), pezzo.n)) : 0;
            blocco.lock();
            if (esito != 0) errore_ = esito;
            liberi_.push_back(std::move(pezzo.dati));
            occupato_ = false;
            cv_.notify_all();
        }
    }

    Scarico scarico_;  // used by the thread alone while there is one
    std::mutex m_;
    std::condition_variable cv_;
    std::deque<Pezzo> daScrivere_;
    std::vector<std::vector<char>> liberi_;
    bool fine_ = false, occupato_ = false;
    int errore_ = 0;
    std::thread filo_;
};

UscitaFile::UscitaFile(int fd, std::string percorso)
    : fd_(fd), percorso_(std::move(percorso)), buffer_(kDimensioneBuffer) {}

UscitaFile::~UscitaFile() = default;

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
    if (!scrittore_) scrittore_ = std::make_unique<Scrittore>(fd_);
    const int errore = scrittore_->Consegna(buffer_, usati_);
    usati_ = 0;
    if (errore != 0) SollevaErrno(errore, percorso_);
}

void UscitaFile::finisci() {
    int errore = 0;
    if (!scrittore_) {
        // All of it fitted in one buffer.
        errore = vq::ScriviTutto(fd_, std::string_view(buffer_.data(), usati_));
    } else {
        if (usati_ > 0) errore = scrittore_->Consegna(buffer_, usati_);
        if (errore == 0) errore = scrittore_->Attendi();
    }
    usati_ = 0;
    if (errore != 0) SollevaErrno(errore, percorso_);
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
    uscita.finisci();

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
