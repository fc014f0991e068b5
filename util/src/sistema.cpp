// vqUtilita: questions about the system (its version, number separators, volume
// identities, where the program runs from) and the time value of a number of seconds.
#include <util/vqUtilita.h>

#include "interno.h"
#include "sistema.h"

#include <vq/data.h>
#include <vq/errore.h>
#include <vq/file.h>

#include <cctype>
#include <climits>
#include <cstdint>
#include <langinfo.h>
#include <locale.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/utsname.h>
#include <unistd.h>

namespace vq::utilita {

std::string FormattaMille(std::string_view raggruppamento, std::string_view separatore) {
    const std::string cifre = "1000";
    std::string r;
    std::size_t fine = cifre.size();  // digits still to place, from the right
    std::size_t k = 0;
    int gruppo = 0;
    while (fine > 0) {
        if (k < raggruppamento.size()) gruppo = static_cast<signed char>(raggruppamento[k++]);
        else if (k == 0) gruppo = 0;
        if (gruppo <= 0 || gruppo == CHAR_MAX || static_cast<std::size_t>(gruppo) >= fine) {
            r.insert(0, cifre.substr(0, fine));
            break;
        }
        r.insert(0, cifre.substr(fine - static_cast<std::size_t>(gruppo),
                                 static_cast<std::size_t>(gruppo)));
        r.insert(0, separatore);
        fine -= static_cast<std::size_t>(gruppo);
    }
    return r;
}

std::uint8_t SeparatoreDi(std::string_view formattato) {
    if (formattato.size() < 2) return 0;
    const char c = formattato[1];
    return c == ',' || c == '.' ? static_cast<std::uint8_t>(c) : 0;
}

std::string ValoreOsRelease(std::string_view testo, std::string_view nome) {
    std::size_t i = 0;
    while (i < testo.size()) {
        auto fine = testo.find('\n', i);
        if (fine == std::string_view::npos) fine = testo.size();
        std::string_view riga = testo.substr(i, fine - i);
        i = fine + 1;
        if (riga.size() <= nome.size() || riga.substr(0, nome.size()) != nome ||
            riga[nome.size()] != '=')
            continue;
        std::string_view v = riga.substr(nome.size() + 1);
        std::string r;
        char virgolette = 0;
        if (!v.empty() && (v.front() == '"' || v.front() == '\'')) {
            virgolette = v.front();
            v.remove_prefix(1);
        }
        for (std::size_t j = 0; j < v.size(); ++j) {
            if (virgolette != 0 && v[j] == virgolette) break;
            if (virgolette == '"' && v[j] == '\\' && j + 1 < v.size()) {
                r += v[++j];
                continue;
            }
            r += v[j];
        }
        return r;
    }
    return {};
}

std::string ComponiVersioneSO(std::string_view osRelease, std::string_view sistema,
                              std::string_view release, std::string_view versione) {
    std::string nome = ValoreOsRelease(osRelease, "NAME");
    if (nome.empty()) nome = std::string(sistema);
    std::string testoVersione = ValoreOsRelease(osRelease, "VERSION");
    if (testoVersione.empty()) testoVersione = std::string(versione);
    // Up to three numbers at the start of the release ("6.1.0-18-amd64" gives 6, 1, 0).
    std::int64_t parti[3] = {0, 0, 0};
    std::size_t i = 0;
    for (int k = 0; k < 3; ++k) {
        if (i >= release.size() || std::isdigit(static_cast<unsigned char>(release[i])) == 0) break;
        std::int64_t n = 0;
        while (i < release.size() && std::isdigit(static_cast<unsigned char>(release[i])) != 0) {
            if (n < 100000000) n = n * 10 + (release[i] - '0');
            ++i;
        }
        parti[k] = n;
        if (i < release.size() && release[i] == '.') ++i;
        else break;
    }
    return nome + " " + std::to_string(parti[0]) + "." + std::to_string(parti[1]) + "." +
           std::to_string(static_cast<std::int32_t>(parti[2])) + " " + testoVersione;
}

bool FileSystemDiRete(std::int64_t magico, std::string_view tipoMontaggio) {
    switch (static_cast<std::uint32_t>(magico)) {
        case 0x6969u:      // NFS
        case 0x517Bu:      // SMB
        case 0xFF534D42u:  // CIFS
        case 0xFE534D42u:  // SMB2
        case 0x01021997u:  // 9P
        case 0x00C36400u:  // Ceph
        case 0x5346414Fu:  // AFS
        case 0x564C:       // NCP
            return true;
        case 0x65735546u:  // FUSE: it depends on what is mounted
            return tipoMontaggio == "fuse.sshfs" || tipoMontaggio == "sshfs" ||
                   tipoMontaggio == "fuse.rclone" || tipoMontaggio == "fuse.gvfsd-fuse";
        default: return false;
    }
}

bool EseguibileAmbienteSviluppo(std::string_view percorso) {
    const auto separatore = percorso.find_last_of(":\\/");
    std::string nome(separatore == std::string_view::npos ? percorso
                                                          : percorso.substr(separatore + 1));
    nome = PiegaCaso(nome);
    for (const char* n : {"vb32.exe", "vb.exe", "vb5.exe", "vb5cce.exe", "vb6.exe", "vb6cce.exe",
                          "vb7.exe", "vb7cce.exe"})
        if (nome == n) return true;
    return false;
}

}  // namespace vq::utilita

namespace {

std::string LeggiTuttoFile(const char* percorso) {
    std::string testo;
    (void)vq::utilita::LeggiFileIntero(percorso, testo);
    return testo;
}

// The identity of the file system holding `percorso`, as a signed 32-bit decimal text.
std::string SerialeDi(const std::string& percorso) {
    struct statvfs sv {};
    if (::statvfs(percorso.c_str(), &sv) != 0) return {};
    auto id = static_cast<std::uint32_t>(sv.f_fsid);
    if (id == 0) {
        struct stat st {};
        if (::stat(percorso.c_str(), &st) != 0) return {};
        id = static_cast<std::uint32_t>(st.st_dev);
    }
    return std::to_string(static_cast<std::int32_t>(id));
}

// The stand-in of a drive letter: "/" for C, else a mount point named by the letter
// under /mnt or /media; the empty text when there is none.
std::string RadiceUnita(const std::string& lettera) {
    if (lettera.size() != 1 || std::isalpha(static_cast<unsigned char>(lettera[0])) == 0) return {};
    const char minuscola = static_cast<char>(std::tolower(static_cast<unsigned char>(lettera[0])));
    if (minuscola == 'c') return "/";
    for (const char* base : {"/mnt/", "/media/"}) {
        for (const char l :
             {minuscola, static_cast<char>(std::toupper(static_cast<unsigned char>(minuscola)))}) {
            const std::string cartella = std::string(base) + l;
            struct stat st {};
            struct stat padre {};
            if (::stat(cartella.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
                ::stat(base, &padre) == 0 && st.st_dev != padre.st_dev)
                return cartella;
        }
    }
    return {};
}

// The type name of the mount that holds `cartella`, from /proc/self/mountinfo (the
// longest mount point that is a prefix of it).
std::string TipoMontaggio(const std::string& cartella) {
    const std::string testo = LeggiTuttoFile("/proc/self/mountinfo");
    std::string migliore;
    std::string tipo;
    std::size_t i = 0;
    while (i < testo.size()) {
        auto fine = testo.find('\n', i);
        if (fine == std::string::npos) fine = testo.size();
        const std::string riga = testo.substr(i, fine - i);
        i = fine + 1;
        // Fields: id parent major:minor root mountpoint options ... - fstype source ...
        std::size_t p = 0;
        std::string campi[5];
        for (auto& campo : campi) {
            const auto q = riga.find(' ', p);
            campo = riga.substr(p, q == std::string::npos ? std::string::npos : q - p);
            p = q == std::string::npos ? riga.size() : q + 1;
        }
        const auto trattino = riga.find(" - ");
        if (trattino == std::string::npos) continue;
        const auto dopo = trattino + 3;
        const std::string tipoRiga = riga.substr(dopo, riga.find(' ', dopo) - dopo);
        std::string punto = campi[4];
        if (punto.empty()) continue;
        if (punto.back() != '/') punto += '/';
        if (cartella.compare(0, punto.size(), punto) == 0 && punto.size() >= migliore.size()) {
            migliore = punto;
            tipo = tipoRiga;
        }
    }
    return tipo;
}

}  // namespace

double vqUtilita::LongToDate(std::int32_t sec) {
    std::int64_t ore = sec / 3600;
    std::int64_t resto = sec % 3600;
    if (resto < 0) {
        --ore;
        resto += 3600;
    }
    if (ore < -32768 || ore > 32767) vq::Solleva(vq::kErrOverflow);
    return vq::TimeSerial(static_cast<int>(ore), static_cast<int>(resto / 60),
                          static_cast<int>(resto % 60));
}

std::string vqUtilita::GetSerialHD() { return SerialeDi("/"); }

std::string vqUtilita::GetSerialDrive(const std::string& letteraDrive) {
    const std::string radice = RadiceUnita(letteraDrive);
    if (radice.empty()) return {};
    return SerialeDi(radice);
}

std::int32_t vqUtilita::InfoSO() { return 0; }

bool vqUtilita::IsWindowsNT() { return false; }

std::string vqUtilita::InfoSOVersione() {
    struct utsname u {};
    if (::uname(&u) != 0) return {};
    std::string osRelease = LeggiTuttoFile("/etc/os-release");
    if (osRelease.empty()) osRelease = LeggiTuttoFile("/usr/lib/os-release");
    return vq::utilita::ComponiVersioneSO(osRelease, u.sysname, u.release, u.version);
}

namespace {

// The user's numeric conventions (LC_ALL, LC_NUMERIC, LANG); "C" when that locale is
// not installed.
template <class F>
auto ConLocaleNumerico(F&& f) {
    locale_t loc = ::newlocale(LC_NUMERIC_MASK, "", nullptr);
    if (loc == nullptr) loc = ::newlocale(LC_NUMERIC_MASK, "C", nullptr);
    if (loc == nullptr) return f(nullptr);
    auto r = f(loc);
    ::freelocale(loc);
    return r;
}

}  // namespace

std::uint8_t vqUtilita::GetSeparatoreDecimale() {
    return ConLocaleNumerico([](locale_t loc) -> std::uint8_t {
        const char* radice = loc != nullptr ? ::nl_langinfo_l(RADIXCHAR, loc) : ".";
        return vq::utilita::SeparatoreDi(std::string("1") + radice + "2");
    });
}

std::uint8_t vqUtilita::GetSeparatoreMigliaia() {
    return ConLocaleNumerico([](locale_t loc) -> std::uint8_t {
        if (loc == nullptr) return 0;
        return vq::utilita::SeparatoreDi(vq::utilita::FormattaMille(::nl_langinfo_l(GROUPING, loc),
                                                                    ::nl_langinfo_l(THOUSEP, loc)));
    });
}

bool vqUtilita::DirectoryRete() {
    const std::string cartella = vq::utilita::CartellaProgramma();
    if (cartella.rfind("\\\\", 0) == 0) return true;
    struct statfs sf {};
    if (::statfs(cartella.c_str(), &sf) != 0) return false;
    const auto magico = static_cast<std::int64_t>(sf.f_type);
    return vq::utilita::FileSystemDiRete(
        magico, magico == 0x65735546 ? TipoMontaggio(cartella) : std::string());
}

bool vqUtilita::IsVBEnvironment() {
    try {
        return vq::utilita::EseguibileAmbienteSviluppo(vq::SeguiCollegamento("/proc/self/exe"));
    } catch (...) {
        return false;
    }
}
