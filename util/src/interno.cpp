#include "interno.h"

#include <vq/errore.h>

#include <climits>
#include <string>
#include <unistd.h>

namespace vq::utilita {

namespace {

// Length of a UTF-8 text in UTF-16 code units, the unit in which the class's 16-bit
// counters have always measured texts (a character beyond U+FFFF counts twice).
std::size_t LunghezzaUtf16(std::string_view testo) noexcept {
    std::size_t n = 0;
    for (const char c : testo) {
        const auto b = static_cast<unsigned char>(c);
        if ((b & 0xC0U) != 0x80U) ++n;   // a lead byte or an ASCII character starts one unit
        if (b >= 0xF0U) ++n;             // four-byte sequences need a surrogate pair
    }
    return n;
}

}  // namespace

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

}  // namespace vq::utilita
