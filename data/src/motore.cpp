// The road of this build: the host's data folder from the host-integration component,
// created by class id and asked through its interface as any client would, and the
// database through the Jet engine of the calling thread (workspace 0).
#include <string>

#include "database.h"
#include "jet/dao.h"
#include "jet/errori.h"
#include "mirtesahost/mirtesahost.h"
#include "ole/ole.hpp"
#include "vq/errore.h"
#include "vq/file.h"

namespace tessadati {

namespace {

constexpr std::int32_t kErrOggettoNonCreabile = 429;

class RecordsetJet final : public Recordset {
public:
    explicit RecordsetJet(std::unique_ptr<jet::Recordset> rs) : rs_(std::move(rs)) {}
    bool Fine() const override { return rs_->Eof(); }
    void Campo(int indice, VARIANT& valore) override {
        VARIANT v = rs_->Fields(indice);
        VariantClear(&valore);
        valore = v;
    }
    void Campo(std::string_view nome, VARIANT& valore) override {
        VARIANT v = rs_->Fields(nome);
        VariantClear(&valore);
        valore = v;
    }
    void Successivo() override { rs_->MoveNext(); }
    SAFEARRAY* GetRows(LONG righe) override {
        VARIANT v = rs_->GetRows(righe);
        if (v.vt == (VT_ARRAY | VT_VARIANT)) return v.parray;
        // No row left (VT_EMPTY): nothing to hand over.
        VariantClear(&v);
        return nullptr;
    }
    void Chiudi() override { rs_->Close(); }

private:
    std::unique_ptr<jet::Recordset> rs_;
};

// The last database this thread opened, kept with the tables the engine loaded from it:
// opening the same file again with the same connect string (a new data object, or a second
// ApriDataBase) reuses them instead of reading the whole file once more. The engine checks
// the file's identity at every query and loads again whatever has changed, so a reused
// database sees the file exactly as a new one would. It is let go when another file is
// opened or the thread ends.
struct UltimoDatabase {
    std::string chiave;
    std::shared_ptr<jet::Database> db;
};
thread_local UltimoDatabase tUltimo;

class DatabaseJet final : public Database {
public:
    explicit DatabaseJet(std::shared_ptr<jet::Database> db) : db_(std::move(db)) {}
    std::unique_ptr<Recordset> ApriRecordset(const std::string& sql) override {
        if (!db_) jet::ErroreOggetto();
        return std::make_unique<RecordsetJet>(db_->OpenRecordset(sql, jet::dbOpenForwardOnly));
    }
    // Closing ends this handle; the engine's database closes once no handle and no reuse
    // needs it.
    void Chiudi() override { db_.reset(); }

private:
    std::shared_ptr<jet::Database> db_;
};

class MotoreJet final : public Motore {
public:
    std::string CartellaDati() override {
        ole::ComPtr<IMirtesaIntegrazione> host;
        const HRESULT hr =
            CoCreateInstance(CLSID_MirtesaIntegrazione, nullptr, CLSCTX_INPROC_SERVER,
                             IID_IMirtesaIntegrazione, host.put_void());
        if (FAILED(hr)) {
            // As the runtime reports a component it cannot create: 429, with the reason.
            const vq::Errore e = ole::ErroreDa(hr);
            vq::Solleva(kErrOggettoNonCreabile,
                        "Impossibile creare l'oggetto ActiveX (componente di integrazione di "
                        "Mirtesa): " +
                            e.descrizione());
        }
        ole::Bstr cartella;
        ole::Verifica(host->PercorsoDati(cartella.put()));
        return cartella.utf8();
    }

    std::unique_ptr<Database> Apri(const std::string& percorso,
                                   const std::string& connessione) override {
        const std::string file = CercaFileHost(percorso);
        // Opening checks the file as it is now (present, a Jet file, the password right),
        // whether or not its tables are then reused.
        std::shared_ptr<jet::Database> db =
            jet::DBEngine::DelThread().Workspaces(0).OpenDatabase(file, false, true, connessione);
        std::string chiave = file;
        chiave += '\0';
        chiave += connessione;
        if (tUltimo.db && tUltimo.chiave == chiave && tUltimo.db->Aperto()) {
            db = tUltimo.db;
        } else {
            tUltimo = {std::move(chiave), db};
        }
        return std::make_unique<DatabaseJet>(std::move(db));
    }
};

}  // namespace

std::string CercaFileHost(const std::string& percorso) {
    return vq::CercaSenzaMaiuscole(percorso, jet::kErrFileNonTrovato);
}

Motore& MotorePredefinito() {
    static MotoreJet motore;
    return motore;
}

}  // namespace tessadati
