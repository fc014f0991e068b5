// Tessadati 1.1: the data component of the Mirtesa XML export.
//
// Identifiers and interfaces as a MIDL compiler emits them for the type library: every
// interface is dual (derived from IDispatch), methods sit in their slot order, properties
// appear as get_/put_/putref_ methods, an [out, retval] result is the last pointer
// argument and by-reference arguments are pointers. Every method returns S_OK or a
// failure whose error info (GetErrorInfo) carries the description; an error of number n
// arrives as MAKE_HRESULT(1, FACILITY_CONTROL, n).
#pragma once

#include "ole/automation.h"

// ---------------------------------------------------------------------------------------
// Identity
// ---------------------------------------------------------------------------------------
// Type library Tessadati, version 1.1.
inline constexpr GUID LIBID_Tessadati = {
    0xAFC86911, 0x033F, 0x498D, {0x87, 0xFD, 0xF8, 0x99, 0xD4, 0x40, 0xDF, 0x18}};
inline constexpr WORD kTessadatiVersioneMaggiore = 1;
inline constexpr WORD kTessadatiVersioneMinore = 1;

inline constexpr CLSID CLSID_ClsDatiMirtesa = {
    0x4A8F27C2, 0xB7E5, 0x4E12, {0xBE, 0x1E, 0x0E, 0x0E, 0x48, 0xF9, 0xF1, 0x77}};
inline constexpr IID IID__ClsDatiMirtesa = {
    0x6EF3DB62, 0x9534, 0x4211, {0xB1, 0x15, 0xD1, 0xB0, 0x9E, 0x01, 0x90, 0xB9}};
// The default interface of the earlier release: answered by the same object, same slots.
inline constexpr IID IID__ClsDatiMirtesa_Precedente = {
    0x4A7BAB9D, 0xDA03, 0x4037, {0x86, 0x17, 0xF9, 0x9E, 0x8C, 0x01, 0xE4, 0xB6}};

inline constexpr CLSID CLSID_clsConti = {
    0xDFF216EF, 0x9A81, 0x450E, {0xB2, 0xB9, 0x7C, 0x49, 0x59, 0xCF, 0xDA, 0x88}};
inline constexpr IID IID__clsConti = {
    0xAA0890F9, 0xEE09, 0x46FF, {0xB1, 0xA4, 0x81, 0x40, 0x6D, 0x92, 0x3F, 0x61}};

inline constexpr CLSID CLSID_clsCassa = {
    0x92D94912, 0xF0EF, 0x4678, {0xAA, 0x9F, 0xD9, 0x80, 0x40, 0x5D, 0xAD, 0x66}};
inline constexpr IID IID__clsCassa = {
    0x068FAA94, 0xDC62, 0x457A, {0xB6, 0x08, 0x06, 0x49, 0x13, 0x80, 0xF0, 0xD4}};

// ---------------------------------------------------------------------------------------
// Dispatch ids
// ---------------------------------------------------------------------------------------
enum : DISPID {
    DISPID_ClsDatiMirtesa_FiltroDataFinale = 0x68030001,
    DISPID_ClsDatiMirtesa_FiltroDataIniziale = 0x68030002,
    DISPID_ClsDatiMirtesa_FiltroNoStat = 0x68030003,
    DISPID_ClsDatiMirtesa_FiltroCarta = 0x68030004,
    DISPID_ClsDatiMirtesa_FiltroContoCorrente = 0x68030005,
    DISPID_ClsDatiMirtesa_FiltroBancomat = 0x68030006,
    DISPID_ClsDatiMirtesa_ImpostaCassa = 0x68030007,
    DISPID_ClsDatiMirtesa_ImpostaConto = 0x68030008,
    DISPID_ClsDatiMirtesa_ClearFiltri = 0x60030009,
    DISPID_ClsDatiMirtesa_ApriDataBase = 0x6003000A,
    DISPID_ClsDatiMirtesa_ChiudiDataBase = 0x6003000B,
    DISPID_ClsDatiMirtesa_GetImportoEuro = 0x60030011,
    DISPID_ClsDatiMirtesa_GetImportoLire = 0x60030012,
    DISPID_ClsDatiMirtesa_GetTotRecord = 0x60030013,
    DISPID_ClsDatiMirtesa_GetArrayDati = 0x60030014,
    DISPID_ClsDatiMirtesa_GetConti = 0x60030015,
    DISPID_ClsDatiMirtesa_GetCodiciCassa = 0x60030016,
    DISPID_ClsDatiMirtesa_f_mult_conto = 0x40030017,
    DISPID_ClsDatiMirtesa_f_mult_cassa = 0x40030018,

    DISPID_clsConti_IDConto = 0x40030000,
    DISPID_clsConti_Conto = 0x40030001,

    DISPID_clsCassa_Conto = 0x40030000,
    DISPID_clsCassa_IDCassa = 0x40030001,
    DISPID_clsCassa_Cassa = 0x40030002,
};

// ---------------------------------------------------------------------------------------
// Interfaces
// ---------------------------------------------------------------------------------------
struct _clsConti;
struct _clsCassa;

// The data class: a transaction filter, its queries, and the lists of accounts and cash
// codes. Filter operations work with or without an open database.
struct _ClsDatiMirtesa : IDispatch {
    STDMETHOD(ClearFiltri)() = 0;
    STDMETHOD(put_ImpostaConto)(LONG* IDConto) = 0;
    STDMETHOD(put_ImpostaCassa)(LONG* IDCassa) = 0;
    STDMETHOD(put_FiltroBancomat)(VARIANT_BOOL* valore) = 0;
    STDMETHOD(put_FiltroContoCorrente)(VARIANT_BOOL* valore) = 0;
    STDMETHOD(put_FiltroCarta)(VARIANT_BOOL* valore) = 0;
    STDMETHOD(put_FiltroNoStat)(VARIANT_BOOL* valore) = 0;
    STDMETHOD(put_FiltroDataIniziale)(DATE* data) = 0;
    STDMETHOD(put_FiltroDataFinale)(DATE* data) = 0;
    STDMETHOD(ApriDataBase)() = 0;
    STDMETHOD(ChiudiDataBase)() = 0;
    STDMETHOD(GetImportoEuro)(DOUBLE* result) = 0;
    STDMETHOD(GetImportoLire)(DOUBLE* result) = 0;
    STDMETHOD(GetTotRecord)(LONG* result) = 0;
    // dati: replaced by the fields-by-rows array of variants (left alone when the result
    // is -1, no rows).
    STDMETHOD(GetArrayDati)(SAFEARRAY** dati, LONG* result) = 0;
    STDMETHOD(GetConti)(_Collection** result) = 0;
    STDMETHOD(GetCodiciCassa)(SHORT* IDConto, _Collection** result) = 0;
    STDMETHOD(get_f_mult_conto)(BSTR* result) = 0;
    STDMETHOD(put_f_mult_conto)(BSTR valore) = 0;
    STDMETHOD(get_f_mult_cassa)(BSTR* result) = 0;
    STDMETHOD(put_f_mult_cassa)(BSTR valore) = 0;

protected:
    ~_ClsDatiMirtesa() = default;
};

// One account.
struct _clsConti : IDispatch {
    STDMETHOD(get_IDConto)(LONG* result) = 0;
    STDMETHOD(put_IDConto)(LONG valore) = 0;
    STDMETHOD(get_Conto)(BSTR* result) = 0;
    STDMETHOD(put_Conto)(BSTR valore) = 0;

protected:
    ~_clsConti() = default;
};

// One cash code and the account it belongs to.
struct _clsCassa : IDispatch {
    // The account object; created on the first read while the field holds none.
    STDMETHOD(get_Conto)(_clsConti** result) = 0;
    // A slot that the type library does not publish; it answers E_NOTIMPL.
    STDMETHOD(SlotNonPubblicato)() = 0;
    STDMETHOD(putref_Conto)(_clsConti** valore) = 0;
    STDMETHOD(get_IDCassa)(LONG* result) = 0;
    STDMETHOD(put_IDCassa)(LONG valore) = 0;
    STDMETHOD(get_Cassa)(VARIANT* result) = 0;
    STDMETHOD(put_Cassa)(VARIANT* valore) = 0;
    STDMETHOD(putref_Cassa)(VARIANT* valore) = 0;

protected:
    ~_clsCassa() = default;
};
