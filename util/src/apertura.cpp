// The opener of documents and addresses: the desktop's handlers through xdg-utils, the
// test recorder and the process-wide current opener.
#include <util/apertura.h>

#include "interno.h"
#include "processi.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace vq::apertura {

int CodiceShell(Esito esito) noexcept {
    switch (esito) {
        case Esito::Avviato: return 42;
        case Esito::FileNonTrovato: return 2;
        case Esito::NessunProgramma: return 31;
        case Esito::AccessoNegato: break;
    }
    return 5;
}

namespace {

using vq::utilita::AvviaStaccato;
using vq::utilita::CercaProgramma;
using vq::utilita::EseguiCattura;

// The scheme of an address ("https" for "https://...", "mailto" for "Mailto:..."), in
// lower case; empty for a path. A scheme is a letter followed by letters, digits, "+",
// "-" or ".", then ":"; a path never starts that way here, as paths carry no drive letter.
std::string Schema(const std::string& documento) {
    const auto dp = documento.find(':');
    if (dp == std::string::npos || dp < 2) return {};
    if (std::isalpha(static_cast<unsigned char>(documento[0])) == 0) return {};
    for (std::size_t i = 0; i < dp; ++i) {
        const auto c = static_cast<unsigned char>(documento[i]);
        if (std::isalnum(c) == 0 && c != '+' && c != '-' && c != '.') return {};
    }
    return vq::utilita::PiegaCaso(std::string_view(documento).substr(0, dp));
}

// The path of a "file:" address, with its %XX escapes decoded.
std::string PercorsoDaFileUrl(const std::string& url) {
    std::string_view resto(url);
    resto.remove_prefix(5);  // "file:"
    if (resto.substr(0, 2) == "//") {
        resto.remove_prefix(2);
        const auto barra = resto.find('/');
        resto = barra == std::string_view::npos ? std::string_view{}
                                                : resto.substr(barra);  // host dropped
    }
    std::string p;
    for (std::size_t i = 0; i < resto.size(); ++i) {
        if (resto[i] == '%' && i + 2 < resto.size() &&
            std::isxdigit(static_cast<unsigned char>(resto[i + 1])) != 0 &&
            std::isxdigit(static_cast<unsigned char>(resto[i + 2])) != 0) {
            p += static_cast<char>(std::stoi(std::string(resto.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        } else {
            p += resto[i];
        }
    }
    return p;
}

std::string PrimaRiga(const std::string& testo) {
    std::string r = testo.substr(0, testo.find('\n'));
    const auto pv = r.find(';');
    if (pv != std::string::npos) r.resize(pv);
    while (!r.empty() && std::isspace(static_cast<unsigned char>(r.back())) != 0) r.pop_back();
    while (!r.empty() && std::isspace(static_cast<unsigned char>(r.front())) != 0) r.erase(0, 1);
    return r;
}

// A usual browser that xdg-open falls back to for web pages and addresses.
bool BrowserPresente() {
    if (const char* b = std::getenv("BROWSER"); b != nullptr) {
        std::string_view elenco(b);
        while (!elenco.empty()) {
            const auto dp = elenco.find(':');
            std::string voce(elenco.substr(0, dp));
            voce = voce.substr(0, voce.find(' '));
            if (!voce.empty() && CercaProgramma(voce)) return true;
            if (dp == std::string_view::npos) break;
            elenco.remove_prefix(dp + 1);
        }
    }
    for (const char* nome : {"x-www-browser", "firefox", "firefox-esr", "chromium",
                             "chromium-browser", "google-chrome", "epiphany", "konqueror",
                             "www-browser", "elinks", "links", "lynx", "w3m"}) {
        if (CercaProgramma(nome)) return true;
    }
    return false;
}

// A program file (ELF or script) that may be run as it is.
bool ProgrammaEseguibile(const std::string& percorso, const struct stat& st) {
    if (!S_ISREG(st.st_mode) || ::access(percorso.c_str(), X_OK) != 0) return false;
    std::ifstream in(percorso, std::ios::binary);
    char testa[4] = {};
    in.read(testa, sizeof testa);
    if (in.gcount() >= 4 && testa[0] == 0x7f && testa[1] == 'E' && testa[2] == 'L' &&
        testa[3] == 'F')
        return true;
    return in.gcount() >= 2 && testa[0] == '#' && testa[1] == '!';
}

}  // namespace

ApritoreDesktop::ApritoreDesktop() : ApritoreDesktop("xdg-mime", "xdg-open") {}

ApritoreDesktop::ApritoreDesktop(std::string xdgMime, std::string xdgOpen)
    : xdgMime_(std::move(xdgMime)), xdgOpen_(std::move(xdgOpen)) {}

Esito ApritoreDesktop::Apri(const std::string& documento, const std::string& cartellaLavoro) {
    if (documento.empty()) return Esito::FileNonTrovato;
    const std::string schema = Schema(documento);
    const bool indirizzo = !schema.empty() && schema != "file";
    std::string tipo;
    if (indirizzo) {
        tipo = "x-scheme-handler/" + schema;
    } else {
        const std::string percorso = schema == "file" ? PercorsoDaFileUrl(documento) : documento;
        struct stat st {};
        if (::stat(percorso.c_str(), &st) != 0) {
            return errno == ENOENT || errno == ENOTDIR ? Esito::FileNonTrovato
                                                       : Esito::AccessoNegato;
        }
        if (::access(percorso.c_str(), R_OK) != 0) return Esito::AccessoNegato;
        if (ProgrammaEseguibile(percorso, st)) {
            return AvviaStaccato({percorso}, cartellaLavoro) == 0 ? Esito::Avviato
                                                                  : Esito::AccessoNegato;
        }
        const auto mime = CercaProgramma(xdgMime_);
        if (!mime) return Esito::NessunProgramma;
        std::string uscita;
        if (EseguiCattura({*mime, "query", "filetype", percorso}, uscita) != 0)
            return Esito::NessunProgramma;
        tipo = PrimaRiga(uscita);
        if (tipo.empty()) return Esito::NessunProgramma;
    }

    bool gestito = false;
    if (const auto mime = CercaProgramma(xdgMime_)) {
        std::string uscita;
        gestito = EseguiCattura({*mime, "query", "default", tipo}, uscita) == 0 &&
                  !PrimaRiga(uscita).empty();
    }
    if (!gestito) {
        const bool web = tipo == "x-scheme-handler/http" || tipo == "x-scheme-handler/https" ||
                         tipo == "text/html" || tipo == "application/xhtml+xml";
        gestito = web && BrowserPresente();
    }
    if (!gestito) return Esito::NessunProgramma;

    const auto open = CercaProgramma(xdgOpen_);
    if (!open) return Esito::NessunProgramma;
    // The scheme in lower case ("Mailto:" becomes "mailto:"), as the handlers are
    // registered under it.
    const std::string daAprire = indirizzo ? schema + documento.substr(schema.size()) : documento;
    return AvviaStaccato({*open, daAprire}, cartellaLavoro) == 0 ? Esito::Avviato
                                                                 : Esito::AccessoNegato;
}

Esito RegistratoreAperture::Apri(const std::string& documento, const std::string& cartellaLavoro) {
    std::lock_guard<std::mutex> lock(mutex_);
    richieste_.push_back({documento, cartellaLavoro});
    if (esiti_.empty()) return Esito::Avviato;
    const Esito e = esiti_.front();
    esiti_.pop_front();
    return e;
}

void RegistratoreAperture::AccodaEsito(Esito esito) {
    std::lock_guard<std::mutex> lock(mutex_);
    esiti_.push_back(esito);
}

std::vector<RegistratoreAperture::Richiesta> RegistratoreAperture::Richieste() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return richieste_;
}

namespace {

std::mutex& MutexServizio() {
    static std::mutex m;
    return m;
}

std::shared_ptr<Apritore>& Corrente() {
    static std::shared_ptr<Apritore> corrente = std::make_shared<ApritoreDesktop>();
    return corrente;
}

}  // namespace

std::shared_ptr<Apritore> Servizio() {
    std::lock_guard<std::mutex> lock(MutexServizio());
    return Corrente();
}

std::shared_ptr<Apritore> SostituisciServizio(std::shared_ptr<Apritore> nuovo) {
    if (!nuovo) nuovo = std::make_shared<ApritoreDesktop>();
    std::lock_guard<std::mutex> lock(MutexServizio());
    std::swap(Corrente(), nuovo);
    return nuovo;
}

}  // namespace vq::apertura
