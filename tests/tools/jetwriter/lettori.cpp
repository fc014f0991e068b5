#include "lettori.h"

#include <vq/data.h>

#include <glib.h>
#include <mdbtools.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <map>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iconv.h>
#include <stdexcept>

namespace prova {

namespace fs = std::filesystem;

const TabellaLetta* DatabaseLetto::Tabella(const std::string& nome) const {
    for (const auto& t : tabelle)
        if (t.nome == nome) return &t;
    return nullptr;
}

namespace {

std::string Reale(double d) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.17g", d);
    return buf;
}

std::string Valuta(std::int64_t v) {
    const bool neg = v < 0;
    const std::uint64_t a = neg ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s%llu.%04llu", neg ? "-" : "",
                  static_cast<unsigned long long>(a / 10000),
                  static_cast<unsigned long long>(a % 10000));
    return buf;
}

// A decimal text as the canonical currency text (valid input assumed: tests only).
std::string ValutaDaTesto(std::string t) {
    bool neg = false;
    if (!t.empty() && (t[0] == '-' || t[0] == '+')) {
        neg = t[0] == '-';
        t.erase(0, 1);
    }
    std::string intera = t, fraz;
    if (auto p = t.find('.'); p != std::string::npos) {
        intera = t.substr(0, p);
        fraz = t.substr(p + 1);
    }
    while (fraz.size() > 4 && fraz.back() == '0') fraz.pop_back();
    fraz.resize(4, '0');
    while (intera.size() > 1 && intera[0] == '0') intera.erase(0, 1);
    if (intera.empty()) intera = "0";
    const bool zero = intera == "0" && fraz == "0000";
    return (neg && !zero ? "-" : "") + intera + "." + fraz;
}

// libmdb's column types by the writer's names; "binary", "ole" for those it does not write.
const std::map<int, std::string> kTipiMdb = {
    {MDB_BOOL, "boolean"},  {MDB_BYTE, "byte"},         {MDB_INT, "integer"},
    {MDB_LONGINT, "long"},  {MDB_MONEY, "currency"},    {MDB_FLOAT, "single"},
    {MDB_DOUBLE, "double"}, {MDB_DATETIME, "datetime"}, {MDB_TEXT, "text"},
    {MDB_MEMO, "memo"},     {MDB_BINARY, "binary"},     {MDB_OLE, "ole"}};

std::string NomeTipoMdb(int t) {
    const auto i = kTipiMdb.find(t);
    return i == kTipiMdb.end() ? "altro" : i->second;
}

template <typename T>
T Leggi(const unsigned char* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Text in `codifica` up to its first zero character, as UTF-8 (through iconv, not the
// engine's own converters).
std::string InUtf8(const unsigned char* p, std::size_t n, const std::string& codifica) {
    std::string in(reinterpret_cast<const char*>(p), n);
    iconv_t cd = iconv_open("UTF-8", codifica.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv " + codifica);
    std::string out(in.size() * 4 + 4, '\0');
    char* src = in.data();
    std::size_t srcLeft = in.size();
    char* dst = out.data();
    std::size_t dstLeft = out.size();
    iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    iconv_close(cd);
    out.resize(out.size() - dstLeft);
    return out.substr(0, out.find('\0'));
}

}  // namespace

std::string CanonicoData(double giorni, bool millisecondi) {
    if (!millisecondi) return Reale(giorni);
    // As mdb-reader: (days - 25569) * 86400 * 1000, rounded half up.
    const double ms = (giorni - 25569) * 86400 * 1000;
    return "ms:" + Reale(std::floor(ms + 0.5));
}

DatabaseLetto LeggiConLibmdb(const fs::path& file) {
    MdbHandle* mdb = mdb_open(file.c_str(), MDB_NOFLAGS);
    if (!mdb) throw std::runtime_error("libmdb non apre " + file.string());
    const std::size_t bind = 1 << 20;
    mdb_set_bind_size(mdb, bind);
    DatabaseLetto db;
    db.formato = mdb->f->jet_version == MDB_VER_JET3 ? "jet3" : "jet4";
    const bool jet3 = mdb->f->jet_version == MDB_VER_JET3;
    if (!mdb_read_catalog(mdb, MDB_TABLE)) {
        mdb_close(mdb);
        throw std::runtime_error("libmdb non legge il catalogo di " + file.string());
    }
    for (unsigned i = 0; i < mdb->num_catalog; ++i) {
        auto* e = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
        if (e->object_type != MDB_TABLE || mdb_is_system_table(e)) continue;
        MdbTableDef* t = mdb_read_table(e);
        if (!t)
            throw std::runtime_error(std::string("libmdb non legge la tabella ") + e->object_name);
        mdb_read_columns(t);
        mdb_rewind_table(t);
        TabellaLetta tl;
        tl.nome = e->object_name;
        tl.righeDichiarate = t->num_rows;
        tl.pagina = static_cast<std::uint32_t>(e->table_pg);
        std::vector<std::vector<char>> buffer(t->num_cols, std::vector<char>(bind));
        std::vector<int> lunghezze(t->num_cols);
        for (unsigned j = 0; j < t->num_cols; ++j) {
            auto* c = static_cast<MdbColumn*>(g_ptr_array_index(t->columns, j));
            tl.colonne.push_back(
                {c->name, NomeTipoMdb(c->col_type), c->col_size, c->is_long_auto != 0});
            mdb_bind_column(t, static_cast<int>(j + 1), buffer[j].data(), &lunghezze[j]);
        }
        while (mdb_fetch_row(t)) {
            // The row's null mask, read from the page the row came from.
            int inizio = 0;
            std::size_t lunghezza = 0;
            if (mdb_find_row(mdb, static_cast<int>(t->cur_row) - 1, &inizio, &lunghezza) != 0)
                throw std::runtime_error("riga introvabile");
            inizio &= 0x1FFF;
            const unsigned char* pg = static_cast<const unsigned char*>(mdb->pg_buf);
            const std::size_t colonneRiga = jet3 ? pg[inizio] : Leggi<std::uint16_t>(pg + inizio);
            const std::size_t maschera = (colonneRiga + 7) / 8;
            const unsigned char* nulli = pg + inizio + lunghezza - maschera;
            std::vector<std::string> riga;
            for (unsigned j = 0; j < t->num_cols; ++j) {
                auto* c = static_cast<MdbColumn*>(g_ptr_array_index(t->columns, j));
                const bool presente = static_cast<std::size_t>(c->col_num) < colonneRiga &&
                                      (nulli[c->col_num / 8] & (1 << (c->col_num % 8))) != 0;
                if (c->col_type == MDB_BOOL) {
                    riga.push_back(presente ? "true" : "false");
                    continue;
                }
                if (!presente) {
                    riga.push_back("NULL");
                    continue;
                }
                const unsigned char* v = pg + c->cur_value_start;
                switch (c->col_type) {
                    case MDB_BYTE: riga.push_back(std::to_string(v[0])); break;
                    case MDB_INT: riga.push_back(std::to_string(Leggi<std::int16_t>(v))); break;
                    case MDB_LONGINT: riga.push_back(std::to_string(Leggi<std::int32_t>(v))); break;
                    case MDB_MONEY: riga.push_back(Valuta(Leggi<std::int64_t>(v))); break;
                    case MDB_FLOAT:
                        riga.push_back(Reale(static_cast<double>(Leggi<float>(v))));
                        break;
                    case MDB_DOUBLE: riga.push_back(Reale(Leggi<double>(v))); break;
                    case MDB_DATETIME: riga.push_back(CanonicoData(Leggi<double>(v), false)); break;
                    case MDB_TEXT:
                    case MDB_MEMO:
                        riga.push_back("'" + std::string(buffer[j].data(),
                                                         static_cast<std::size_t>(lunghezze[j])));
                        break;
                    default: riga.push_back("?"); break;
                }
            }
            tl.righe.push_back(std::move(riga));
        }
        mdb_free_tabledef(t);
        db.tabelle.push_back(std::move(tl));
    }
    mdb_close(mdb);
    return db;
}

std::optional<DatabaseLetto> LeggiConMdbReader(const fs::path& file, std::string& perche) {
    const char* sorgenti = std::getenv("VQ_SOURCE_DIR");
    const fs::path radice = sorgenti ? fs::path(sorgenti) : fs::path(JW_SORGENTI);
    const fs::path script = radice / "tools" / "node" / "jet-dump.mjs";
    if (!fs::exists(radice / "tools" / "node" / "node_modules" / "mdb-reader")) {
        perche = "mdb-reader non installato in tools/node (scripts/install-deps.sh)";
        return std::nullopt;
    }
    int stato = 0;
    Esegui("command -v node >/dev/null 2>&1", stato);
    if (stato != 0) {
        perche = "node non disponibile";
        return std::nullopt;
    }
    const std::string out =
        Esegui("node " + Quota(script.string()) + " " + Quota(file.string()), stato);
    if (stato != 0) throw std::runtime_error("mdb-reader non legge " + file.string());
    const auto j = nlohmann::json::parse(out);
    DatabaseLetto db;
    db.formato = j.at("format").get<std::string>();
    if (!j.at("password").is_null()) db.password = j.at("password").get<std::string>();
    for (const auto& jt : j.at("tables")) {
        TabellaLetta t;
        t.nome = jt.at("name").get<std::string>();
        t.righeDichiarate = jt.at("rowCount").get<std::int64_t>();
        std::vector<std::string> tipi;
        for (const auto& jc : jt.at("columns")) {
            std::string tipo = jc.at("type").get<std::string>();
            if (tipo == "float") tipo = "single";
            const bool noto = std::any_of(kTipiMdb.begin(), kTipiMdb.end(),
                                          [&](const auto& k) { return k.second == tipo; });
            if (!noto) tipo = "altro";
            tipi.push_back(tipo);
            t.colonne.push_back({jc.at("name").get<std::string>(), tipo, jc.at("size").get<int>(),
                                 jc.at("autonumber").get<bool>()});
        }
        for (const auto& jr : jt.at("rows")) {
            std::vector<std::string> riga;
            std::size_t k = 0;
            for (const auto& v : jr) {
                const std::string& tipo = tipi[k++];
                if (tipo == "boolean") {
                    riga.push_back(v.get<bool>() ? "true" : "false");
                } else if (v.is_null()) {
                    riga.push_back("NULL");
                } else if (tipo == "byte" || tipo == "integer" || tipo == "long") {
                    riga.push_back(std::to_string(v.get<std::int64_t>()));
                } else if (tipo == "currency") {
                    riga.push_back(ValutaDaTesto(v.get<std::string>()));
                } else if (tipo == "single" || tipo == "double") {
                    riga.push_back(Reale(v.get<double>()));
                } else if (tipo == "datetime") {
                    riga.push_back("ms:" + Reale(v.get<double>()));
                } else if (tipo == "text" || tipo == "memo") {
                    riga.push_back("'" + v.get<std::string>());
                } else {
                    riga.push_back("?");
                }
            }
            t.righe.push_back(std::move(riga));
        }
        db.tabelle.push_back(std::move(t));
    }
    return db;
}

std::uint32_t UltimoContatore(const fs::path& file, std::uint32_t paginaDefinizione) {
    std::ifstream in(file, std::ios::binary);
    std::array<unsigned char, 0x18> intestazione{};
    in.read(reinterpret_cast<char*>(intestazione.data()), intestazione.size());
    const bool jet4 = intestazione[0x14] != 0;
    const std::streamoff pagina = jet4 ? 4096 : 2048;
    in.seekg(pagina * paginaDefinizione + (jet4 ? 20 : 16));
    std::array<unsigned char, 4> v{};
    in.read(reinterpret_cast<char*>(v.data()), 4);
    if (!in) throw std::runtime_error("definizione illeggibile");
    return Leggi<std::uint32_t>(v.data());
}

std::string PasswordDaIntestazione(const fs::path& file, int codePage) {
    std::ifstream in(file, std::ios::binary);
    std::array<unsigned char, 256> p{};
    in.read(reinterpret_cast<char*>(p.data()), p.size());
    if (in.gcount() < 0xA0) throw std::runtime_error("intestazione corta");
    const bool jet4 = p[0x14] != 0;
    prova::MascheraIntestazione(p.data(), jet4 ? 128 : 126);
    if (!jet4) return InUtf8(&p[0x42], 20, "CP" + std::to_string(codePage));
    double data = 0;
    std::memcpy(&data, &p[0x72], 8);
    const auto giorni = static_cast<std::int32_t>(std::floor(data));
    unsigned char maschera[4];
    std::memcpy(maschera, &giorni, 4);
    for (std::size_t i = 0; i < 40; ++i) p[0x42 + i] ^= maschera[i % 4];
    return InUtf8(&p[0x42], 40, "UTF-16LE");
}

Righe Attese(const jetwriter::Tabella& t) {
    using namespace jetwriter;
    Righe out;
    std::int64_t contatore = 0;
    auto una = [&](const Riga& r) {
        std::vector<std::string> riga;
        for (std::size_t i = 0; i < t.colonne.size(); ++i) {
            const Colonna& c = t.colonne[i];
            const Valore& v = r[i];
            if (c.contatore) {
                const std::int64_t n = std::holds_alternative<std::monostate>(v)
                                           ? contatore + 1
                                           : std::get<std::int64_t>(v);
                contatore = std::max(contatore, n);
                riga.push_back(std::to_string(n));
                continue;
            }
            if (std::holds_alternative<std::monostate>(v)) {
                riga.push_back("NULL");
                continue;
            }
            auto comeDouble = [&]() {
                if (auto d = std::get_if<double>(&v)) return *d;
                return static_cast<double>(std::get<std::int64_t>(v));
            };
            switch (c.tipo) {
                case Tipo::Boolean: riga.push_back(std::get<bool>(v) ? "true" : "false"); break;
                case Tipo::Byte:
                case Tipo::Integer:
                case Tipo::Long:
                    riga.push_back(std::to_string(static_cast<std::int64_t>(comeDouble())));
                    break;
                case Tipo::Single:
                    riga.push_back(Reale(static_cast<double>(static_cast<float>(comeDouble()))));
                    break;
                case Tipo::Double: riga.push_back(Reale(comeDouble())); break;
                case Tipo::Currency:
                    if (auto p = std::get_if<jetwriter::Valuta>(&v))
                        riga.push_back(Valuta(p->decimillesimi));
                    else if (auto s = std::get_if<std::string>(&v))
                        riga.push_back(ValutaDaTesto(*s));
                    else if (auto q = std::get_if<std::int64_t>(&v))
                        riga.push_back(Valuta(*q * 10000));
                    else
                        riga.push_back(Valuta(
                            static_cast<std::int64_t>(std::llround(std::get<double>(v) * 10000))));
                    break;
                case Tipo::DateTime: {
                    double d = 0;
                    if (auto p = std::get_if<Data>(&v)) d = p->giorni;
                    else if (auto s = std::get_if<std::string>(&v)) d = vq::DataDaIso(*s).value();
                    else d = comeDouble();
                    riga.push_back(CanonicoData(d, false));
                    break;
                }
                case Tipo::Text:
                case Tipo::Memo: riga.push_back("'" + std::get<std::string>(v)); break;
            }
        }
        out.push_back(std::move(riga));
    };
    for (const auto& r : t.righe) una(r);
    if (t.generatore) {
        Riga r;
        for (std::int64_t i = 0; t.generatore(i, r); ++i) una(r);
    }
    return out;
}

}  // namespace prova
