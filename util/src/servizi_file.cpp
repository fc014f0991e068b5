// vqUtilita: small jobs on files: in use, write access, read-only, compressed setup files.
#include <util/vqUtilita.h>

#include "interno.h"
#include "szdd.h"

#include <shell/messagebox.h>
#include <vq/errore.h>
#include <vq/file.h>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Write all of `dati` to `fd`; 0 or the errno of the failure.
int ScriviTutto(int fd, const std::string& dati) {
    std::size_t scritti = 0;
    while (scritti < dati.size()) {
        const ssize_t n = ::write(fd, dati.data() + scritti, dati.size() - scritti);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        scritti += static_cast<std::size_t>(n);
    }
    return 0;
}

}  // namespace

bool vqUtilita::FileAperto(const std::string& file) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) return !(errno == ENOENT || errno == ENOTDIR);
    if (S_ISDIR(st.st_mode)) return false;  // a listing of files does not show folders
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return true;
    bool inUso = false;
    // A record lock (traditional or open-file-description) anywhere in the file.
    struct flock blocco {};
    blocco.l_type = F_WRLCK;
    blocco.l_whence = SEEK_SET;
    blocco.l_start = 0;
    blocco.l_len = 0;
    if (::fcntl(fd, F_OFD_GETLK, &blocco) != 0 || blocco.l_type != F_UNLCK) inUso = true;
    // A whole-file lock (flock).
    if (!inUso) {
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) inUso = true;
        else ::flock(fd, LOCK_UN);
    }
    ::close(fd);
    return inUso;
}

bool vqUtilita::WriteAccess(const std::string& strDirName) {
    std::string cartella = strDirName;
    AggiungiSepDir(cartella);
    // A probe name of our own, so that two processes probing the same folder never
    // remove each other's file.
    std::random_device rd;
    int fd = -1;
    int errore = 0;
    std::string sonda;
    for (int tentativo = 0; tentativo < 100; ++tentativo) {
        char coda[40];
        std::snprintf(coda, sizeof coda, "-%ld-%08x.tmp", static_cast<long>(::getpid()), rd());
        sonda = cartella + "604kmr73" + coda;
        fd = ::open(sonda.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST) break;
    }
    if (fd < 0) {
        errore = errno;
        const vq::Errore e = vq::ErroreDaErrno(errore);
        vq::ImpostaErrore(e.numero(), e.descrizione());
        shell::Mostra(std::string("Errore # ") + (e.numero() >= 0 ? " " : "") +
                          std::to_string(e.numero()) + "\r" + e.descrizione(),
                      "Errore", shell::MB_OK | shell::MB_ICONSTOP);
        vq::CancellaErrore();
        return false;
    }
    ::close(fd);
    ::unlink(sonda.c_str());
    return true;
}

void vqUtilita::EliminaReadOnly(const std::string& filename) {
    struct stat st {};
    if (::stat(filename.c_str(), &st) != 0) return;
    if ((st.st_mode & S_IWUSR) == 0)
        (void)::chmod(filename.c_str(), (st.st_mode & 07777) | S_IWUSR);
}

bool vqUtilita::Decomprimi(const std::string& sorgente, const std::string& destinazione) {
    std::string dati;
    if (vq::utilita::LeggiFileIntero(sorgente, dati) != 0) return false;
    std::string espanso;
    switch (vq::utilita::EspandiSzdd(dati, espanso)) {
        case vq::utilita::EsitoEspansione::Espanso: break;
        case vq::utilita::EsitoEspansione::NonCompresso: espanso = std::move(dati); break;
        case vq::utilita::EsitoEspansione::Danneggiato: return false;
    }
    if (espanso.empty()) return false;  // nothing copied counts as a failure
    const std::string percorso = vq::SeguiCollegamento(destinazione);
    const auto barra = percorso.rfind('/');
    const std::string cartella =
        barra == std::string::npos ? std::string() : percorso.substr(0, barra + 1);
    vq::SostituzioneAtomica sost(percorso, cartella + ".espandi-", ".tmp");
    if (sost.esito() != 0) return false;
    if (ScriviTutto(sost.fd(), espanso) != 0) return false;
    return sost.Conferma() == 0;
}
