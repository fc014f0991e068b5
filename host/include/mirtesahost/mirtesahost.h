// The host's integration component: where the host is installed, and the list of its
// add-ins.
//
// Identifiers and the interface as a MIDL compiler emits them: the interface is dual
// (derived from IDispatch), its methods sit in their slot order, an [out, retval] result
// is the last pointer argument. Every method returns S_OK or a failure whose error info
// (GetErrorInfo) carries an Italian description; an error of number n arrives as
// MAKE_HRESULT(1, FACILITY_CONTROL, n).
//
// The host's installer leaves its two folders in the registry,
//   HKEY_CURRENT_USER\Software\Mirtesa\Percorsi   "Programma", "Dati"   (REG_SZ or REG_EXPAND_SZ)
// and the component returns them with a path separator at the end. Add-ins are recorded
// one subkey per caption below
//   HKEY_CURRENT_USER\Software\Mirtesa\ModuliAggiuntivi\<caption>   "Percorso", "Titolo", "Descrizione"
//
// Error numbers of the component:
//   11001  the host is not installed (key missing, or a folder value missing, empty or not text)
//   11002  the registry cannot be read
//   11003  an add-in registration with an empty path, or a caption that cannot name a key
//   11004  the registry cannot be written
#pragma once

#include "ole/automation.h"

// ---------------------------------------------------------------------------------------
// Identity
// ---------------------------------------------------------------------------------------
// Class "Mirtesa.Integrazione" (creatable, apartment-threaded).
inline constexpr CLSID CLSID_MirtesaIntegrazione = {
    0xDC36F8E6, 0x67A4, 0x4451, {0xA4, 0xD4, 0xC1, 0xBB, 0xA2, 0x48, 0x5D, 0x78}};
inline constexpr IID IID_IMirtesaIntegrazione = {
    0x9C12D367, 0xD64C, 0x42AF, {0x80, 0xC2, 0x21, 0x4A, 0x40, 0xAA, 0xDB, 0x19}};

inline constexpr const char* kMirtesaIntegrazioneProgId = "Mirtesa.Integrazione";

// Error numbers.
enum : LONG {
    kErrMirtesaNonInstallato = 11001,
    kErrMirtesaRegistroIlleggibile = 11002,
    kErrMirtesaModuloNonValido = 11003,
    kErrMirtesaRegistroNonScrivibile = 11004,
};

// ---------------------------------------------------------------------------------------
// Dispatch ids (slot order)
// ---------------------------------------------------------------------------------------
enum : DISPID {
    DISPID_MirtesaIntegrazione_Versione = 1,
    DISPID_MirtesaIntegrazione_Installato = 2,
    DISPID_MirtesaIntegrazione_PercorsoProgramma = 3,
    DISPID_MirtesaIntegrazione_PercorsoDati = 4,
    DISPID_MirtesaIntegrazione_RegistraModulo = 5,
};

// ---------------------------------------------------------------------------------------
// Interface
// ---------------------------------------------------------------------------------------
struct IMirtesaIntegrazione : IDispatch {
    // The file version of the host's program, "Mirtesa.exe" in its program folder, as four
    // numbers joined by "." ("0.0.0.0" when the file is missing or carries no version).
    // Fails with 11001 when the host is not installed.
    STDMETHOD(Versione)(BSTR* result) = 0;
    // VARIANT_TRUE when both folders are recorded, that is exactly when PercorsoProgramma
    // and PercorsoDati answer; never fails for a host that is not installed.
    STDMETHOD(Installato)(VARIANT_BOOL* result) = 0;
    // The host's program folder, ending with "/".
    STDMETHOD(PercorsoProgramma)(BSTR* result) = 0;
    // The folder of the host's database, ending with "/".
    STDMETHOD(PercorsoDati)(BSTR* result) = 0;
    // Records an add-in: the full path of its program, its caption (which names it: a
    // second registration with the same caption, in any case, updates the record) and its
    // description. result: VARIANT_TRUE when the record was created or changed,
    // VARIANT_FALSE when it already held these values (nothing is written then).
    STDMETHOD(RegistraModulo)
    (BSTR percorso, BSTR titolo, BSTR descrizione, VARIANT_BOOL* result) = 0;

protected:
    ~IMirtesaIntegrazione() = default;
};
