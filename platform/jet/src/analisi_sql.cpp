#include "jet/analisi_sql.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <optional>

#include "vq/ascii.h"
#include "vq/data.h"

namespace jet {
namespace {

bool Uguale(std::string_view a, std::string_view b) { return vq::UgualiSenzaMaiuscole(a, b); }

bool ParolaChiave(const Token& t, std::string_view k) {
    return t.tipo == Token::Tipo::Parola && Uguale(t.testo, k);
}
bool Simbolo(const Token& t, std::string_view s) {
    return t.tipo == Token::Tipo::Simbolo && t.testo == s;
}

bool InizioParola(unsigned char c) { return std::isalpha(c) || c == '_' || c >= 0x80; }
bool InParola(unsigned char c) { return std::isalnum(c) || c == '_' || c >= 0x80 || c == '$'; }

}  // namespace

std::vector<Token> Tokenizza(std::string_view sql) {
    std::vector<Token> out;
    std::size_t i = 0;
    const std::size_t n = sql.size();
    auto at = [&](std::size_t k) -> unsigned char {
        return k < n ? static_cast<unsigned char>(sql[k]) : 0;
    };
    while (i < n) {
        unsigned char c = at(i);
        if (std::isspace(c)) {
            ++i;
        } else if (c == '-' && at(i + 1) == '-') {
            while (i < n && sql[i] != '\n') ++i;
        } else if (c == '/' && at(i + 1) == '*') {
            std::size_t f = sql.find("*/", i + 2);
            i = f == std::string_view::npos ? n : f + 2;
        } else if (c == '[' || c == '`') {
            char chiusa = c == '[' ? ']' : '`';
            std::size_t f = sql.find(chiusa, i + 1);
            std::size_t fine = f == std::string_view::npos ? n : f + 1;
            std::size_t finTesto = f == std::string_view::npos ? n : f;
            out.push_back(
                {Token::Tipo::Nome, std::string(sql.substr(i + 1, finTesto - i - 1)), i, fine});
            i = fine;
        } else if (c == '\'' || c == '"') {
            std::size_t k = i + 1;
            std::string testo;
            while (k < n) {
                if (static_cast<unsigned char>(sql[k]) == c) {
                    if (at(k + 1) == c) {
                        testo += static_cast<char>(c);
                        k += 2;
                        continue;
                    }
                    ++k;
                    break;
                }
                testo += sql[k++];
            }
            out.push_back({Token::Tipo::Stringa, testo, i, k});
            i = k;
        } else if (std::isdigit(c) || (c == '.' && std::isdigit(at(i + 1)))) {
            std::size_t k = i;
            while (k < n && (std::isalnum(at(k)) || at(k) == '.' ||
                             ((at(k) == '+' || at(k) == '-') && k > i &&
                              (at(k - 1) == 'e' || at(k - 1) == 'E'))))
                ++k;
            out.push_back({Token::Tipo::Numero, std::string(sql.substr(i, k - i)), i, k});
            i = k;
        } else if (InizioParola(c)) {
            std::size_t k = i;
            while (k < n && InParola(at(k))) ++k;
            out.push_back({Token::Tipo::Parola, std::string(sql.substr(i, k - i)), i, k});
            i = k;
        } else {
            std::size_t len = 1;
            static constexpr std::string_view kDoppi[] = {"<=", ">=", "<>", "!=", "==", "||"};
            for (auto d : kDoppi)
                if (sql.substr(i, 2) == d) len = 2;
            out.push_back({Token::Tipo::Simbolo, std::string(sql.substr(i, len)), i, i + len});
            i += len;
        }
    }
    return out;
}

std::vector<std::string> TabelleUsate(std::string_view sql) { return TabelleUsate(Tokenizza(sql)); }

std::vector<std::string> TabelleUsate(const std::vector<Token>& t) {
    std::vector<std::string> tabelle;
    auto aggiungi = [&](const std::string& nome) {
        for (const auto& x : tabelle)
            if (Uguale(x, nome)) return;
        tabelle.push_back(nome);
    };
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (!ParolaChiave(t[i], "from")) continue;
        int profondita = 0;
        int profonditaOn = 0;
        bool attesa = true;
        bool inOn = false;
        for (std::size_t j = i + 1; j < t.size(); ++j) {
            const Token& k = t[j];
            if (Simbolo(k, "(")) {
                ++profondita;
                if (!inOn) attesa = true;
                continue;
            }
            if (Simbolo(k, ")")) {
                if (--profondita < 0) break;
                if (inOn && profondita < profonditaOn) inOn = false;
                continue;
            }
            if (Simbolo(k, ";")) break;
            if (Simbolo(k, ",")) {
                if (inOn && profondita == profonditaOn) inOn = false;  // the ON condition ends here
                if (!inOn) attesa = true;
                continue;
            }
            if (k.tipo == Token::Tipo::Parola) {
                static constexpr std::string_view kFine[] = {
                    "where", "group", "order", "having", "union", "limit", "intersect", "except"};
                bool fine = false;
                for (auto f : kFine) fine = fine || Uguale(k.testo, f);
                if (fine) {
                    if (profondita == 0) break;
                    inOn = false;
                    attesa = false;
                    continue;
                }
                if (Uguale(k.testo, "select")) {  // a subquery: its own FROM is read on its own
                    int p = 0;
                    std::size_t m = j;
                    for (; m < t.size(); ++m) {
                        if (Simbolo(t[m], "(")) ++p;
                        if (Simbolo(t[m], ")") && --p < 0) break;
                    }
                    j = m - 1;
                    attesa = false;
                    continue;
                }
                if (Uguale(k.testo, "join")) {
                    attesa = true;
                    inOn = false;
                    continue;
                }
                if (Uguale(k.testo, "on")) {
                    inOn = true;
                    profonditaOn = profondita;
                    attesa = false;
                    continue;
                }
                static constexpr std::string_view kLegami[] = {"inner", "left", "right",  "outer",
                                                               "cross", "full", "natural"};
                bool legame = false;
                for (auto l : kLegami) legame = legame || Uguale(k.testo, l);
                if (legame) continue;
                if (Uguale(k.testo, "as")) {
                    attesa = false;
                    continue;
                }
            }
            if ((k.tipo == Token::Tipo::Parola || k.tipo == Token::Tipo::Nome) && attesa && !inOn) {
                attesa = false;
                if (j + 1 < t.size() && Simbolo(t[j + 1], "."))
                    continue;  // schema-qualified: not ours
                if (!k.testo.empty()) aggiungi(k.testo);
            }
        }
    }
    return tabelle;
}

Selezione AnalizzaSelezione(std::string_view sql) { return AnalizzaSelezione(sql, Tokenizza(sql)); }

Selezione AnalizzaSelezione(std::string_view sql, const std::vector<Token>& t) {
    Selezione s;
    std::size_t i = 0;
    while (i < t.size() && Simbolo(t[i], "(")) ++i;
    if (i >= t.size() || !ParolaChiave(t[i], "select")) return s;
    ++i;
    while (i < t.size() && (ParolaChiave(t[i], "distinct") || ParolaChiave(t[i], "all") ||
                            ParolaChiave(t[i], "distinctrow"))) {
        ++i;
    }
    if (i + 1 < t.size() && ParolaChiave(t[i], "top")) i += 2;

    std::vector<std::vector<Token>> voci(1);
    int profondita = 0;
    bool stella = false;
    for (; i < t.size(); ++i) {
        const Token& k = t[i];
        if (Simbolo(k, "(")) ++profondita;
        if (Simbolo(k, ")")) --profondita;
        if (profondita == 0 && ParolaChiave(k, "from")) {
            s.inizioFrom = k.inizio;
            break;
        }
        if (profondita == 0 && Simbolo(k, ",")) {
            voci.emplace_back();
            continue;
        }
        if (Simbolo(k, "*") && (voci.back().empty() || Simbolo(voci.back().back(), ".")))
            stella = true;
        voci.back().push_back(k);
    }
    if (stella) return s;
    for (auto& v : voci) {
        ColonnaSelezione c;
        // The alias ("as name") is not part of the expression.
        int p = 0;
        std::size_t fine = v.size();
        for (std::size_t k = 0; k < v.size(); ++k) {
            if (Simbolo(v[k], "(")) ++p;
            if (Simbolo(v[k], ")")) --p;
            if (p == 0 && ParolaChiave(v[k], "as")) {
                fine = k;
                c.alias = true;
                break;
            }
        }
        if (fine >= 4 && v[0].tipo == Token::Tipo::Parola && Simbolo(v[1], "(") &&
            Simbolo(v[fine - 1], ")")) {
            // The first parenthesis must close at the end of the expression.
            int q = 0;
            std::size_t chiusa = 0;
            for (std::size_t k = 1; k < fine; ++k) {
                if (Simbolo(v[k], "(")) ++q;
                if (Simbolo(v[k], ")") && --q == 0) {
                    chiusa = k;
                    break;
                }
            }
            const std::string nome = vq::InMinuscoleAscii(v[0].testo);
            static constexpr std::string_view kAggregati[] = {"sum",   "min",  "max",       "avg",
                                                              "first", "last", "dateserial"};
            bool aggregato = false;
            for (auto a : kAggregati) aggregato = aggregato || nome == a;
            if (aggregato && chiusa == fine - 1) {
                c.aggregato = nome;
                c.argomento = std::string(sql.substr(v[2].inizio, v[fine - 2].fine - v[2].inizio));
            }
        }
        s.colonne.push_back(std::move(c));
    }
    return s;
}

namespace {

std::optional<double> DataLetterale(std::string_view t) {
    // Trim, then split date and time.
    while (!t.empty() && std::isspace(static_cast<unsigned char>(t.front()))) t.remove_prefix(1);
    while (!t.empty() && std::isspace(static_cast<unsigned char>(t.back()))) t.remove_suffix(1);
    const std::string testo = vq::InMaiuscoleAscii(t);
    vq::DataOra d;
    bool conData = false;
    std::size_t pos = 0;
    int a = 0, b = 0, c = 0, n = 0;
    if (std::sscanf(testo.c_str(), "%d-%d-%d%n", &a, &b, &c, &n) == 3 && a >= 100) {
        d.anno = a, d.mese = b, d.giorno = c;
        conData = true;
        pos = static_cast<std::size_t>(n);
    } else if (std::sscanf(testo.c_str(), "%d/%d/%d%n", &a, &b, &c, &n) == 3) {
        d.mese = a, d.giorno = b, d.anno = c;
        if (n <= 0) return std::nullopt;
        // Two-digit years as the runtime reads them.
        std::size_t cifre = 0;
        for (std::size_t k = static_cast<std::size_t>(n);
             k > 0 && std::isdigit(static_cast<unsigned char>(testo[k - 1])); --k)
            ++cifre;
        if (cifre <= 2) d.anno += d.anno < 30 ? 2000 : 1900;
        conData = true;
        pos = static_cast<std::size_t>(n);
    }
    std::string_view resto = std::string_view(testo).substr(pos);
    while (!resto.empty() && resto.front() == ' ') resto.remove_prefix(1);
    if (!resto.empty()) {
        int h = 0, m = 0, sec = 0;
        n = 0;
        std::string r(resto);
        if (std::sscanf(r.c_str(), "%d:%d:%d%n", &h, &m, &sec, &n) != 3) {
            sec = 0;
            if (std::sscanf(r.c_str(), "%d:%d%n", &h, &m, &n) != 2) return std::nullopt;
        }
        std::string_view coda = std::string_view(r).substr(static_cast<std::size_t>(n));
        while (!coda.empty() && coda.front() == ' ') coda.remove_prefix(1);
        if (coda == "PM" || coda == "AM") {
            if (h < 1 || h > 12) return std::nullopt;
            h = (h % 12) + (coda == "PM" ? 12 : 0);
        } else if (!coda.empty()) {
            return std::nullopt;
        }
        if (h < 0 || h > 23 || m < 0 || m > 59 || sec < 0 || sec > 59) return std::nullopt;
        d.ora = h, d.minuto = m, d.secondo = sec;
    } else if (!conData) {
        return std::nullopt;
    }
    return vq::ComponiData(d);
}

std::string ModelloLike(const std::string& jet) {
    std::string s;
    for (std::size_t i = 0; i < jet.size(); ++i) {
        char c = jet[i];
        if (c == '[' && i + 2 < jet.size() && jet[i + 2] == ']') {  // [x]: x itself
            c = jet[i + 1];
            i += 2;
            if (c == '%' || c == '_' || c == '\\') s += '\\';
            s += c;
        } else if (c == '*') {
            s += '%';
        } else if (c == '?') {
            s += '_';
        } else {
            if (c == '%' || c == '_' || c == '\\') s += '\\';
            s += c;
        }
    }
    std::string q = "'";
    for (char c : s) {
        if (c == '\'') q += '\'';
        q += c;
    }
    return q + "' ESCAPE '\\'";
}

}  // namespace

std::string TraduciJet(std::string_view sql) {
    const std::vector<Token> t = Tokenizza(sql);
    std::string out;
    std::size_t copiato = 0;
    auto sostituisci = [&](std::size_t da, std::size_t a, const std::string& con) {
        out.append(sql.substr(copiato, da - copiato));
        out += con;
        copiato = a;
    };
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (Simbolo(t[i], "&")) {
            sostituisci(t[i].inizio, t[i].fine, "||");
        } else if (Simbolo(t[i], "#")) {
            std::size_t j = i + 1;
            while (j < t.size() && !Simbolo(t[j], "#") && t[j].tipo != Token::Tipo::Stringa) ++j;
            if (j < t.size() && Simbolo(t[j], "#")) {
                if (auto d = DataLetterale(sql.substr(t[i].fine, t[j].inizio - t[i].fine))) {
                    char b[40];
                    std::snprintf(b, sizeof b, "%.17g", *d);
                    sostituisci(t[i].inizio, t[j].fine, b);
                    i = j;
                }
            }
        } else if (ParolaChiave(t[i], "like") && i + 1 < t.size() &&
                   t[i + 1].tipo == Token::Tipo::Stringa && sql[t[i + 1].inizio] == '\'' &&
                   !(i + 2 < t.size() && ParolaChiave(t[i + 2], "escape"))) {
            sostituisci(t[i + 1].inizio, t[i + 1].fine, ModelloLike(t[i + 1].testo));
            ++i;
        }
    }
    out.append(sql.substr(copiato));
    return out;
}

}  // namespace jet
