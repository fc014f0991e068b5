// ClsDatiMirtesa over a stand-in engine: the connection with its version gate, the
// queries and what they give back, and the object's life cycle.
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "componenti_prova.h"
#include "database.h"
#include "filtro.h"
#include "vq/errore.h"
#include "oggetti.h"
#include "ole/ole.hpp"
#include "vq/errore.h"

using namespace tessadati;

namespace {

using prova::Descrizione;
using prova::Elementi;
using prova::Errore;

// A result set: field names and rows of values.
struct Tabella {
    std::vector<std::string> campi;
    std::vector<std::vector<ole::Variante>> righe;
};

ole::Variante I4(LONG x) { return ole::Variante::I4(x); }
ole::Variante R8(double x) { return ole::Variante::R8(x); }
ole::Variante Testo(const char* s) { return ole::Variante::Testo(s); }
ole::Variante Null() { return ole::Variante::Null(); }

// What the stand-in engine saw and what it answers.
struct Stato {
    std::deque<std::string> cartelle{"/dati/"};  // answers of the host, the last repeated
    int richieste_cartella = 0;
    std::vector<std::string> aperture;  // path + connect string
    std::vector<std::string> sql;
    int chiusure_database = 0;
    int recordset_aperti = 0;
    std::function<Tabella(const std::string&)> risposta;
};

class RecordsetFinto final : public Recordset {
public:
    RecordsetFinto(Tabella t, Stato& s) : t_(std::move(t)), s_(s) { ++s_.recordset_aperti; }
    ~RecordsetFinto() override { --s_.recordset_aperti; }
    bool Fine() const override { return pos_ >= t_.righe.size(); }
    void Campo(int indice, VARIANT& valore) override {
        if (Fine()) vq::Solleva(3021, "Nessun record corrente.");
        VariantClear(&valore);
        VariantCopy(&valore, t_.righe[pos_].at(static_cast<std::size_t>(indice)).get());
    }
    void Campo(std::string_view nome, VARIANT& valore) override {
        for (std::size_t i = 0; i < t_.campi.size(); ++i)
            if (t_.campi[i] == nome) return Campo(static_cast<int>(i), valore);
        vq::Solleva(3265, "Elemento non trovato nell'insieme.");
    }
    void Successivo() override { ++pos_; }
    SAFEARRAY* GetRows(LONG righe) override {
        const std::size_t n =
            std::min<std::size_t>(static_cast<std::size_t>(righe), t_.righe.size() - pos_);
        SAFEARRAYBOUND b[2] = {{static_cast<ULONG>(t_.campi.size()), 0},
                               {static_cast<ULONG>(n), 0}};
        SAFEARRAY* a = SafeArrayCreate(VT_VARIANT, 2, b);
        for (std::size_t r = 0; r < n; ++r, ++pos_)
            for (std::size_t c = 0; c < t_.campi.size(); ++c) {
                LONG i[2] = {static_cast<LONG>(c), static_cast<LONG>(r)};
                SafeArrayPutElement(a, i, t_.righe[pos_][c].get());
            }
        return a;
    }
    void Chiudi() override {}

private:
    Tabella t_;
    Stato& s_;
    std::size_t pos_ = 0;
};

class DatabaseFinto final : public Database {
public:
    explicit DatabaseFinto(Stato& s) : s_(s) {}
    std::unique_ptr<Recordset> ApriRecordset(const std::string& sql) override {
        s_.sql.push_back(sql);
        return std::make_unique<RecordsetFinto>(s_.risposta ? s_.risposta(sql) : Tabella{}, s_);
    }
    void Chiudi() override { ++s_.chiusure_database; }

private:
    Stato& s_;
};

class MotoreFinto final : public Motore {
public:
    explicit MotoreFinto(Stato& s) : s_(s) {}
    std::string CartellaDati() override {
        ++s_.richieste_cartella;
        std::string r = s_.cartelle.front();
        if (s_.cartelle.size() > 1) s_.cartelle.pop_front();
        return r;
    }
    std::unique_ptr<Database> Apri(const std::string& percorso,
                                   const std::string& connessione) override {
        s_.aperture.push_back(percorso + "|" + connessione);
        return std::make_unique<DatabaseFinto>(s_);
    }

private:
    Stato& s_;
};

// Answers the version query with `versione` and every other query with `altre`.
std::function<Tabella(const std::string&)> Risposte(
    Tabella versione, std::function<Tabella(const std::string&)> altre = {}) {
    return [versione, altre](const std::string& sql) {
        if (sql == "Select versione from Versione") return versione;
        return altre ? altre(sql) : Tabella{};
    };
}

Tabella Versione(ole::Variante v) { return Tabella{{"versione"}, {{v}}}; }

Tabella Riga(std::vector<std::string> campi, std::vector<ole::Variante> valori) {
    Tabella t{std::move(campi), {}};
    t.righe.push_back(std::move(valori));
    return t;
}

class TessadatiOggetti : public ::testing::Test {
protected:
    void SetUp() override {
        stato.risposta = Risposte(Versione(I4(2)));
        dati = ClsDatiMirtesa::Crea(motore);
    }
    ClsDatiMirtesa& Interno() { return *static_cast<ClsDatiMirtesa*>(dati.get()); }

    Stato stato;
    MotoreFinto motore{stato};
    ole::ComPtr<_ClsDatiMirtesa> dati;
};

TEST_F(TessadatiOggetti, CreazioneSenzaDatabaseNeHost) {
    EXPECT_EQ(stato.richieste_cartella, 0);
    EXPECT_TRUE(stato.aperture.empty());
    EXPECT_FALSE(Interno().database_aperto());
    EXPECT_EQ(CostruisciQuery(Interno().filtro(), kQueryConteggio),
              CostruisciQuery(Filtro{}, kQueryConteggio));
}

TEST_F(TessadatiOggetti, SogliaDiVersione) {
    const struct {
        const char* nome;
        std::function<Tabella()> versione;
        HRESULT atteso;
    } casi[] = {
        {"2", [] { return Versione(I4(2)); }, S_OK},
        {"7 come testo", [] { return Versione(Testo("7")); }, S_OK},
        {"1", [] { return Versione(I4(1)); }, Errore(4567)},
        {"Null", [] { return Versione(Null()); }, Errore(4567)},
        {"tabella vuota",
         [] {
             return Tabella{{"versione"}, {}};
         },
         Errore(4567)},
        {"non numerica", [] { return Versione(Testo("abc")); }, Errore(13)},
    };
    for (const auto& c : casi) {
        Stato s;
        s.risposta = Risposte(c.versione());
        MotoreFinto m(s);
        auto o = ClsDatiMirtesa::Crea(m);
        EXPECT_EQ(o->ApriDataBase(), c.atteso) << c.nome;
        if (c.atteso == Errore(4567)) {
            EXPECT_EQ(
                Descrizione(),
                "Per utilizzare tale modulo è necessario utilizzare almeno la versione 3.0 di "
                "Mirtesa. Sul sistema è installata una versione obsoleta.")
                << c.nome;
        }
        // Open in every case, even after the gate refused it: closing closes it once.
        EXPECT_TRUE(static_cast<ClsDatiMirtesa*>(o.get())->database_aperto()) << c.nome;
        EXPECT_EQ(s.recordset_aperti, 0) << c.nome;
        EXPECT_EQ(o->ChiudiDataBase(), S_OK);
        EXPECT_EQ(o->ChiudiDataBase(), S_OK);
        EXPECT_EQ(s.chiusure_database, 1) << c.nome;
    }
}

TEST_F(TessadatiOggetti, CartellaChiestaUnaVoltaERilascioChiude) {
    ASSERT_EQ(dati->ApriDataBase(), S_OK);
    ASSERT_EQ(dati->ApriDataBase(), S_OK);
    EXPECT_EQ(stato.richieste_cartella, 1);
    // The database held before is let go by the second opening.
    EXPECT_EQ(stato.chiusure_database, 0);
    EXPECT_EQ(stato.aperture.size(), 2u);
    // Released while open: the database is closed.
    dati.reset();
    EXPECT_EQ(stato.chiusure_database, 1);
}

TEST_F(TessadatiOggetti, CartellaVuotaRichiestaDiNuovo) {
    stato.cartelle = {"", "/casa/mirtesa"};
    ASSERT_EQ(dati->ApriDataBase(), S_OK);
    ASSERT_EQ(dati->ApriDataBase(), S_OK);
    ASSERT_EQ(dati->ApriDataBase(), S_OK);
    EXPECT_EQ(stato.richieste_cartella, 2);
    ASSERT_EQ(stato.aperture.size(), 3u);
    EXPECT_EQ(stato.aperture[0], "Mirtesa.mdb|;Pwd=604kmr73");
    // Without a trailing separator the names run together.
    EXPECT_EQ(stato.aperture[1], "/casa/mirtesaMirtesa.mdb|;Pwd=604kmr73");
}

TEST_F(TessadatiOggetti, FiltroIndipendenteDalDatabase) {
    LONG id = 5;
    ASSERT_EQ(dati->put_ImpostaConto(&id), S_OK);
    ASSERT_EQ(dati->ApriDataBase(), S_OK);
    ASSERT_EQ(dati->ChiudiDataBase(), S_OK);
    EXPECT_EQ(Interno().filtro().f_conto, 5);
    ASSERT_EQ(dati->ApriDataBase(), S_OK);
    ASSERT_EQ(dati->ClearFiltri(), S_OK);
    EXPECT_TRUE(Interno().database_aperto());
}

TEST_F(TessadatiOggetti, TotRecordEImporti) {
    stato.risposta = Risposte(Versione(I4(3)), [](const std::string& sql) {
        if (sql.starts_with(" SELECT Count(*) ")) return Riga({"Expr1000"}, {I4(17)});
        return Riga({"Euro", "Lire"}, {R8(0.125), R8(1501.5)});
    });
    ASSERT_EQ(dati->ApriDataBase(), S_OK);
    ole::Bstr lista("3;5");
    ASSERT_EQ(dati->put_f_mult_conto(lista.get()), S_OK);

    LONG n = 0;
    ASSERT_EQ(dati->GetTotRecord(&n), S_OK);
    EXPECT_EQ(n, 17);
    EXPECT_EQ(stato.sql.back(), CostruisciQuery(Interno().filtro(), kQueryConteggio));
    double euro = 1, lire = 1;
    ASSERT_EQ(dati->GetImportoEuro(&euro), S_OK);
    EXPECT_EQ(stato.sql.back(), CostruisciQuery(Interno().filtro(), kQueryTotali));
    ASSERT_EQ(dati->GetImportoLire(&lire), S_OK);
    EXPECT_EQ(euro, 0.12);
    EXPECT_EQ(lire, 1502.0);
    EXPECT_EQ(stato.recordset_aperti, 0);
}

// The count and the rows are two queries; the array the caller passes in is kept only
// when there are no rows.
TEST_F(TessadatiOggetti, ArrayDatiSecondoIlConteggio) {
    const struct {
        const char* nome;
        LONG conteggio;
        std::size_t righe;
        HRESULT atteso;
        LONG n;
        bool resta;             // the caller's array is left in place
        bool bloccata = false;  // the caller still holds it locked
    } casi[] = {
        {"nessuna riga", 0, 0, S_OK, -1, true},
        {"una riga", 1, 1, S_OK, 1, false},
        {"righe sparite tra le due interrogazioni", 4, 0, S_OK, 4, false},
        {"oltre 32767 righe", 32768, 0, Errore(6), 0, false},
        {"matrice bloccata", 1, 1, Errore(10), 0, true, true},
    };
    for (const auto& c : casi) {
        SCOPED_TRACE(c.nome);
        stato.risposta = Risposte(Versione(I4(2)), [&](const std::string& sql) {
            if (sql.starts_with(" SELECT Count(*) ")) return Riga({"n"}, {I4(c.conteggio)});
            Tabella t{{"Conto", "Cassa", "Data", "Causale", "Euro", "Lire", "Bancomat",
                       "ContoCorrente", "Carta", "NoStatistiche"},
                      {}};
            for (std::size_t r = 0; r < c.righe; ++r)
                t.righe.push_back({Testo("Banca"), Null(), ole::Variante::Data(38047),
                                   Testo("Spesa"), R8(1.5), R8(2904), ole::Variante::Booleano(true),
                                   ole::Variante::Booleano(false), Null(), Null()});
            return t;
        });
        ASSERT_EQ(dati->ApriDataBase(), S_OK);
        SAFEARRAY* prima =
            c.atteso == S_OK || c.bloccata ? SafeArrayCreateVector(VT_VARIANT, 0, 3) : nullptr;
        if (c.bloccata) SafeArrayLock(prima);
        SAFEARRAY* a = prima;
        LONG n = 0;
        ASSERT_EQ(dati->GetArrayDati(&a, &n), c.atteso);
        EXPECT_EQ(stato.recordset_aperti, 0);
        if (FAILED(c.atteso)) {
            EXPECT_EQ(Descrizione(), vq::DescrizioneRuntime(HRESULT_CODE(c.atteso)));
            EXPECT_EQ(a, prima);
            if (c.bloccata) {
                EXPECT_EQ(SafeArrayUnlock(prima), S_OK);
                EXPECT_EQ(SafeArrayDestroy(prima), S_OK);  // still whole, and not released twice
            }
            continue;
        }
        EXPECT_EQ(n, c.n);
        if (c.resta) {
            EXPECT_EQ(a, prima);
        } else if (c.righe == 0) {
            EXPECT_EQ(a,
                      nullptr);  // the former array released (a leak shows in the sanitizer build)
        } else {
            EXPECT_EQ(stato.sql.back(), CostruisciQuery(Interno().filtro(), kQueryRighe) +
                                            " order by Operazioni.Data, Operazioni.IDMovimento ");
            ASSERT_NE(a, nullptr);
            ASSERT_EQ(SafeArrayGetDim(a), 2u);
            LONG alto = -1;
            SafeArrayGetUBound(a, 1, &alto);
            EXPECT_EQ(alto, 9);
            SafeArrayGetUBound(a, 2, &alto);
            EXPECT_EQ(alto, static_cast<LONG>(c.righe) - 1);
        }
        if (a) SafeArrayDestroy(a);
    }
}

// The lists' own queries; what they give back is checked on real files.
TEST_F(TessadatiOggetti, ElenchiDiContiECodiciCassa) {
    stato.risposta = Risposte(Versione(I4(2)), [](const std::string& sql) {
        if (sql.starts_with("Select IdConto"))
            return Riga({"IdConto", "Descrizione"}, {I4(4), Null()});
        Tabella t{{"IdCassa", "Cassa", "IdConto", "Descrizione"}, {}};
        t.righe.push_back({I4(10), Testo("Affitto"), I4(-1), Testo("Banca")});
        t.righe.push_back({I4(11), Null(), I4(-1), Testo("Banca")});
        return t;
    });
    ASSERT_EQ(dati->ApriDataBase(), S_OK);
    ole::ComPtr<_Collection> conti, casse;
    ASSERT_EQ(dati->GetConti(conti.put()), S_OK);
    EXPECT_EQ(stato.sql.back(), "Select IdConto, Descrizione from Conti order by Descrizione ");
    EXPECT_EQ(Elementi<_clsConti>(conti.get(), IID__clsConti).size(), 1u);
    SHORT id = -1;
    ASSERT_EQ(dati->GetCodiciCassa(&id, casse.put()), S_OK);
    EXPECT_EQ(
        stato.sql.back(),
        "Select IdCassa, Cassa, TabellaCassa.IdConto, Descrizione from TabellaCassa, Conti "
        "where TabellaCassa.IdConto=Conti.IdConto and TabellaCassa.IdConto=-1 order by cassa ");
    const auto codici = Elementi<_clsCassa>(casse.get(), IID__clsCassa);
    ASSERT_EQ(codici.size(), 2u);
    LONG idcassa = 0;
    codici[1]->get_IDCassa(&idcassa);
    EXPECT_EQ(idcassa, 11);
    EXPECT_EQ(stato.recordset_aperti, 0);

    // No rows: an empty collection, never a missing one.
    stato.risposta = Risposte(Versione(I4(2)));
    ASSERT_EQ(dati->GetConti(conti.put()), S_OK);
    ASSERT_TRUE(conti);
    LONG quanti = -1;
    conti->Count(&quanti);
    EXPECT_EQ(quanti, 0);
}

TEST_F(TessadatiOggetti, ListaNonValidaFallisceSenzaToccareIlDatabase) {
    ASSERT_EQ(dati->ApriDataBase(), S_OK);
    const auto prima = stato.sql.size();
    ole::Bstr lista("3) OR (1=1");
    ASSERT_EQ(dati->put_f_mult_cassa(lista.get()), S_OK);
    LONG n = 0;
    EXPECT_EQ(dati->GetTotRecord(&n), Errore(kErrIdNonValido));
    EXPECT_NE(Descrizione().find("TabellaCassa.IDCassa=3) OR (1=1"), std::string::npos);
    EXPECT_EQ(stato.sql.size(), prima);
    // The text is kept as given, and the object goes on working.
    ole::Bstr letto;
    ASSERT_EQ(dati->get_f_mult_cassa(letto.put()), S_OK);
    EXPECT_EQ(letto.utf8(), "3) OR (1=1");
    ASSERT_EQ(dati->ClearFiltri(), S_OK);
    EXPECT_EQ(dati->GetTotRecord(&n), S_OK);
}

TEST_F(TessadatiOggetti, TestoDelleListeRestituitoIntatto) {
    // Texts come back exactly, unpaired surrogates and embedded NULs included.
    const char16_t grezzo[] = {u'1', 0xD800, u';', 0, u'2'};
    BSTR b = SysAllocStringLen(grezzo, 5);
    ASSERT_EQ(dati->put_f_mult_conto(b), S_OK);
    BSTR letto = nullptr;
    ASSERT_EQ(dati->get_f_mult_conto(&letto), S_OK);
    ASSERT_EQ(SysStringLen(letto), 5u);
    EXPECT_EQ(std::u16string_view(letto, 5), std::u16string_view(grezzo, 5));
    SysFreeString(letto);
    SysFreeString(b);
}

// Invoke with the single argument `a`, as a function or a property read.
HRESULT Invoca(_ClsDatiMirtesa* o, DISPID id, const VARIANT& a, VARIANT* r,
               UINT* errore = nullptr) {
    return prova::Invoca(o, id, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {&a}, r, nullptr, errore);
}

TEST_F(TessadatiOggetti, InvokeRiscriveGliArgomentiPerRiferimento) {
    LONG conteggio = 1;
    stato.risposta = Risposte(Versione(I4(2)), [&](const std::string& sql) {
        if (sql.starts_with(" SELECT Count(*) ")) return Riga({"n"}, {I4(conteggio)});
        return Riga({"Conto", "Cassa"}, {Testo("Banca"), Testo("Spesa")});
    });
    ASSERT_EQ(dati->ApriDataBase(), S_OK);

    // The array through a variant by reference: the variant becomes the array.
    ole::Variante interno, r;
    ASSERT_EQ(Invoca(dati.get(), DISPID_ClsDatiMirtesa_GetArrayDati,
                     prova::Riferimento(interno.get()), r.put()),
              S_OK);
    ASSERT_EQ(r.vt(), VT_I4);
    EXPECT_EQ(r->lVal, 1);
    ASSERT_EQ(interno.vt(), VT_ARRAY | VT_VARIANT);
    EXPECT_EQ(SafeArrayGetDim(interno->parray), 2u);

    // The array by reference as itself.
    SAFEARRAY* diretto = nullptr;
    VARIANT a;
    a.vt = VT_BYREF | VT_ARRAY | VT_VARIANT;
    a.pparray = &diretto;
    ASSERT_EQ(Invoca(dati.get(), DISPID_ClsDatiMirtesa_GetArrayDati, a, r.put()), S_OK);
    ASSERT_NE(diretto, nullptr);
    SafeArrayDestroy(diretto);

    // No rows: the caller's variant keeps what it held.
    conteggio = 0;
    ole::Variante vuoto;
    ASSERT_EQ(Invoca(dati.get(), DISPID_ClsDatiMirtesa_GetArrayDati,
                     prova::Riferimento(vuoto.get()), r.put()),
              S_OK);
    EXPECT_EQ(r->lVal, -1);
    EXPECT_EQ(vuoto.vt(), VT_EMPTY);

    // Something that is not an array cannot take one.
    ole::Variante numero = I4(3);
    UINT errore = 9;
    EXPECT_EQ(Invoca(dati.get(), DISPID_ClsDatiMirtesa_GetArrayDati,
                     prova::Riferimento(numero.get()), r.put(), &errore),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(errore, 0u);
}

TEST_F(TessadatiOggetti, InvokeCodiciCassaConversioneA16Bit) {
    ASSERT_EQ(dati->ApriDataBase(), S_OK);
    SHORT cinque = 5;
    VARIANT i2_rif;
    i2_rif.vt = VT_BYREF | VT_I2;  // by reference with the declared type: passed through
    i2_rif.piVal = &cinque;
    const struct {
        ole::Variante argomento;
        HRESULT atteso;
        const char* id;
    } casi[] = {
        {I4(12), S_OK, "=12 "},
        {R8(7), S_OK, "=7 "},
        {I4(40000), DISP_E_OVERFLOW, nullptr},
        {I4(-32768), S_OK, "=-32768 "},
        {ole::Variante(i2_rif), S_OK, "=5 "},
    };
    for (const auto& c : casi) {
        ole::Variante r;
        UINT errore = 9;
        EXPECT_EQ(Invoca(dati.get(), DISPID_ClsDatiMirtesa_GetCodiciCassa, *c.argomento.get(),
                         r.put(), &errore),
                  c.atteso)
            << c.id;
        if (c.id) {
            EXPECT_EQ(r.vt(), VT_DISPATCH);
            EXPECT_NE(r->pdispVal, nullptr);
            EXPECT_NE(stato.sql.back().find(std::string("TabellaCassa.IdConto") + c.id),
                      std::string::npos);
        } else {
            EXPECT_EQ(errore, 0u);
        }
    }
    // GetConti the same way: the collection itself comes back.
    ole::Variante conti;
    ASSERT_EQ(
        prova::Invoca(dati.get(), DISPID_ClsDatiMirtesa_GetConti, DISPATCH_METHOD, {}, conti.put()),
        S_OK);
    ASSERT_EQ(conti.vt(), VT_DISPATCH);
    EXPECT_NE(conti->pdispVal, nullptr);
}

}  // namespace
