// The component's classes: ClsDatiMirtesa (filter, connection and queries) and the
// record classes clsConti and clsCassa. Internal: clients reach them only through the
// interfaces of tessadati/tessadati.h.
#pragma once

#include <memory>
#include <string>

#include "database.h"
#include "filtro.h"
#include "ole/ole.hpp"
#include "ole/server.hpp"
#include "tessadati/tessadati.h"

namespace tessadati {

// The live objects of this library (its DllCanUnloadNow answers from them and from the
// server locks).
ole::ContatoreOggetti& Contatore() noexcept;

class ClsConti final : public ole::OggettoDispatch<_clsConti, ISupportErrorInfo> {
public:
    ClsConti() noexcept : OggettoDispatch(&Contatore()) {}

    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override;

    STDMETHODIMP get_IDConto(LONG* result) override;
    STDMETHODIMP put_IDConto(LONG valore) override;
    STDMETHODIMP get_Conto(BSTR* result) override;
    STDMETHODIMP put_Conto(BSTR valore) override;

private:
    void* trova(REFIID riid) noexcept override;
    std::span<const ole::Membro> membri() const noexcept override;

    LONG id_conto_ = 0;
    ole::Bstr conto_;
};

class ClsCassa final : public ole::OggettoDispatch<_clsCassa, ISupportErrorInfo> {
public:
    ClsCassa() noexcept : OggettoDispatch(&Contatore()) {}

    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override;

    STDMETHODIMP get_Conto(_clsConti** result) override;
    STDMETHODIMP SlotNonPubblicato() override;
    STDMETHODIMP putref_Conto(_clsConti** valore) override;
    STDMETHODIMP get_IDCassa(LONG* result) override;
    STDMETHODIMP put_IDCassa(LONG valore) override;
    STDMETHODIMP get_Cassa(VARIANT* result) override;
    STDMETHODIMP put_Cassa(VARIANT* valore) override;
    STDMETHODIMP putref_Cassa(VARIANT* valore) override;

private:
    void* trova(REFIID riid) noexcept override;
    std::span<const ole::Membro> membri() const noexcept override;

    ole::ComPtr<_clsConti> conto_;
    LONG id_cassa_ = 0;
    ole::Variante cassa_;
};

class ClsDatiMirtesa final : public ole::OggettoDispatch<_ClsDatiMirtesa, ISupportErrorInfo> {
public:
    // Use Crea: creation also clears the filter through the object's own interface.
    explicit ClsDatiMirtesa(Motore& motore) noexcept
        : OggettoDispatch(&Contatore()), motore_(motore) {}
    ~ClsDatiMirtesa() override;

    // A new object with its filter cleared, as the class factory makes it.
    static ole::ComPtr<_ClsDatiMirtesa> Crea(Motore& motore);

    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override;

    STDMETHODIMP ClearFiltri() override;
    STDMETHODIMP put_ImpostaConto(LONG* IDConto) override;
    STDMETHODIMP put_ImpostaCassa(LONG* IDCassa) override;
    STDMETHODIMP put_FiltroBancomat(VARIANT_BOOL* valore) override;
    STDMETHODIMP put_FiltroContoCorrente(VARIANT_BOOL* valore) override;
    STDMETHODIMP put_FiltroCarta(VARIANT_BOOL* valore) override;
    STDMETHODIMP put_FiltroNoStat(VARIANT_BOOL* valore) override;
    STDMETHODIMP put_FiltroDataIniziale(DATE* data) override;
    STDMETHODIMP put_FiltroDataFinale(DATE* data) override;
    STDMETHODIMP ApriDataBase() override;
    STDMETHODIMP ChiudiDataBase() override;
    STDMETHODIMP GetImportoEuro(DOUBLE* result) override;
    STDMETHODIMP GetImportoLire(DOUBLE* result) override;
    STDMETHODIMP GetTotRecord(LONG* result) override;
    STDMETHODIMP GetArrayDati(SAFEARRAY** dati, LONG* result) override;
    STDMETHODIMP GetConti(_Collection** result) override;
    STDMETHODIMP GetCodiciCassa(SHORT* IDConto, _Collection** result) override;
    STDMETHODIMP get_f_mult_conto(BSTR* result) override;
    STDMETHODIMP put_f_mult_conto(BSTR valore) override;
    STDMETHODIMP get_f_mult_cassa(BSTR* result) override;
    STDMETHODIMP put_f_mult_cassa(BSTR valore) override;

    // The filter as it stands (for the builder's callers and for tests).
    const Filtro& filtro() const noexcept { return filtro_; }
    bool database_aperto() const noexcept { return db_ != nullptr; }

private:
    void* trova(REFIID riid) noexcept override;
    std::span<const ole::Membro> membri() const noexcept override;

    Database& Db();
    std::string PercorsoDataBase();
    bool VersioneValida();
    double Somma(const char* campo, int decimali);

    Motore& motore_;
    Filtro filtro_;
    // The two list texts exactly as given, returned unchanged; filtro_ holds them as
    // UTF-8 for the builder.
    ole::Bstr elenco_conti_;
    ole::Bstr elenco_casse_;
    std::string percorso_;
    std::unique_ptr<Database> db_;
};

// The Jet connect string of the host database.
inline constexpr const char* kConnessione = ";Pwd=604kmr73";
inline constexpr const char* kNomeDatabase = "Mirtesa.mdb";
inline constexpr std::int32_t kErrVersioneObsoleta = 4567;
inline constexpr const char* kDescrVersioneObsoleta =
    "Per utilizzare tale modulo è necessario utilizzare almeno la versione 3.0 di Mirtesa. "
    "Sul sistema è installata una versione obsoleta.";

}  // namespace tessadati
