#include "interno.h"

#include <vq/errore.h>

#include <unicode/ucasemap.h>

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace vq::utilita {

std::size_t LunghezzaUtf16(std::string_view testo) noexcept {
    std::size_t n = 0;
    for (const char c : testo) {
        const auto b = static_cast<unsigned char>(c);
        if ((b & 0xC0U) != 0x80U) ++n;  // a lead byte or an ASCII character starts one unit
        if (b >= 0xF0U) ++n;            // four-byte sequences need a surrogate pair
    }
    return n;
}

void VerificaLunghezza16(std::string_view testo) {
    if (LunghezzaUtf16(testo) > 32767) Solleva(kErrOverflow);
}

std::string TogliSpazi(std::string_view testo) {
    const auto inizio = testo.find_first_not_of(' ');
    if (inizio == std::string_view::npos) return {};
    const auto fine = testo.find_last_not_of(' ');
    return std::string(testo.substr(inizio, fine - inizio + 1));
}

namespace {

std::string PercorsoEseguibile() {
    std::string buf(PATH_MAX, '\0');
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
        if (n < 0) Solleva(kErrFileNonTrovato);
        if (static_cast<std::size_t>(n) < buf.size()) {
            buf.resize(static_cast<std::size_t>(n));
            return buf;
        }
        buf.resize(buf.size() * 2);
    }
}

}  // namespace

std::string CartellaProgramma() {
    const std::string exe = PercorsoEseguibile();
    const auto barra = exe.rfind('/');
    if (barra == std::string::npos) Solleva(kErrFileNonTrovato);
    return exe.substr(0, barra + 1);
}

std::string NomeProgramma() {
    const std::string exe = PercorsoEseguibile();
    std::string nome = exe.substr(exe.rfind('/') + 1);
    const auto punto = nome.rfind('.');
    if (punto != std::string::npos && punto > 0) nome.resize(punto);
    return nome;
}

int LeggiFileIntero(const std::string& percorso, std::string& testo) {
    testo.clear();
    const int fd = ::open(percorso.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno;
    char buf[65536];
    int errore = 0;
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0) {
            testo.append(buf, static_cast<std::size_t>(n));
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            errore = errno;
            break;
        }
    }
    ::close(fd);
    if (errore != 0) testo.clear();
    return errore;
}

std::string PiegaCaso(std::string_view testo) {
    if (testo.empty()) return {};
    UErrorCode stato = U_ZERO_ERROR;
    UCaseMap* mappa = ucasemap_open(nullptr, U_FOLD_CASE_DEFAULT, &stato);
    if (U_FAILURE(stato)) return std::string(testo);
    std::string r(testo.size() * 3 + 4, '\0');
    const auto n = static_cast<int32_t>(testo.size());
    int32_t lunghezza = ucasemap_utf8FoldCase(mappa, r.data(), static_cast<int32_t>(r.size()),
                                              testo.data(), n, &stato);
    if (stato == U_BUFFER_OVERFLOW_ERROR) {
        stato = U_ZERO_ERROR;
        r.assign(static_cast<std::size_t>(lunghezza), '\0');
        lunghezza = ucasemap_utf8FoldCase(mappa, r.data(), static_cast<int32_t>(r.size()),
                                          testo.data(), n, &stato);
    }
    ucasemap_close(mappa);
    if (U_FAILURE(stato)) return std::string(testo);
    r.resize(static_cast<std::size_t>(lunghezza));
    return r;
}

}  // namespace vq::utilita
