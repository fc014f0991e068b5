// vqUtilita: paths, folders and the system's own folders.
#include <util/vqUtilita.h>

#include "interno.h"

#include <vq/errore.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <fcntl.h>
#include <unistd.h>

using vq::utilita::TogliSpazi;
using vq::utilita::VerificaLunghezza16;

namespace {

constexpr char kSep = '/';

bool EsisteCartella(const std::string& percorso) {
    struct stat st {};
    return ::stat(percorso.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

std::string vqUtilita::AggiungiSepDir(std::string& percorso) {
    percorso = TogliSpazi(percorso);
    if (!percorso.empty() && percorso.back() != kSep) percorso += kSep;
    return percorso;
}

bool vqUtilita::CreaPercorsoDirectory(std::string& path) {
    try {
        if (TogliSpazi(path).empty()) return false;
        if (path.back() != kSep) path += kSep;
        if (EsisteCartella(path)) return true;
        // Every prefix that ends in a separator is one level of the chain; create the
        // missing ones from the root down. A level that cannot be made ends the walk
        // (the levels made before it stay).
        for (std::size_t i = path.find(kSep); i != std::string::npos; i = path.find(kSep, i + 1)) {
            const std::string livello = path.substr(0, i + 1);
            if (EsisteCartella(livello)) continue;
            if (::mkdir(livello.c_str(), 0777) != 0 &&
                !(errno == EEXIST && EsisteCartella(livello)))
                return false;
        }
        return true;
    } catch (...) {
        vq::CancellaErrore();
        return false;
    }
}

void vqUtilita::CurDirApp() {
    try {
        const std::string cartella = vq::utilita::CartellaProgramma();
        if (::chdir(cartella.c_str()) != 0) { /* ignored, as every failure here */
        }
    } catch (...) {
        vq::CancellaErrore();
    }
}

std::string vqUtilita::EstraiPath(const std::string& filename) {
    VerificaLunghezza16(filename);
    const auto pos = filename.rfind(kSep);
    if (pos == std::string::npos || pos == 0) return {};
    return filename.substr(0, pos + 1);
}

std::string vqUtilita::EstraiEstensione(const std::string& filename) {
    VerificaLunghezza16(filename);
    // The scan does not stop at folder separators: a dot in a folder name counts when the
    // file name has none.
    const auto pos = filename.rfind('.');
    if (pos == std::string::npos || pos == 0) return {};
    return filename.substr(pos + 1);
}

std::string vqUtilita::DeterminaSoloFileName(const std::string& pathname) {
    return EstraiNomeFile(pathname);
}

std::string vqUtilita::EstraiNomeFile(const std::string& pathname) {
    VerificaLunghezza16(pathname);
    const auto pos = pathname.find_last_of("/\\");
    if (pos == std::string::npos) return pathname;
    return pathname.substr(pos + 1);
}

std::string vqUtilita::StripTerminator(const std::string& strString) {
    const auto pos = strString.find('\0');
    return pos == std::string::npos ? strString : strString.substr(0, pos);
}

// The operating system's own folder: on this platform the root of the file system.
std::string vqUtilita::CartellaWindows() { return "/"; }

// The folder of the system's shared libraries; the empty text when it is not there.
std::string vqUtilita::GetWindowsSysDir() {
    std::string cartella = "/usr/lib/";
    if (!EsisteCartella(cartella)) return {};
    return AggiungiSepDir(cartella);
}

// The user's temporary folder ($TMPDIR when it is an absolute path, else /tmp); the
// program's folder when neither names a folder.
std::string vqUtilita::GetDirectoryTemp() {
    std::string cartella;
    if (const char* tmp = std::getenv("TMPDIR"); tmp != nullptr && *tmp == '/')
        cartella = StripTerminator(tmp);
    if (cartella.empty() || !EsisteCartella(cartella)) cartella = "/tmp";
    if (!EsisteCartella(cartella)) cartella = vq::utilita::CartellaProgramma();
    return AggiungiSepDir(cartella);
}

// A new, empty file "vq<hex>.tmp" in the temporary folder, created exclusively so that an
// existing file (or a link planted under the same name) is never reused. The numbers are
// tried from a random start through the whole 16-bit range; when no name can be created
// the failure is raised as error 322 rather than handing out a name that was never made.
std::string vqUtilita::GetFileTemporaneo() {
    const std::string cartella = GetDirectoryTemp();
    std::random_device rd;
    auto numero = static_cast<unsigned>(rd() % 0xFFFFU) + 1U;
    for (unsigned tentativo = 0; tentativo < 0xFFFFU; ++tentativo) {
        char nome[16];
        std::snprintf(nome, sizeof nome, "vq%X.tmp", numero);
        const std::string percorso = cartella + nome;
        const int fd =
            ::open(percorso.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd >= 0) {
            ::close(fd);
            return percorso;
        }
        if (errno != EEXIST) break;  // no rights, no space, no folder: trying on is pointless
        numero = numero % 0xFFFFU + 1U;
    }
    vq::Solleva(322);
}
