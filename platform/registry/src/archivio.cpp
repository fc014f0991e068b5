// The hive files on disk.
//
// Readers take no lock: a hive is only ever replaced by rename(), so a reader sees either
// the old file or the new one, whole. Writers serialise on flock() of "<hive>.lock" and
// read the hive again under the lock before changing it, so no update is lost between
// processes (or threads: each call opens its own lock descriptor).
#include "archivio.h"

#include "vq/file.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <new>
#include <string_view>

namespace vq::registro {

namespace {

constexpr std::array<InfoAlveare, 3> kAlveari = {{
    {"HKEY_CLASSES_ROOT", "HKCR", "HKCR.reg"},
    {"HKEY_CURRENT_USER", "HKCU", "HKCU.reg"},
    {"HKEY_LOCAL_MACHINE", "HKLM", "HKLM.reg"},
}};

// A hive larger than this is not a hive this store wrote; refuse it rather than
// exhaust memory on it.
constexpr off_t kDimensioneMassima = 64 * 1024 * 1024;

LONG DaErrno(int e, LONG altrimenti) {
    switch (e) {
        case EACCES:
        case EPERM:
        case EROFS: return ERROR_ACCESS_DENIED;
        case ENOSPC:
        case EDQUOT: return ERROR_DISK_FULL;
        case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
        default: return altrimenti;
    }
}

// What identifies one version of a hive file. The cache keeps the file it parsed open,
// so its inode cannot be freed and handed to a later replacement: a replaced hive always
// shows another inode, and an edit in place another size or modification time.
struct Impronta {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    timespec mtim{};
    timespec ctim{};
    bool operator==(const Impronta& o) const {
        return dev == o.dev && ino == o.ino && size == o.size && mtim.tv_sec == o.mtim.tv_sec &&
               mtim.tv_nsec == o.mtim.tv_nsec && ctim.tv_sec == o.ctim.tv_sec &&
               ctim.tv_nsec == o.ctim.tv_nsec;
    }
};

Impronta ImprontaDi(const struct stat& st) {
    return Impronta{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
}

struct Memoria {
    Impronta impronta;
    std::shared_ptr<const Chiave> albero;     // nullptr: that version of the file is damaged
    std::shared_ptr<vq::Descrittore> aperto;  // the parsed file, held open
    std::uint64_t uso = 0;
};

std::mutex gMutex;
std::map<std::string, Memoria> gMemoria;  // by file path
std::uint64_t gUso = 0;
constexpr std::size_t kMemorieMassime = 8;  // a process normally uses three hives

// Caller holds gMutex.
void Ricorda(const std::string& percorso, const Impronta& impronta,
             std::shared_ptr<const Chiave> albero, std::shared_ptr<vq::Descrittore> aperto) {
    gMemoria[percorso] = Memoria{impronta, std::move(albero), std::move(aperto), ++gUso};
    while (gMemoria.size() > kMemorieMassime) {
        auto vecchia = gMemoria.begin();
        for (auto it = gMemoria.begin(); it != gMemoria.end(); ++it)
            if (it->second.uso < vecchia->second.uso) vecchia = it;
        gMemoria.erase(vecchia);
    }
}

// Caller holds gMutex. ERROR_SUCCESS with the tree, ERROR_BADDB, or ERROR_FILE_NOT_FOUND
// when that version is not in the cache.
LONG Ricordato(const std::string& percorso, const Impronta& impronta,
               std::shared_ptr<const Chiave>& albero) {
    auto it = gMemoria.find(percorso);
    if (it == gMemoria.end() || !(it->second.impronta == impronta)) return ERROR_FILE_NOT_FOUND;
    it->second.uso = ++gUso;
    if (!it->second.albero) return ERROR_BADDB;
    albero = it->second.albero;
    return ERROR_SUCCESS;
}

std::string Percorso(Alveare a) { return CartellaRegistro() + "/" + Info(a).file; }

bool LeggiTutto(int fd, std::string& testo) {
    char buf[65536];
    while (true) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return true;
        testo.append(buf, static_cast<std::size_t>(n));
        if (testo.size() > static_cast<std::size_t>(kDimensioneMassima)) {
            errno = EFBIG;
            return false;
        }
    }
}

// Creates the folder and the missing folders above it, each with mode 0700.
bool CreaCartelle(const std::string& cartella) {
    struct stat st {};
    if (::stat(cartella.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return true;
        errno = ENOTDIR;
        return false;
    }
    const auto barra = cartella.find_last_of('/');
    if (barra != std::string::npos && barra > 0 && !CreaCartelle(cartella.substr(0, barra)))
        return false;
    if (::mkdir(cartella.c_str(), 0700) != 0 && errno != EEXIST) return false;
    return true;
}

// A writer's temporary file is "<hive file>.tmp-" followed by the writer's process id
// and random letters; the infix keeps a person's own "HKCU.reg.backup" beside the hive
// out of the clean-up of those a killed writer left.
constexpr std::string_view kInfissoTemporaneo = ".tmp-";

// Reads and parses the hive at `percorso`, through the cache.
LONG LeggiFile(Alveare a, const std::string& percorso, std::shared_ptr<const Chiave>& albero) {
    // The usual case, a file unchanged since the last call, costs one stat().
    if (struct stat st{}; ::stat(percorso.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        std::lock_guard lock(gMutex);
        if (const LONG r = Ricordato(percorso, ImprontaDi(st), albero); r != ERROR_FILE_NOT_FOUND)
            return r;
    }
    vq::Descrittore fd(::open(percorso.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            albero = std::make_shared<const Chiave>();
            return ERROR_SUCCESS;
        }
        return DaErrno(errno, ERROR_CANTREAD);
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return DaErrno(errno, ERROR_CANTREAD);
    if (!S_ISREG(st.st_mode)) return ERROR_BADDB;
    if (st.st_size > kDimensioneMassima) return ERROR_BADDB;
    const Impronta impronta = ImprontaDi(st);
    {
        std::lock_guard lock(gMutex);
        if (const LONG r = Ricordato(percorso, impronta, albero); r != ERROR_FILE_NOT_FOUND)
            return r;
    }
    std::string testo;
    if (!LeggiTutto(fd.get(), testo))
        return errno == EFBIG ? ERROR_BADDB : DaErrno(errno, ERROR_CANTREAD);
    auto nuovo = std::make_shared<Chiave>();
    const EsitoAnalisi esito = Analizza(testo, Info(a).radice, Info(a).abbreviazione, *nuovo);
    std::lock_guard lock(gMutex);
    if (!esito.ok) {
        // The caller only gets ERROR_BADDB; tell the person who edits the file where it
        // went wrong, once for each version of the file.
        std::fprintf(stderr, "vqregistry: %s, riga %zu: %s (file non modificato)\n",
                     percorso.c_str(), esito.riga, esito.motivo.c_str());
        Ricorda(percorso, impronta, nullptr, std::make_shared<vq::Descrittore>(fd.rilascia()));
        return ERROR_BADDB;
    }
    albero = nuovo;
    Ricorda(percorso, impronta, albero, std::make_shared<vq::Descrittore>(fd.rilascia()));
    return ERROR_SUCCESS;
}

}  // namespace

const InfoAlveare& Info(Alveare a) { return kAlveari[static_cast<std::size_t>(a)]; }

}  // namespace vq::registro

std::string vq::CartellaRegistro() {
    if (const char* d = std::getenv("VQ_REGISTRO_DIR"); d != nullptr && *d != '\0') return d;
    if (const char* x = std::getenv("XDG_CONFIG_HOME"); x != nullptr && x[0] == '/')
        return std::string(x) + "/vq/registro";
    std::string casa;
    if (const char* h = std::getenv("HOME"); h != nullptr && *h != '\0') {
        casa = h;
    } else if (const passwd* pw = ::getpwuid(::getuid()); pw != nullptr && pw->pw_dir != nullptr) {
        casa = pw->pw_dir;
    }
    return casa + "/.config/vq/registro";
}

namespace vq::registro {

LONG Leggi(Alveare a, std::shared_ptr<const Chiave>& albero) {
    try {
        return LeggiFile(a, Percorso(a), albero);
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

LONG Modifica(Alveare a, const std::function<LONG(Chiave& albero, bool& cambiato)>& modifica) {
    try {
        const std::string cartella = CartellaRegistro();
        const std::string percorso = cartella + "/" + Info(a).file;
        if (!CreaCartelle(cartella)) return DaErrno(errno, ERROR_CANTWRITE);

        const std::string nomeBlocco = percorso + ".lock";
        vq::Descrittore blocco(::open(nomeBlocco.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
        if (blocco.get() < 0) return DaErrno(errno, ERROR_CANTWRITE);
        while (::flock(blocco.get(), LOCK_EX) != 0) {
            if (errno != EINTR) return ERROR_LOCK_VIOLATION;
        }
        // The lock goes with the descriptor: closing `blocco` releases it.

        // A hive that is a symbolic link (kept with a person's other settings files) is
        // replaced at the link's target, so that the link stays.
        const std::string destinazione = vq::SeguiCollegamento(percorso);

        std::shared_ptr<const Chiave> attuale;
        if (const LONG r = LeggiFile(a, percorso, attuale); r != ERROR_SUCCESS) return r;
        auto nuovo = std::make_shared<Chiave>(*attuale);
        bool cambiato = false;
        if (const LONG r = modifica(*nuovo, cambiato); r != ERROR_SUCCESS) return r;
        if (!cambiato) return ERROR_SUCCESS;

        const std::string testo = Scrivi(*nuovo, Info(a).radice);
        vq::SostituzioneAtomica temporaneo(
            destinazione, destinazione + std::string(kInfissoTemporaneo), {}, 0600);
        if (temporaneo.esito() != 0) return DaErrno(temporaneo.esito(), ERROR_CANTWRITE);
        if (const int e = vq::ScriviTutto(temporaneo.fd(), testo); e != 0)
            return DaErrno(e, ERROR_CANTWRITE);
        if (const int e = temporaneo.Conferma(); e != 0) return DaErrno(e, ERROR_CANTWRITE);

        // The new file is the cached version, held open by the cache. No other writer can
        // have replaced it since: we still hold the lock.
        vq::Descrittore fd(::open(percorso.c_str(), O_RDONLY | O_CLOEXEC));
        struct stat st {};
        if (fd.aperto() && ::fstat(fd.get(), &st) == 0) {
            std::lock_guard lock(gMutex);
            Ricorda(percorso, ImprontaDi(st), std::move(nuovo),
                    std::make_shared<vq::Descrittore>(fd.rilascia()));
        }
        return ERROR_SUCCESS;
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

}  // namespace vq::registro
