// A hive in memory, and its REGEDIT4 text form.
#include "alveare.h"
#include "vq/ascii.h"

#include <unicode/uchar.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>

namespace vq::registro {

namespace {

// One UTF-8 character at s[i]: its code point and length, or nullopt when the bytes
// there are not valid UTF-8.
std::optional<std::pair<char32_t, std::size_t>> Carattere(std::string_view s, std::size_t i) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) return std::pair{char32_t{b0}, std::size_t{1}};
    std::size_t n;
    char32_t cp;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        n = 2;
        cp = b0 & 0x1Fu;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        n = 3;
        cp = b0 & 0x0Fu;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        n = 4;
        cp = b0 & 0x07u;
    } else {
        return std::nullopt;
    }
    if (i + n > s.size()) return std::nullopt;
    for (std::size_t k = 1; k < n; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0u) != 0x80u) return std::nullopt;
        cp = (cp << 6) | (b & 0x3Fu);
    }
    if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF))
        return std::nullopt;
    return std::pair{cp, n};
}

void AggiungiUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

bool Utf8Valido(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const auto c = Carattere(s, i);
        if (!c) return false;
        i += c->second;
    }
    return true;
}

bool Uguali(std::string_view a, std::string_view b) { return NomeConfronto(a) == NomeConfronto(b); }

std::string_view Rifila(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

bool IniziaSenzaCaso(std::string_view s, std::string_view prefisso) {
    if (s.size() < prefisso.size()) return false;
    for (std::size_t i = 0; i < prefisso.size(); ++i) {
        if (vq::MaiuscolaAscii(s[i]) != prefisso[i]) return false;
    }
    return true;
}

int CifraEsa(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads a quoted text at s[i] == '"'; escapes \\ and \" (any other backslash is kept as
// it stands, as in a path written by hand). Advances i past the closing quote.
std::optional<std::string> LeggiVirgolettato(std::string_view s, std::size_t& i) {
    std::string out;
    ++i;
    while (i < s.size()) {
        const char c = s[i];
        if (c == '"') {
            ++i;
            return out;
        }
        if (c == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"')) {
            out += s[i + 1];
            i += 2;
            continue;
        }
        out += c;
        ++i;
    }
    return std::nullopt;
}

// "xx,xx,...": one or two hex digits per byte, blanks allowed, a trailing comma allowed.
std::optional<std::vector<std::uint8_t>> LeggiByte(std::string_view s) {
    std::vector<std::uint8_t> out;
    s = Rifila(s);
    if (s.empty()) return out;
    std::size_t i = 0;
    while (true) {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
        int v = 0, cifre = 0;
        while (i < s.size() && CifraEsa(s[i]) >= 0) {
            v = v * 16 + CifraEsa(s[i]);
            ++i;
            if (++cifre > 2) return std::nullopt;
        }
        if (cifre == 0) return std::nullopt;
        out.push_back(static_cast<std::uint8_t>(v));
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
        if (i == s.size()) return out;
        if (s[i] != ',') return std::nullopt;
        ++i;
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
        if (i == s.size()) return out;  // trailing comma
    }
}

void ScriviVirgolettato(std::string& out, std::string_view s) {
    out += '"';
    for (const char c : s) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    out += '"';
}

// A REG_SZ that reads back exactly from "text": one terminating NUL and nothing else
// that a quoted line cannot carry.
bool TestoSemplice(const std::vector<std::uint8_t>& d) {
    if (d.empty() || d.back() != 0) return false;
    for (std::size_t i = 0; i + 1 < d.size(); ++i) {
        const auto b = d[i];
        if (b == 0 || (b < 0x20 && b != '\t') || b == 0x7F) return false;
    }
    return Utf8Valido(std::string_view(reinterpret_cast<const char*>(d.data()), d.size() - 1));
}

}  // namespace

std::string NomeConfronto(std::string_view nome) {
    std::string out;
    out.reserve(nome.size());
    for (std::size_t i = 0; i < nome.size();) {
        const auto c = Carattere(nome, i);
        if (!c) {
            out += nome[i];
            ++i;
            continue;
        }
        const auto cp = c->first;
        if (cp < 0x80) {
            out += vq::MaiuscolaAscii(static_cast<char>(cp));
        } else {
            AggiungiUtf8(out, static_cast<char32_t>(u_toupper(static_cast<UChar32>(cp))));
        }
        i += c->second;
    }
    return out;
}

bool NomeMemorizzabile(std::string_view nome) {
    return nome.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

Chiave* Chiave::Figlio(std::string_view n) {
    const std::string c = NomeConfronto(n);
    auto it =
        std::lower_bound(figli.begin(), figli.end(), c,
                         [](const Chiave& k, const std::string& x) { return k.confronto < x; });
    return it != figli.end() && it->confronto == c ? &*it : nullptr;
}

const Chiave* Chiave::Figlio(std::string_view n) const {
    return const_cast<Chiave*>(this)->Figlio(n);
}

Chiave& Chiave::CreaFiglio(std::string_view n, bool& creato) {
    std::string c = NomeConfronto(n);
    auto it =
        std::lower_bound(figli.begin(), figli.end(), c,
                         [](const Chiave& k, const std::string& x) { return k.confronto < x; });
    if (it != figli.end() && it->confronto == c) return *it;
    Chiave nuova;
    nuova.nome = std::string(n);
    nuova.confronto = std::move(c);
    creato = true;
    return *figli.insert(it, std::move(nuova));
}

bool Chiave::RimuoviFiglio(std::string_view n) {
    Chiave* f = Figlio(n);
    if (f == nullptr) return false;
    figli.erase(figli.begin() + (f - figli.data()));
    return true;
}

Valore* Chiave::TrovaValore(std::string_view n) {
    const std::string c = NomeConfronto(n);
    for (auto& v : valori) {
        if (NomeConfronto(v.nome) == c) return &v;
    }
    return nullptr;
}

const Valore* Chiave::TrovaValore(std::string_view n) const {
    return const_cast<Chiave*>(this)->TrovaValore(n);
}

bool Chiave::RimuoviValore(std::string_view n) {
    Valore* v = TrovaValore(n);
    if (v == nullptr) return false;
    valori.erase(valori.begin() + (v - valori.data()));
    return true;
}

bool Chiave::ImpostaValore(std::string_view n, DWORD tipo, std::vector<std::uint8_t> dati) {
    if (Valore* v = TrovaValore(n)) {
        if (v->tipo == tipo && v->dati == dati) return false;
        v->tipo = tipo;
        v->dati = std::move(dati);
        return true;
    }
    valori.push_back(Valore{std::string(n), tipo, std::move(dati)});
    return true;
}

Chiave* Chiave::Trova(const std::vector<std::string>& percorso) {
    Chiave* k = this;
    for (const auto& p : percorso) {
        k = k->Figlio(p);
        if (k == nullptr) return nullptr;
    }
    return k;
}

const Chiave* Chiave::Trova(const std::vector<std::string>& percorso) const {
    return const_cast<Chiave*>(this)->Trova(percorso);
}

EsitoAnalisi Analizza(std::string_view testo, std::string_view radice,
                      std::string_view abbreviazione, Chiave& albero) {
    albero = Chiave{};
    EsitoAnalisi esito;
    auto guasto = [&](std::size_t riga, std::string motivo) {
        esito.ok = false;
        esito.riga = riga;
        esito.motivo = std::move(motivo);
        albero = Chiave{};
        return esito;
    };

    if (testo.substr(0, 3) == "\xEF\xBB\xBF") testo.remove_prefix(3);
    if (const auto nul = testo.find('\0'); nul != std::string_view::npos) {
        const auto riga = static_cast<std::size_t>(
            std::count(testo.begin(), testo.begin() + static_cast<std::ptrdiff_t>(nul), '\n'));
        return guasto(riga + 1, "carattere NUL nel testo");
    }

    std::vector<std::string_view> righe;
    for (std::size_t inizio = 0; inizio <= testo.size();) {
        std::size_t fine = testo.find('\n', inizio);
        if (fine == std::string_view::npos) fine = testo.size();
        righe.push_back(testo.substr(inizio, fine - inizio));
        inizio = fine + 1;
    }

    std::size_t r = 0;
    while (r < righe.size() && Rifila(righe[r]).empty()) ++r;
    if (r == righe.size()) return esito;  // an empty file is an empty hive
    const std::string_view intestazione = Rifila(righe[r]);
    if (intestazione != "REGEDIT4" && intestazione != "Windows Registry Editor Version 5.00")
        return guasto(r + 1, "manca l'intestazione REGEDIT4");
    ++r;

    Chiave* corrente = nullptr;
    bool sezioneEliminata = false;
    for (; r < righe.size(); ++r) {
        const std::size_t numero = r + 1;
        std::string_view riga = Rifila(righe[r]);
        if (riga.empty() || riga.front() == ';') continue;

        if (riga.front() == '[') {
            if (riga.back() != ']') return guasto(numero, "sezione senza ']'");
            std::string_view percorso = riga.substr(1, riga.size() - 2);
            const bool elimina = !percorso.empty() && percorso.front() == '-';
            if (elimina) percorso.remove_prefix(1);
            std::vector<std::string_view> parti;
            for (std::size_t i = 0;;) {
                const std::size_t j = percorso.find('\\', i);
                parti.push_back(percorso.substr(
                    i, j == std::string_view::npos ? std::string_view::npos : j - i));
                if (j == std::string_view::npos) break;
                i = j + 1;
            }
            if (!Uguali(parti[0], radice) && !Uguali(parti[0], abbreviazione))
                return guasto(numero, "sezione di un'altra radice");
            if (!parti.empty() && parti.back().empty() && parti.size() > 1)
                parti.pop_back();  // "[...\]"
            for (std::size_t k = 1; k < parti.size(); ++k)
                if (parti[k].empty()) return guasto(numero, "nome di chiave vuoto");
            if (elimina) {
                if (parti.size() == 1) return guasto(numero, "eliminazione della radice");
                Chiave* padre = &albero;
                for (std::size_t k = 1; k + 1 < parti.size() && padre != nullptr; ++k)
                    padre = padre->Figlio(parti[k]);
                if (padre != nullptr) padre->RimuoviFiglio(parti.back());
                corrente = nullptr;
                sezioneEliminata = true;
                continue;
            }
            corrente = &albero;
            for (std::size_t k = 1; k < parti.size(); ++k) {
                bool creato = false;
                corrente = &corrente->CreaFiglio(parti[k], creato);
            }
            sezioneEliminata = false;
            continue;
        }

        if (riga.front() != '"' && riga.front() != '@')
            return guasto(numero, "riga non riconosciuta");
        if (corrente == nullptr && !sezioneEliminata)
            return guasto(numero, "valore fuori da una sezione");

        std::size_t i = 0;
        std::string nome;
        if (riga.front() == '@') {
            i = 1;
        } else {
            auto n = LeggiVirgolettato(riga, i);
            if (!n) return guasto(numero, "nome di valore senza virgolette di chiusura");
            nome = std::move(*n);
        }
        while (i < riga.size() && (riga[i] == ' ' || riga[i] == '\t')) ++i;
        if (i >= riga.size() || riga[i] != '=') return guasto(numero, "manca '='");
        ++i;
        while (i < riga.size() && (riga[i] == ' ' || riga[i] == '\t')) ++i;
        std::string_view dati = riga.substr(i);

        if (dati == "-") {
            if (corrente != nullptr) corrente->RimuoviValore(nome);
            continue;
        }

        DWORD tipo;
        std::vector<std::uint8_t> byte;
        if (!dati.empty() && dati.front() == '"') {
            std::size_t j = 0;
            auto t = LeggiVirgolettato(dati, j);
            if (!t) return guasto(numero, "testo senza virgolette di chiusura");
            if (!Rifila(dati.substr(j)).empty()) return guasto(numero, "caratteri dopo il testo");
            tipo = REG_SZ;
            byte.assign(t->begin(), t->end());
            byte.push_back(0);
        } else if (IniziaSenzaCaso(dati, "DWORD:")) {
            const std::string_view cifre = Rifila(dati.substr(6));
            if (cifre.empty() || cifre.size() > 8) return guasto(numero, "dword non valido");
            std::uint32_t v = 0;
            for (const char c : cifre) {
                const int d = CifraEsa(c);
                if (d < 0) return guasto(numero, "dword non valido");
                v = v * 16 + static_cast<std::uint32_t>(d);
            }
            tipo = REG_DWORD;
            byte = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                    static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
        } else if (IniziaSenzaCaso(dati, "HEX")) {
            std::size_t j = 3;
            tipo = REG_BINARY;
            if (j < dati.size() && dati[j] == '(') {
                const std::size_t chiusa = dati.find(')', j);
                if (chiusa == std::string_view::npos || chiusa == j + 1 || chiusa - j - 1 > 8)
                    return guasto(numero, "tipo esadecimale non valido");
                std::uint32_t t = 0;
                for (std::size_t k = j + 1; k < chiusa; ++k) {
                    const int d = CifraEsa(dati[k]);
                    if (d < 0) return guasto(numero, "tipo esadecimale non valido");
                    t = t * 16 + static_cast<std::uint32_t>(d);
                }
                tipo = t;
                j = chiusa + 1;
            }
            if (j >= dati.size() || dati[j] != ':') return guasto(numero, "manca ':' dopo hex");
            // The bytes, continued on the next lines while a line ends with "\".
            std::string tutti(Rifila(dati.substr(j + 1)));
            while (!tutti.empty() && tutti.back() == '\\') {
                tutti.pop_back();
                // A continuation needs a following line with bytes: a file cut short
                // after "\" is damaged, not a shorter value.
                if (r + 1 >= righe.size() || Rifila(righe[r + 1]).empty())
                    return guasto(r + 1, "continuazione interrotta");
                ++r;
                tutti += Rifila(righe[r]);
            }
            auto b = LeggiByte(tutti);
            if (!b) return guasto(r + 1, "byte esadecimali non validi");
            byte = std::move(*b);
        } else {
            return guasto(numero, "dato non riconosciuto");
        }
        if (corrente != nullptr) corrente->ImpostaValore(nome, tipo, std::move(byte));
    }
    return esito;
}

std::string Scrivi(const Chiave& albero, std::string_view radice) {
    std::string out = "REGEDIT4\n\n";
    std::string percorso(radice);

    auto scriviValore = [&out](const Valore& v) {
        const std::size_t inizioRiga = out.size();
        if (v.nome.empty()) {
            out += '@';
        } else {
            ScriviVirgolettato(out, v.nome);
        }
        out += '=';
        if (v.tipo == REG_SZ && TestoSemplice(v.dati)) {
            ScriviVirgolettato(out, std::string_view(reinterpret_cast<const char*>(v.dati.data()),
                                                     v.dati.size() - 1));
        } else if (v.tipo == REG_DWORD && v.dati.size() == 4) {
            const std::uint32_t n = v.dati[0] | (std::uint32_t{v.dati[1]} << 8) |
                                    (std::uint32_t{v.dati[2]} << 16) |
                                    (std::uint32_t{v.dati[3]} << 24);
            char buf[16];
            std::snprintf(buf, sizeof buf, "dword:%08x", n);
            out += buf;
        } else {
            char buf[24];
            if (v.tipo == REG_BINARY) {
                out += "hex:";
            } else {
                std::snprintf(buf, sizeof buf, "hex(%x):", v.tipo);
                out += buf;
            }
            // regedit wraps the bytes so that no line passes 80 columns, ending each
            // line but the last with "\" and indenting the next by two blanks.
            std::size_t colonna = out.size() - inizioRiga;
            static constexpr char kEsa[] = "0123456789abcdef";
            for (std::size_t k = 0; k < v.dati.size(); ++k) {
                out += kEsa[v.dati[k] >> 4];
                out += kEsa[v.dati[k] & 0xF];
                colonna += 2;
                if (k + 1 < v.dati.size()) {
                    out += ',';
                    ++colonna;
                    if (colonna > 76) {
                        out += "\\\n  ";
                        colonna = 2;
                    }
                }
            }
        }
        out += '\n';
    };

    auto scriviChiave = [&](auto&& self, const Chiave& k, bool radiceAlbero) -> void {
        if (!radiceAlbero || !k.valori.empty()) {
            out += '[';
            out += percorso;
            out += "]\n";
            for (const auto& v : k.valori) scriviValore(v);
            out += '\n';
        }
        for (const auto& f : k.figli) {
            const std::size_t lunghezza = percorso.size();
            percorso += '\\';
            percorso += f.nome;
            self(self, f, false);
            percorso.resize(lunghezza);
        }
    };
    scriviChiave(scriviChiave, albero, true);
    return out;
}

}  // namespace vq::registro
