// Values as the data-access objects give them, on files written by the Jet writer in
// both formats: types, Null against empty text, whole memos, Jet's text order, sums,
// DateSerial's carry, and the Mirtesa queries checked against the writer's own rows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <tuple>

#include "motore_prova.h"
#include "jet/errori.h"
#include "jetwriter/jetwriter.h"
#include "ole/automation.h"

namespace {

using jet::Valore;
using jetwriter::Tipo;

std::string MemoLungo() {
    std::string s;
    for (int i = 0; s.size() < 100000; ++i)
        s += "riga " + std::to_string(i) + " àèìòù € «citazione»\n";
    return s;
}

class Dati : public ::testing::TestWithParam<jetwriter::Formato> {
protected:
    void SetUp() override {
        prova::LimitiDiProva();
        jetwriter::Specifica s;
        s.formato = GetParam();
        jetwriter::Tabella t;
        t.nome = "Valori";
        t.colonne = {{"ID", Tipo::Long, 255, false},        {"Testo", Tipo::Text, 50, false},
                     {"Nota", Tipo::Memo, 255, false},      {"Lungo", Tipo::Long, 255, false},
                     {"Intero", Tipo::Integer, 255, false}, {"Piccolo", Tipo::Byte, 255, false},
                     {"Doppio", Tipo::Double, 255, false},  {"Singolo", Tipo::Single, 255, false},
                     {"Soldi", Tipo::Currency, 255, false}, {"Quando", Tipo::DateTime, 255, false},
                     {"Vero", Tipo::Boolean, 255, false}};
        using V = jetwriter::Valore;
        auto riga = [](std::int64_t id, V testo, V nota, V lungo, V intero, V piccolo, V doppio,
                       V singolo, V soldi, V quando, bool vero) {
            return jetwriter::Riga{V{id},  testo,   nota,  lungo,  intero, piccolo,
                                   doppio, singolo, soldi, quando, V{vero}};
        };
        const V null{};
        t.righe = {
            riga(1, std::string("Àltro"), MemoLungo(), std::int64_t{-2147483647 - 1},
                 std::int64_t{-32768}, std::int64_t{255}, 0.1 + 0.2, 1.5,
                 jetwriter::Valuta{1234567891234}, jetwriter::Data{-1.25}, true),
            riga(2, std::string(""), std::string(""), std::int64_t{2147483647}, std::int64_t{32767},
                 std::int64_t{0}, 1e300, -0.25, jetwriter::Valuta{-1}, jetwriter::Data{38353.5},
                 false),
            riga(3, null, null, null, null, null, null, null, null, null, false),
        };
        // Names for the text order, a few with an amount or a date.
        const std::tuple<const char*, V, V, bool> altre[] = {
            {"zeta", jetwriter::Valuta{1250}, null, true},
            {"Banca", jetwriter::Valuta{3750}, null, false},
            {"posta", null, jetwriter::Data{2958465.5}, false},
            {"è nuovo", null, null, false},
            {"Euro", null, null, false},
            {"Contanti", null, null, false}};
        for (const auto& [testo, soldi, quando, vero] : altre)
            t.righe.push_back(riga(static_cast<std::int64_t>(t.righe.size() + 1),
                                   std::string(testo), null, null, null, null, null, null, soldi,
                                   quando, vero));
        s.tabelle.push_back(std::move(t));
        file_ = dir_ / "valori.mdb";
        jetwriter::Scrivi(s, file_);
        impronte_.Registra(dir_.percorso());
        db_ = prova::Ws().OpenDatabase(file_.string(), false, true, "");
    }
    void TearDown() override {
        db_.reset();
        EXPECT_EQ(impronte_.Cambiati(), "");
    }
    prova::Impronte impronte_;

    Valore Uno(const std::string& sql) { return prova::Uno(*db_, sql); }

    prova::Cartella dir_;
    std::filesystem::path file_;
    std::unique_ptr<jet::Database> db_;
};

TEST_P(Dati, TipiComeLiDaDao) {
    // The second time the rows come from what the engine kept of the first reading.
    for (int volta = 1; volta <= 2; ++volta) {
        SCOPED_TRACE(volta);
        auto rs = db_->OpenRecordset("SELECT * FROM Valori WHERE ID = 1");
        struct Caso {
            const char* campo;  // names in any case
            VARTYPE vt;
            std::function<bool(const VARIANT&)> valore;
        };
        const Caso casi[] = {
            {"ID", VT_I4, [](const VARIANT& v) { return v.lVal == 1; }},
            {"Testo", VT_BSTR,
             [](const VARIANT& v) {
                 return std::u16string(v.bstrVal, SysStringLen(v.bstrVal)) == u"Àltro";
             }},
            {"Nota", VT_BSTR, [](const VARIANT& v) { return SysStringLen(v.bstrVal) > 0; }},
            {"Lungo", VT_I4, [](const VARIANT& v) { return v.lVal == -2147483647 - 1; }},
            {"Intero", VT_I2, [](const VARIANT& v) { return v.iVal == -32768; }},
            {"Piccolo", VT_UI1, [](const VARIANT& v) { return v.bVal == 255; }},
            {"Doppio", VT_R8,
             [](const VARIANT& v) { return v.dblVal == 0.1 + 0.2; }},  // every digit kept
            {"Singolo", VT_R4, [](const VARIANT& v) { return v.fltVal == 1.5f; }},
            {"Soldi", VT_CY, [](const VARIANT& v) { return v.cyVal.int64 == 1234567891234; }},
            {"Quando", VT_DATE,
             [](const VARIANT& v) { return v.date == -1.25; }},  // before 1900, as stored
            {"vero", VT_BOOL, [](const VARIANT& v) { return v.boolVal == VARIANT_TRUE; }},
        };
        for (const auto& c : casi) {
            VARIANT v = rs->Fields(c.campo);
            EXPECT_EQ(v.vt, c.vt) << c.campo;
            if (v.vt == c.vt) {
                EXPECT_TRUE(c.valore(v)) << c.campo;
            }
            VariantClear(&v);
        }
        VARIANT v = rs->Fields(8);
        EXPECT_EQ(v.cyVal.int64, 1234567891234);
        EXPECT_EQ(prova::NumeroErrore([&] { rs->Fields("Manca"); }), jet::kErrElemento);
    }
}

TEST_P(Dati, NullEVuotoSonoDiversi) {
    auto vuoto = prova::Righe(*db_, "SELECT Testo, Nota, Vero FROM Valori WHERE ID = 2").at(0);
    EXPECT_EQ(vuoto[0].tipo, Valore::Tipo::Testo);
    EXPECT_EQ(vuoto[0].testo, "");
    EXPECT_EQ(vuoto[1].tipo, Valore::Tipo::Testo);
    EXPECT_EQ(vuoto[2].tipo, Valore::Tipo::Booleano);
    EXPECT_EQ(vuoto[2].intero, 0);
    auto nulla =
        prova::Righe(*db_,
                     "SELECT Testo, Nota, Lungo, Soldi, Quando, Vero FROM Valori WHERE ID = 3")
            .at(0);
    for (std::size_t i = 0; i < 5; ++i) EXPECT_TRUE(nulla[i].IsNull()) << i;
    EXPECT_EQ(nulla[5].tipo, Valore::Tipo::Booleano);  // booleans are never Null
    EXPECT_EQ(prova::Conta(*db_, "SELECT Count(*) FROM Valori WHERE Testo IS NULL"), 1);
    EXPECT_EQ(prova::Conta(*db_, "SELECT Count(*) FROM Valori WHERE Testo = ''"), 1);
}

TEST_P(Dati, MemoMaiTagliato) {
    Valore v = Uno("SELECT Nota FROM Valori WHERE ID = 1");
    EXPECT_EQ(v.testo, MemoLungo());
}

TEST_P(Dati, OrdineDelTestoDiJet) {
    auto r = prova::Righe(*db_, "SELECT Testo FROM Valori WHERE Testo <> '' ORDER BY Testo");
    std::vector<std::string> nomi;
    for (auto& x : r) nomi.push_back(x[0].testo);
    EXPECT_EQ(nomi, (std::vector<std::string>{"Àltro", "Banca", "Contanti", "è nuovo", "Euro",
                                              "posta", "zeta"}));
    // '=' ignores case but not accents, as Jet's compare does.
    EXPECT_EQ(prova::Conta(*db_, "SELECT Count(*) FROM Valori WHERE Testo = 'BANCA'"), 1);
    EXPECT_EQ(prova::Conta(*db_, "SELECT Count(*) FROM Valori WHERE Testo = 'altro'"), 0);
    EXPECT_EQ(prova::Conta(*db_, "SELECT Count(*) FROM Valori WHERE Testo = 'ÀLTRO'"), 1);
}

TEST_P(Dati, SommeEConteggi) {
    auto rs = db_->OpenRecordset(
        "SELECT Sum(Valori.Soldi) as S, Sum(Doppio) AS D, Count(*), Max(Quando) FROM Valori");
    VARIANT s = rs->Fields("S");
    EXPECT_EQ(s.vt, VT_CY);
    EXPECT_EQ(s.cyVal.int64, 1234567891234 - 1 + 1250 + 3750);  // exact to the ten-thousandth
    VARIANT d = rs->Fields(1);
    EXPECT_EQ(d.vt, VT_R8);
    VARIANT c = rs->Fields(2);
    EXPECT_EQ(c.vt, VT_I4);
    EXPECT_EQ(c.lVal, 9);
    VARIANT m = rs->Fields(3);
    EXPECT_EQ(m.vt, VT_DATE);
    EXPECT_EQ(m.date, 2958465.5);
    // No rows: the sum is Null, the count 0.
    auto vuoto =
        prova::Righe(*db_, "SELECT Sum(Soldi) AS S, Count(*) FROM Valori WHERE ID > 100").at(0);
    EXPECT_TRUE(vuoto[0].IsNull());
    EXPECT_EQ(vuoto[1].intero, 0);
}

// A currency column computed past the 64 bits of a currency value (here by a union whose
// first select gives the column its type) is an overflow, never a wrapped amount.
TEST_P(Dati, ValutaOltreIlLimiteEOverflow) {
    const std::string base = "SELECT Soldi FROM Valori WHERE ID = 1 UNION ALL SELECT ";
    struct Caso {
        const char* valore;
        int errore;
        std::int64_t decimillesimi;
    };
    const Caso casi[] = {
        {"922337203685477", 0, 9223372036854770000},
        {"-12345.6789", 0, -123456789},
        {"922337203685478", vq::kErrOverflow, 0},
        {"1000000000000000000", vq::kErrOverflow, 0},
        {"-1e300", vq::kErrOverflow, 0},
    };
    for (const auto& c : casi) {
        std::vector<std::vector<Valore>> r;
        EXPECT_EQ(prova::NumeroErrore([&] { r = prova::Righe(*db_, base + c.valore); }), c.errore)
            << c.valore;
        if (c.errore == 0 && r.size() == 2) {
            EXPECT_EQ(r[1][0].tipo, Valore::Tipo::Valuta) << c.valore;
            EXPECT_EQ(r[1][0].intero, c.decimillesimi) << c.valore;
        }
    }
}

// Under a column whose Jet type a value does not fit (a union can put one there), the
// value comes back by its own kind: never cut to the type, never text read as 0.
TEST_P(Dati, ValoreCheNonStaNelTipoDellaColonna) {
    struct Caso {
        const char* colonna;
        const char* valore;
        Valore::Tipo tipo;
        std::int64_t intero;
        double reale;
        const char* testo;
    };
    using T = Valore::Tipo;
    const Caso casi[] = {
        {"Piccolo", "300", T::Lungo, 300, 0, ""},
        {"Piccolo", "7", T::Byte, 7, 0, ""},
        {"Intero", "70000", T::Lungo, 70000, 0, ""},
        {"Intero", "2.5", T::Doppio, 0, 2.5, ""},
        {"Lungo", "3000000000", T::Doppio, 0, 3e9, ""},
        {"Lungo", "'abc'", T::Testo, 0, 0, "abc"},
        {"Doppio", "'abc'", T::Testo, 0, 0, "abc"},
        {"Quando", "'ieri'", T::Testo, 0, 0, "ieri"},
        {"Soldi", "'abc'", T::Testo, 0, 0, "abc"},
        {"Vero", "'sì'", T::Testo, 0, 0, "sì"},
    };
    for (const auto& c : casi) {
        const std::string sql = std::string("SELECT ") + c.colonna +
                                " FROM Valori WHERE ID = 1 UNION ALL SELECT " + c.valore;
        auto r = prova::Righe(*db_, sql);
        ASSERT_EQ(r.size(), 2u) << sql;
        const Valore& v = r[1][0];
        EXPECT_EQ(v.tipo, c.tipo) << sql;
        EXPECT_EQ(v.intero, c.intero) << sql;
        EXPECT_EQ(v.reale, c.reale) << sql;
        EXPECT_EQ(v.testo, c.testo) << sql;
    }
}

TEST_P(Dati, DateSerialConIlRiporto) {
    // The carry itself is the runtime's; here: wired in, a date, and usable in a filter.
    Valore v = Uno("SELECT DateSerial(2004,13,1)");
    EXPECT_EQ(v.tipo, Valore::Tipo::Data);
    EXPECT_EQ(v.reale, 38353);
    EXPECT_EQ(
        prova::Conta(*db_,
                     "SELECT Count(*) FROM Valori WHERE Quando between DateSerial(2004,13,1) and "
                     "DateSerial(2005,1,2)"),
        1);
    EXPECT_EQ(prova::NumeroErrore([&] { Uno("SELECT DateSerial(10000,1,1)"); }),
              vq::kErrChiamataNonValida);
    // Jet's own syntax: date literals, & and LIKE wildcards.
    EXPECT_EQ(
        prova::Conta(*db_, "SELECT Count(*) FROM Valori WHERE Quando = #1/1/2005 12:00:00 PM#"), 1);
    EXPECT_EQ(
        prova::Conta(*db_,
                     "SELECT Count(*) FROM Valori WHERE Testo LIKE 'b*' OR Testo LIKE '?ost[a]'"),
        2);
    EXPECT_EQ(Uno("SELECT Testo & '-' & ID FROM Valori WHERE ID = 5").testo, "Banca-5");
    // The parts of a date, before 1900 included, and Jet's Nz and IIf.
    auto parti =
        prova::Righe(*db_,
                     "SELECT Year(Quando), Month(Quando), Day(Quando), Nz(Testo, 'vuoto'), "
                     "IIf(Vero, 'sì', 'no') FROM Valori WHERE ID IN (1, 3) ORDER BY ID");
    ASSERT_EQ(parti.size(), 2u);
    EXPECT_EQ(parti[0][0].intero, 1899);
    EXPECT_EQ(parti[0][1].intero, 12);
    EXPECT_EQ(parti[0][2].intero, 29);
    EXPECT_EQ(parti[0][3].testo, "Àltro");
    EXPECT_EQ(parti[0][4].testo, "sì");
    EXPECT_TRUE(parti[1][0].IsNull());
    EXPECT_EQ(parti[1][3].testo, "vuoto");
    EXPECT_EQ(parti[1][4].testo, "no");
}

TEST_P(Dati, GetRowsCampiPerRighe) {
    // The bounds of one dimension of the array.
    auto limiti = [](const VARIANT& a, UINT dim) {
        LONG lo = -1, hi = -1;
        SafeArrayGetLBound(a.parray, dim, &lo);
        SafeArrayGetUBound(a.parray, dim, &hi);
        return std::pair{lo, hi};
    };
    auto rs = db_->OpenRecordset("SELECT ID, Testo FROM Valori WHERE ID >= 4 ORDER BY ID");
    VARIANT a = rs->GetRows(3);
    ASSERT_EQ(a.vt, VT_ARRAY | VT_VARIANT);
    ASSERT_EQ(SafeArrayGetDim(a.parray), 2u);
    EXPECT_EQ(limiti(a, 1), (std::pair<LONG, LONG>{0, 1}));  // two fields
    EXPECT_EQ(limiti(a, 2), (std::pair<LONG, LONG>{0, 2}));  // three rows
    LONG idx[2] = {0, 2};
    VARIANT e;
    VariantInit(&e);
    ASSERT_EQ(SafeArrayGetElement(a.parray, idx, &e), S_OK);
    EXPECT_EQ(e.vt, VT_I4);
    EXPECT_EQ(e.lVal, 6);
    VariantClear(&e);
    VariantClear(&a);
    // The rest, fewer than asked; then nothing.
    VARIANT b = rs->GetRows(100);
    EXPECT_EQ(limiti(b, 2).second, 2);  // IDs 7, 8, 9
    VariantClear(&b);
    EXPECT_TRUE(rs->Eof());
    EXPECT_EQ(rs->GetRows(5).vt, VT_EMPTY);
}

INSTANTIATE_TEST_SUITE_P(Formati, Dati,
                         ::testing::Values(jetwriter::Formato::Jet3, jetwriter::Formato::Jet4),
                         [](const auto& i) {
                             return i.param == jetwriter::Formato::Jet3 ? "Jet3" : "Jet4";
                         });

// ---- The Mirtesa queries, against the rows the writer produced ------------------------

struct Operazione {
    std::int64_t id, cassa, euro;  // euro in ten-thousandths
    double data, lire;             // Null amounts count as 0 in a sum
    bool bancomat;
};

struct Famiglia {
    std::map<std::int64_t, std::int64_t> contoDiCassa;
    std::vector<std::int64_t> conti;
    std::vector<Operazione> operazioni;
};

// Every row of a table of the writer's description, given ones and generated ones.
void OgniRiga(const jetwriter::Tabella& t, const std::function<void(const jetwriter::Riga&)>& fn) {
    for (const auto& r : t.righe) fn(r);
    jetwriter::Riga r;
    for (std::int64_t i = 0; t.generatore && t.generatore(i, r); ++i) fn(r);
}

Famiglia Leggi(const jetwriter::Specifica& s) {
    auto intero = [](const jetwriter::Valore& v) { return std::get<std::int64_t>(v); };
    auto nullo = [](const jetwriter::Valore& v) {
        return std::holds_alternative<std::monostate>(v);
    };
    Famiglia f;
    for (const auto& t : s.tabelle) {
        if (t.nome == "Conti")
            OgniRiga(t, [&](const jetwriter::Riga& r) { f.conti.push_back(intero(r[0])); });
        if (t.nome == "TabellaCassa")
            OgniRiga(
                t, [&](const jetwriter::Riga& r) { f.contoDiCassa[intero(r[0])] = intero(r[2]); });
        if (t.nome != "Operazioni") continue;
        std::int64_t prossimo = 1;
        OgniRiga(t, [&](const jetwriter::Riga& r) {
            Operazione o{};
            o.id = nullo(r[0]) ? prossimo : intero(r[0]);
            prossimo = o.id + 1;
            o.cassa = intero(r[1]);
            o.data = std::holds_alternative<jetwriter::Data>(r[2])
                         ? std::get<jetwriter::Data>(r[2]).giorni
                         : std::get<double>(r[2]);
            o.euro = nullo(r[4]) ? 0 : std::get<jetwriter::Valuta>(r[4]).decimillesimi;
            o.lire = nullo(r[5]) ? 0 : std::get<double>(r[5]);
            o.bancomat = std::get<bool>(r[6]);
            f.operazioni.push_back(o);
        });
    }
    return f;
}

const std::string kFrom =
    " FROM Conti INNER JOIN (TabellaCassa INNER JOIN   Operazioni ON TabellaCassa.IDCassa = "
    "Operazioni.IDCassa)  "
    "ON Conti.IDConto = TabellaCassa.IDConto ";

class Mirtesa : public ::testing::TestWithParam<jetwriter::Formato> {};

TEST_P(Mirtesa, QueryDellaFamigliaControllateSulleRighe) {
    prova::LimitiDiProva();
    prova::Cartella dir;
    jetwriter::OpzioniMirtesa o;
    o.operazioni = 2500;
    o.formato = GetParam();
    auto spec = jetwriter::DemoMirtesa(o);
    auto file = dir / "Mirtesa.mdb";
    jetwriter::Scrivi(spec, file);
    const std::string prima = prova::LeggiFile(file);
    Famiglia f = Leggi(spec);
    ASSERT_FALSE(f.operazioni.empty());

    auto db = prova::Ws().OpenDatabase(file.string(), false, true, ";Pwd=604kmr73");
    // An account and cash-code filter as the worked example builds it, in 2004, with Bancomat.
    const std::string where =
        " Where  (  Conti.IDConto=2  OR Conti.IDConto=5  OR  TabellaCassa.IDCassa=12  )  And  "
        "Operazioni.Bancomat= "
        "True  And  Operazioni.Data between  DateSerial(2004,1,1)  and  DateSerial(2004,12,31)  ";
    std::vector<Operazione> scelte;
    for (const auto& op : f.operazioni) {
        auto c = f.contoDiCassa.find(op.cassa);
        if (c == f.contoDiCassa.end() ||
            std::find(f.conti.begin(), f.conti.end(), c->second) == f.conti.end())
            continue;  // the inner joins drop it
        bool lista = c->second == 2 || c->second == 5 || op.cassa == 12;
        if (lista && op.bancomat && op.data >= 37987 && op.data <= 38352) scelte.push_back(op);
    }
    ASSERT_FALSE(scelte.empty());
    EXPECT_EQ(prova::Conta(*db, " SELECT Count(*) " + kFrom + where),
              static_cast<std::int64_t>(scelte.size()));

    std::int64_t euro = 0;
    double lire = 0;
    for (const auto& s : scelte) {
        euro += s.euro;
        lire += s.lire;
    }
    auto tot = prova::Righe(
        *db, " SELECT   Sum(Operazioni.Euro) as Euro,  Sum(Operazioni.[Totale£]) as Lire " + kFrom +
                 where);
    ASSERT_EQ(tot.size(), 1u);
    EXPECT_EQ(tot[0][0].tipo, Valore::Tipo::Valuta);
    EXPECT_EQ(tot[0][0].intero, euro);
    EXPECT_EQ(tot[0][1].tipo, Valore::Tipo::Doppio);
    EXPECT_NEAR(tot[0][1].reale, lire, 1e-6);

    // Rows in date order, same-date rows by transaction id.
    std::stable_sort(scelte.begin(), scelte.end(), [](const Operazione& a, const Operazione& b) {
        return a.data != b.data ? a.data < b.data : a.id < b.id;
    });
    auto righe =
        prova::Righe(*db, " SELECT Operazioni.IDMovimento, Operazioni.Data as Data " + kFrom +
                              where + " order by Operazioni.Data, Operazioni.IDMovimento ");
    ASSERT_EQ(righe.size(), scelte.size());
    for (std::size_t i = 0; i < righe.size(); ++i) {
        EXPECT_EQ(righe[i][0].intero, scelte[i].id) << i;
        EXPECT_EQ(righe[i][1].tipo, Valore::Tipo::Data);
        EXPECT_EQ(righe[i][1].reale, scelte[i].data) << i;
    }
    // The version gate's query and an account list with a Null description.
    auto v = prova::Righe(*db, "Select versione from Versione");
    ASSERT_EQ(v.size(), 1u);
    EXPECT_EQ(v[0][0].tipo, Valore::Tipo::Lungo);
    EXPECT_EQ(v[0][0].intero, 2);
    auto conti = prova::Righe(*db, "Select IdConto, Descrizione from Conti order by Descrizione ");
    ASSERT_EQ(conti.size(), f.conti.size());
    EXPECT_TRUE(conti[0][1].IsNull());  // Null sorts first

    // A malicious id list can at most fail, and the file is left as it was.
    const std::string cattiva =
        " SELECT Count(*) " + kFrom + " Where  (  Conti.IDConto=1); DROP TABLE Conti; --  ) ";
    EXPECT_EQ(prova::NumeroErrore([&] { db->OpenRecordset(cattiva); }), jet::kErrCaratteriDopo);
    EXPECT_EQ(prova::Conta(*db, "SELECT Count(*) FROM Conti"),
              static_cast<std::int64_t>(f.conti.size()));
    db->Close();
    EXPECT_EQ(prova::LeggiFile(file), prima);
}

INSTANTIATE_TEST_SUITE_P(Formati, Mirtesa,
                         ::testing::Values(jetwriter::Formato::Jet3, jetwriter::Formato::Jet4),
                         [](const auto& i) {
                             return i.param == jetwriter::Formato::Jet3 ? "Jet3" : "Jet4";
                         });

}  // namespace
