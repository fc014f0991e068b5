// The JSON form of a database description.
#include "interno.h"

#include <vq/errore.h>

#include <nlohmann/json.hpp>

#include <fstream>
#include <sstream>

namespace jetwriter {

namespace {

using json = nlohmann::json;

[[noreturn]] void Errore(const std::string& testo) { vq::Solleva(kErrSpecifica, testo); }

const json* Campo(const json& oggetto, const char* nome) {
    auto it = oggetto.find(nome);
    return it == oggetto.end() ? nullptr : &*it;
}

std::string Testo(const json& j, const std::string& dove) {
    if (!j.is_string()) Errore(dove + ": atteso un testo");
    return j.get<std::string>();
}

void SoloChiavi(const json& oggetto, std::initializer_list<const char*> ammesse,
                const std::string& dove) {
    for (auto it = oggetto.begin(); it != oggetto.end(); ++it) {
        bool ok = false;
        for (const char* a : ammesse) ok = ok || it.key() == a;
        if (!ok) Errore(dove + ": chiave sconosciuta \"" + it.key() + "\"");
    }
}

Valore ValoreDa(const json& j, const std::string& dove) {
    switch (j.type()) {
        case json::value_t::null: return std::monostate{};
        case json::value_t::boolean: return j.get<bool>();
        case json::value_t::number_integer: return j.get<std::int64_t>();
        case json::value_t::number_unsigned: {
            const auto u = j.get<std::uint64_t>();
            if (u > static_cast<std::uint64_t>(INT64_MAX))
                vq::Solleva(kErrValore, dove + ": numero troppo grande");
            return static_cast<std::int64_t>(u);
        }
        case json::value_t::number_float: return j.get<double>();
        case json::value_t::string: return j.get<std::string>();
        default:
            vq::Solleva(kErrValore,
                        dove + ": valore non ammesso (né numero, né testo, né true/false/null)");
    }
}

}  // namespace

Specifica SpecificaDaJson(std::string_view testo) {
    json radice;
    try {
        radice = json::parse(testo.begin(), testo.end());
    } catch (const json::parse_error& e) {
        vq::Solleva(kErrJson,
                    "JSON non valido al byte " + std::to_string(e.byte) + ": " + e.what());
    } catch (const json::exception& e) {  // a number too large for any type, ...
        vq::Solleva(kErrJson, std::string("JSON non valido: ") + e.what());
    }
    if (!radice.is_object()) Errore("La descrizione deve essere un oggetto JSON");
    SoloChiavi(radice, {"format", "code_page", "password", "creation_date", "tables"},
               "Descrizione");
    Specifica s;
    if (const json* f = Campo(radice, "format")) {
        const std::string nome = Testo(*f, "format");
        if (nome == "jet3") {
            s.formato = Formato::Jet3;
        } else if (nome == "jet4") {
            s.formato = Formato::Jet4;
        } else {
            Errore("format \"" + nome + "\" sconosciuto (ammessi \"jet3\" e \"jet4\")");
        }
    }
    if (const json* cp = Campo(radice, "code_page")) {
        if (!cp->is_number_integer() || cp->get<std::int64_t>() <= 0 ||
            cp->get<std::int64_t>() > 65535)
            Errore("code_page: atteso un numero intero di code page, per esempio 1252");
        s.codePage = static_cast<int>(cp->get<std::int64_t>());
    }
    if (const json* p = Campo(radice, "password"); p && !p->is_null())
        s.password = Testo(*p, "password");
    if (const json* d = Campo(radice, "creation_date"); d && !d->is_null()) {
        if (d->is_number()) {
            s.dataCreazione = d->get<double>();
        } else {
            double g = 0;
            std::string problema;
            if (!interno::DataDaTesto(Testo(*d, "creation_date"), g, problema))
                Errore("creation_date: " + problema);
            s.dataCreazione = g;
        }
    }
    const json* tabelle = Campo(radice, "tables");
    if (!tabelle || !tabelle->is_array()) Errore("tables: attesa una lista di tabelle");
    std::size_t it = 0;
    for (const json& jt : *tabelle) {
        ++it;
        const std::string doveT = "Tabella " + std::to_string(it);
        if (!jt.is_object()) Errore(doveT + ": atteso un oggetto");
        SoloChiavi(jt, {"name", "columns", "rows"}, doveT);
        Tabella t;
        const json* nome = Campo(jt, "name");
        if (!nome) Errore(doveT + ": manca \"name\"");
        t.nome = Testo(*nome, doveT + ", name");
        const std::string dove = "Tabella \"" + t.nome + "\"";
        const json* colonne = Campo(jt, "columns");
        if (!colonne || !colonne->is_array()) Errore(dove + ": columns deve essere una lista");
        std::size_t ic = 0;
        for (const json& jc : *colonne) {
            ++ic;
            const std::string doveC = dove + ", colonna " + std::to_string(ic);
            if (!jc.is_object()) Errore(doveC + ": atteso un oggetto");
            SoloChiavi(jc, {"name", "type", "size", "autonumber"}, doveC);
            Colonna c;
            const json* n = Campo(jc, "name");
            if (!n) Errore(doveC + ": manca \"name\"");
            c.nome = Testo(*n, doveC + ", name");
            const std::string doveN = dove + ", colonna \"" + c.nome + "\"";
            const json* tipo = Campo(jc, "type");
            if (!tipo) Errore(doveN + ": manca \"type\"");
            const std::string nomeTipo = Testo(*tipo, doveN + ", type");
            const auto tp = TipoDaNome(nomeTipo);
            if (!tp)
                Errore(doveN + ": tipo \"" + nomeTipo +
                       "\" sconosciuto (ammessi byte, integer, long, single, double, currency, "
                       "datetime, "
                       "boolean, text, memo)");
            c.tipo = *tp;
            if (const json* size = Campo(jc, "size")) {
                if (c.tipo != Tipo::Text) Errore(doveN + ": \"size\" vale solo per il tipo text");
                if (!size->is_number_integer())
                    Errore(doveN + ": size deve essere un numero intero");
                const auto v = size->get<std::int64_t>();
                if (v < 1 || v > 255)
                    Errore(doveN + ": dimensione " + std::to_string(v) +
                           " fuori dall'intervallo 1-255");
                c.dimensione = static_cast<int>(v);
            }
            if (const json* a = Campo(jc, "autonumber")) {
                if (!a->is_boolean()) Errore(doveN + ": autonumber deve essere true o false");
                c.contatore = a->get<bool>();
            }
            t.colonne.push_back(std::move(c));
        }
        if (const json* righe = Campo(jt, "rows")) {
            if (!righe->is_array()) Errore(dove + ": rows deve essere una lista di righe");
            std::size_t ir = 0;
            for (const json& jr : *righe) {
                ++ir;
                const std::string doveR = dove + ", riga " + std::to_string(ir);
                if (!jr.is_array()) vq::Solleva(kErrValore, doveR + ": attesa una lista di valori");
                if (jr.size() != t.colonne.size())
                    vq::Solleva(kErrValore, doveR + ": " + std::to_string(jr.size()) +
                                                " valori, la tabella ha " +
                                                std::to_string(t.colonne.size()) + " colonne");
                Riga r;
                r.reserve(jr.size());
                std::size_t iv = 0;
                for (const json& jv : jr) {
                    r.push_back(ValoreDa(jv, doveR + ", colonna \"" + t.colonne[iv].nome + "\""));
                    ++iv;
                }
                t.righe.push_back(std::move(r));
            }
        }
        s.tabelle.push_back(std::move(t));
    }
    return s;
}

Specifica SpecificaDaFileJson(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) vq::Solleva(vq::kErrFileNonTrovato, "Impossibile aprire \"" + file.string() + "\"");
    std::ostringstream buf;
    buf << in.rdbuf();
    return SpecificaDaJson(buf.str());
}

}  // namespace jetwriter
