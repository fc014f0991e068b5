// vqUtilita: settings files in the INI format.
#include <util/vqUtilita.h>

#include "ini.h"
#include "interno.h"

#include <vq/errore.h>
#include <vq/file.h>

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace vq::utilita::ini {

namespace {

std::string_view Pulisci(std::string_view s) {
    const auto inizio = s.find_first_not_of(" \t");
    if (inizio == std::string_view::npos) return {};
    const auto fine = s.find_last_not_of(" \t");
    return s.substr(inizio, fine - inizio + 1);
}

// One line of the text: its content (without the line end) and where the next begins.
struct Riga {
    std::size_t inizio;
    std::size_t fine;      // end of the content
    std::size_t prossima;  // start of the next line (text size for the last one)
};

std::vector<Riga> Righe(std::string_view testo) {
    std::vector<Riga> righe;
    std::size_t i = 0;
    while (i < testo.size()) {
        const auto lf = testo.find('\n', i);
        if (lf == std::string_view::npos) {
            // A last line without LF: a final CR still ends it, as it will once the
            // line is completed.
            const std::size_t fine = testo.back() == '\r' ? testo.size() - 1 : testo.size();
            righe.push_back({i, fine, testo.size()});
            break;
        }
        const std::size_t fine = lf > i && testo[lf - 1] == '\r' ? lf - 1 : lf;
        righe.push_back({i, fine, lf + 1});
        i = lf + 1;
    }
    return righe;
}

enum class Tipo { Altro, Sezione, Chiave };

struct Analisi {
    Tipo tipo = Tipo::Altro;
    std::string_view nome;    // section or key name, cleaned
    std::string_view valore;  // key value, cleaned
};

Analisi Analizza(std::string_view riga) {
    const std::string_view pulita = Pulisci(riga);
    if (pulita.empty() || pulita.front() == ';') return {};
    if (pulita.front() == '[') {
        const auto chiusa = pulita.find(']');
        return {Tipo::Sezione,
                Pulisci(pulita.substr(
                    1, chiusa == std::string_view::npos ? std::string_view::npos : chiusa - 1)),
                {}};
    }
    const auto uguale = pulita.find('=');
    if (uguale == std::string_view::npos) return {};
    return {Tipo::Chiave, Pulisci(pulita.substr(0, uguale)), Pulisci(pulita.substr(uguale + 1))};
}

bool Uguali(std::string_view a, const std::string& piegato) { return PiegaCaso(a) == piegato; }

// Where the first section named `sezione` is: its header line and the line after its
// last one; nullopt when there is none.
struct Posizione {
    std::size_t intestazione;
    std::size_t fine;
};

std::optional<Posizione> TrovaSezione(std::string_view testo, const std::vector<Riga>& righe,
                                      const std::string& sezione) {
    for (std::size_t r = 0; r < righe.size(); ++r) {
        const auto a = Analizza(testo.substr(righe[r].inizio, righe[r].fine - righe[r].inizio));
        if (a.tipo != Tipo::Sezione || !Uguali(a.nome, sezione)) continue;
        std::size_t fine = r + 1;
        while (fine < righe.size() &&
               Analizza(testo.substr(righe[fine].inizio, righe[fine].fine - righe[fine].inizio))
                       .tipo != Tipo::Sezione)
            ++fine;
        return Posizione{r, fine};
    }
    return std::nullopt;
}

// Complete the text's last line when it has no LF, before something is added after it.
void CompletaUltimaRiga(std::string& r, std::string_view testo, const std::string& fineRiga) {
    if (testo.empty() || testo.back() == '\n') return;
    r += testo.back() == '\r' ? std::string("\n") : fineRiga;
}

}  // namespace

std::optional<std::string> Leggi(std::string_view testo, std::string_view sezione,
                                 std::string_view chiave) {
    const auto righe = Righe(testo);
    const auto pos = TrovaSezione(testo, righe, PiegaCaso(Pulisci(sezione)));
    if (!pos) return std::nullopt;
    const std::string cercata = PiegaCaso(Pulisci(chiave));
    for (std::size_t r = pos->intestazione + 1; r < pos->fine; ++r) {
        const auto a = Analizza(testo.substr(righe[r].inizio, righe[r].fine - righe[r].inizio));
        if (a.tipo != Tipo::Chiave || !Uguali(a.nome, cercata)) continue;
        std::string_view v = a.valore;
        if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
            v = v.substr(1, v.size() - 2);
        return std::string(v);
    }
    return std::nullopt;
}

bool Scrivibile(std::string_view sezione, std::string_view chiave, std::string_view valore) {
    const auto aCapo = [](std::string_view s) {
        return s.find_first_of("\r\n") != std::string_view::npos;
    };
    if (aCapo(sezione) || aCapo(chiave) || aCapo(valore)) return false;
    if (sezione.find(']') != std::string_view::npos) return false;
    const std::string_view k = Pulisci(chiave);
    return !k.empty() && k.find('=') == std::string_view::npos && k.front() != '[' &&
           k.front() != ';';
}

std::string Scrivi(std::string_view testo, std::string_view sezione, std::string_view chiave,
                   std::string_view valore) {
    const auto righe = Righe(testo);
    std::string fineRiga = "\r\n";
    if (!righe.empty() && righe[0].prossima > righe[0].fine &&
        testo[righe[0].prossima - 1] == '\n') {
        fineRiga = std::string(testo.substr(righe[0].fine, righe[0].prossima - righe[0].fine));
    }
    const std::string_view nomeSezione = Pulisci(sezione);
    const std::string_view nomeChiave = Pulisci(chiave);
    const auto pos = TrovaSezione(testo, righe, PiegaCaso(nomeSezione));

    std::string r;
    r.reserve(testo.size() + nomeSezione.size() + nomeChiave.size() + valore.size() + 8);
    if (!pos) {
        r.append(testo);
        if (!righe.empty()) {
            CompletaUltimaRiga(r, testo, fineRiga);
            if (righe.back().fine > righe.back().inizio)
                r += fineRiga;  // a blank line between sections
        }
        r += '[';
        r += nomeSezione;
        r += ']';
        r += fineRiga;
        r += nomeChiave;
        r += '=';
        r += valore;
        r += fineRiga;
        return r;
    }

    const std::string cercata = PiegaCaso(nomeChiave);
    std::size_t ultimaChiave = pos->intestazione;
    for (std::size_t i = pos->intestazione + 1; i < pos->fine; ++i) {
        const auto a = Analizza(testo.substr(righe[i].inizio, righe[i].fine - righe[i].inizio));
        if (a.tipo != Tipo::Chiave) continue;
        if (Uguali(a.nome, cercata)) {
            // The key's own line: its leading blanks and spelling kept, the value replaced.
            const std::string_view riga =
                testo.substr(righe[i].inizio, righe[i].fine - righe[i].inizio);
            const auto uguale = riga.find('=');
            std::string_view testa = riga.substr(0, uguale);
            testa = testa.substr(0, testa.find_last_not_of(" \t") + 1);
            r.append(testo.substr(0, righe[i].inizio));
            r.append(testa);
            r += '=';
            r.append(valore);
            r.append(testo.substr(righe[i].fine));
            return r;
        }
        ultimaChiave = i;
    }
    // A new key after the section's last key (after its header when it has none).
    const Riga& dopo = righe[ultimaChiave];
    r.append(testo.substr(0, dopo.prossima));
    if (dopo.prossima == testo.size()) CompletaUltimaRiga(r, testo, fineRiga);
    r.append(nomeChiave);
    r += '=';
    r.append(valore);
    r += fineRiga;
    r.append(testo.substr(dopo.prossima));
    return r;
}

}  // namespace vq::utilita::ini

namespace {

constexpr std::size_t kCaratteriLetti = 1999;  // a buffer of 2000 with its NUL

// A name without a folder lives in the system's folder, as profile files always have.
std::string PercorsoIni(const std::string& fileINI) {
    if (fileINI.find('/') != std::string::npos) return fileINI;
    return vqUtilita::CartellaWindows() + fileINI;
}

// At most `n` characters of a UTF-8 text (a character is never split).
std::string Taglia(std::string testo, std::size_t n) {
    std::size_t caratteri = 0;
    for (std::size_t i = 0; i < testo.size(); ++i) {
        if ((static_cast<unsigned char>(testo[i]) & 0xC0U) == 0x80U) continue;
        if (caratteri == n) {
            testo.resize(i);
            break;
        }
        ++caratteri;
    }
    return testo;
}

// The file's text; false when it exists but cannot be read (a missing file is empty).
bool LeggiTesto(const std::string& percorso, std::string& testo, bool& esiste) {
    const int errore = vq::utilita::LeggiFileIntero(percorso, testo);
    esiste = errore != ENOENT && errore != ENOTDIR;
    return errore == 0 || !esiste;
}

// An exclusive lock on a folder for the life of a scope (nothing when it cannot be had).
class BloccoCartella {
public:
    explicit BloccoCartella(const std::string& cartella)
        : fd_(::open(cartella.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        if (fd_ < 0) return;
        while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {}
    }
    ~BloccoCartella() {
        if (fd_ >= 0) ::close(fd_);  // closing releases the lock
    }
    BloccoCartella(const BloccoCartella&) = delete;
    BloccoCartella& operator=(const BloccoCartella&) = delete;

private:
    int fd_;
};

}  // namespace

std::string vqUtilita::LeggiINI(const std::string& fileINI, const std::string& Sezione,
                                const std::string& chiave, const std::string& DefaultValore) {
    std::string testo;
    bool esiste = false;
    std::optional<std::string> valore;
    if (LeggiTesto(PercorsoIni(fileINI), testo, esiste) && esiste)
        valore = vq::utilita::ini::Leggi(testo, Sezione, chiave);
    std::string letto =
        vq::utilita::TogliSpazi(Taglia(valore ? *valore : DefaultValore, kCaratteriLetti));
    if (letto.empty()) return DefaultValore;
    return letto;
}

bool vqUtilita::ScriviINI(const std::string& fileINI, const std::string& Sezione,
                          const std::string& chiave, const std::string& valore) {
    if (!vq::utilita::ini::Scrivibile(Sezione, chiave, valore)) return false;
    // A link is followed, so the file it points to is the one replaced.
    const std::string percorso = vq::SeguiCollegamento(PercorsoIni(fileINI));
    const auto barra = percorso.rfind('/');
    const std::string cartella =
        barra == std::string::npos ? std::string() : percorso.substr(0, barra + 1);
    // Writers take turns on the file's folder, so that two processes changing different
    // keys at once both see their change kept (readers need no turn: the file is
    // replaced whole). Where the folder cannot be locked the write goes ahead alone.
    BloccoCartella turno(cartella.empty() ? "." : cartella);

    std::string testo;
    bool esiste = false;
    if (!LeggiTesto(percorso, testo, esiste)) return false;
    const std::string nuovo = vq::utilita::ini::Scrivi(testo, Sezione, chiave, valore);
    vq::SostituzioneAtomica sost(percorso, cartella + ".ini-", ".tmp");
    if (sost.esito() != 0) return false;
    struct stat st {};
    if (esiste && ::stat(percorso.c_str(), &st) == 0) (void)::fchmod(sost.fd(), st.st_mode & 07777);
    std::size_t scritti = 0;
    while (scritti < nuovo.size()) {
        const ssize_t n = ::write(sost.fd(), nuovo.data() + scritti, nuovo.size() - scritti);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        scritti += static_cast<std::size_t>(n);
    }
    return sost.Conferma() == 0;
}
