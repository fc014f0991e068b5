// The road of this build: the host's data folder from the host-integration component,
// created by class id and asked through its interface as any client would, and the
// database through the Jet engine of the calling thread (workspace 0).
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "database.h"
#include "jet/dao.h"
#include "jet/errori.h"
#include "mirtesahost/mirtesahost.h"
#include "ole/ole.hpp"
#include "vq/ascii.h"
#include "vq/errore.h"

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
        const HRESULT hr = CoCreateInstance(CLSID_MirtesaIntegrazione, nullptr, CLSCTX_INPROC_SERVER,
                                            IID_IMirtesaIntegrazione, host.put_void());
        if (FAILED(hr)) {
            // As the runtime reports a component it cannot create: 429, with the reason.
            const vq::Errore e = ole::ErroreDa(hr);
            vq::Solleva(kErrOggettoNonCreabile,
                        "Impossibile creare l'oggetto ActiveX (componente di integrazione di "
                        "Mirtesa): " + e.descrizione());
        }
        ole::Bstr cartella;
        ole::Verifica(host->PercorsoDati(cartella.put()));
        return cartella.utf8();
    }

    std::unique_ptr<Database> Apri(const std::string& percorso, const std::string& connessione) override {
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

using vq::UgualiSenzaMaiuscole;

}  // namespace

std::string CercaFileHost(const std::string& percorso) {
    // The exact name wins whenever it is there (a dangling link included: the engine
    // then reports it).
    struct stat st {};
    if (lstat(percorso.c_str(), &st) == 0 || errno != ENOENT) return percorso;

    const auto barra = percorso.rfind('/');
    const std::string cartella = barra == std::string::npos ? std::string()
                                                            : percorso.substr(0, barra + 1);
    const std::string nome = barra == std::string::npos ? percorso : percorso.substr(barra + 1);
    if (nome.empty() || nome == "." || nome == "..") return percorso;

    DIR* d = opendir(cartella.empty() ? "." : cartella.c_str());
    // An unreadable or missing folder: the engine gives its own error for the path.
    if (!d) return percorso;
    std::vector<std::string> trovati;
    while (const dirent* e = readdir(d)) {
        if (UgualiSenzaMaiuscole(e->d_name, nome)) trovati.emplace_back(e->d_name);
    }
    closedir(d);

    if (trovati.empty()) return percorso;
    if (trovati.size() > 1) {
        std::sort(trovati.begin(), trovati.end());
        std::string elenco;
        for (const auto& t : trovati) elenco += (elenco.empty() ? "\"" : ", \"") + t + "\"";
        vq::Solleva(jet::kErrFileNonTrovato,
                    "Impossibile trovare il file \"" + percorso + "\": nella cartella ci sono più "
                    "file con questo nome scritto con maiuscole e minuscole diverse (" + elenco +
                    ") e nessuno si chiama esattamente così.");
    }
    return cartella + trovati.front();
}

Motore& MotorePredefinito() {
    static MotoreJet motore;
    return motore;
}

}  // namespace tessadati
