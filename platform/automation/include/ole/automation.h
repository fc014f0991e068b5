// The automation runtime: Windows names, layouts and semantics, exported with C linkage
// from the shared library vqautomation, so that any client written against this header
// works with any component built against it.
//
// Layouts follow Windows exactly: GUID is 16 bytes; VARIANT is 16 bytes on 32-bit and
// 24 bytes on 64-bit targets; a BSTR points at UTF-16 text preceded by its length in
// bytes (4 bytes) and followed by a 0 character; a SAFEARRAY keeps its bounds in
// rgsabound[] in reverse order (rgsabound[0] is the rightmost dimension), while index
// arrays passed to SafeArrayGetElement / SafeArrayPutElement and the bounds passed to
// SafeArrayCreate list the leftmost dimension first. Elements are stored with the
// leftmost index varying fastest.
//
// Interfaces are abstract structs whose pure virtual methods sit in the Windows slot
// order (the first slot after the vtable pointer is QueryInterface). Their destructors
// are protected and not virtual: an interface is never deleted through a pointer, only
// Release()d, and a destructor adds no slot.
//
// Memory: BSTRs, arrays and error infos are allocated and freed only by this library, so
// a process has one allocator for them, whichever component made them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "win/tipi.h"

#define STDMETHODCALLTYPE
#define STDAPICALLTYPE
#define VQ_OLE_EXPORT __attribute__((visibility("default")))
// An exported function with C linkage returning an HRESULT (DllGetClassObject & co.).
#define STDAPI extern "C" VQ_OLE_EXPORT HRESULT STDAPICALLTYPE
#define STDAPI_(type) extern "C" VQ_OLE_EXPORT type STDAPICALLTYPE
#define STDMETHOD(method) virtual HRESULT STDMETHODCALLTYPE method
#define STDMETHOD_(type, method) virtual type STDMETHODCALLTYPE method
#define STDMETHODIMP HRESULT STDMETHODCALLTYPE
#define STDMETHODIMP_(type) type STDMETHODCALLTYPE

// ---------------------------------------------------------------------------------------
// Fixed-width Windows types
// ---------------------------------------------------------------------------------------
using LCID = DWORD;
using HRESULT = LONG;
using SCODE = LONG;
using DISPID = LONG;
using MEMBERID = DISPID;
using VARTYPE = USHORT;
using VARIANT_BOOL = SHORT;
using DATE = double;
using OLECHAR = char16_t;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;
using BSTR = OLECHAR*;
using LPBSTR = BSTR*;

inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;

// Currency: a 64-bit integer holding the amount scaled by 10,000.
union CY {
    struct {
        ULONG Lo;
        LONG Hi;
    } s;
    LONGLONG int64;
};
static_assert(sizeof(CY) == 8);

// ---------------------------------------------------------------------------------------
// HRESULT
// ---------------------------------------------------------------------------------------
inline constexpr bool SUCCEEDED(HRESULT hr) noexcept { return hr >= 0; }
inline constexpr bool FAILED(HRESULT hr) noexcept { return hr < 0; }
inline constexpr ULONG HRESULT_CODE(HRESULT hr) noexcept {
    return static_cast<ULONG>(hr) & 0xFFFFu;
}
inline constexpr ULONG HRESULT_FACILITY(HRESULT hr) noexcept {
    return (static_cast<ULONG>(hr) >> 16) & 0x1FFFu;
}
inline constexpr ULONG HRESULT_SEVERITY(HRESULT hr) noexcept {
    return (static_cast<ULONG>(hr) >> 31) & 1u;
}
// MAKE_HRESULT(1, FACILITY_CONTROL, 4567) is 0x800A11D7.
template <class Sev, class Fac, class Code>
inline constexpr HRESULT MAKE_HRESULT(Sev sev, Fac fac, Code code) noexcept {
    return static_cast<HRESULT>((static_cast<ULONG>(sev) << 31) | (static_cast<ULONG>(fac) << 16) |
                                static_cast<ULONG>(code));
}

inline constexpr ULONG FACILITY_NULL = 0;
inline constexpr ULONG FACILITY_RPC = 1;
inline constexpr ULONG FACILITY_DISPATCH = 2;
inline constexpr ULONG FACILITY_STORAGE = 3;
inline constexpr ULONG FACILITY_ITF = 4;
inline constexpr ULONG FACILITY_WIN32 = 7;
inline constexpr ULONG FACILITY_WINDOWS = 8;
inline constexpr ULONG FACILITY_CONTROL = 10;

inline constexpr HRESULT HRESULT_FROM_WIN32(ULONG x) noexcept {
    return static_cast<HRESULT>(x) <= 0
               ? static_cast<HRESULT>(x)
               : static_cast<HRESULT>((x & 0xFFFFu) | (FACILITY_WIN32 << 16) | 0x80000000u);
}

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
inline constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
inline constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
inline constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
inline constexpr HRESULT E_ABORT = static_cast<HRESULT>(0x80004004u);
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT E_ACCESSDENIED = static_cast<HRESULT>(0x80070005u);
inline constexpr HRESULT E_HANDLE = static_cast<HRESULT>(0x80070006u);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);

inline constexpr HRESULT DISP_E_UNKNOWNINTERFACE = static_cast<HRESULT>(0x80020001u);
inline constexpr HRESULT DISP_E_MEMBERNOTFOUND = static_cast<HRESULT>(0x80020003u);
inline constexpr HRESULT DISP_E_PARAMNOTFOUND = static_cast<HRESULT>(0x80020004u);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = static_cast<HRESULT>(0x80020005u);
inline constexpr HRESULT DISP_E_UNKNOWNNAME = static_cast<HRESULT>(0x80020006u);
inline constexpr HRESULT DISP_E_NONAMEDARGS = static_cast<HRESULT>(0x80020007u);
inline constexpr HRESULT DISP_E_BADVARTYPE = static_cast<HRESULT>(0x80020008u);
inline constexpr HRESULT DISP_E_EXCEPTION = static_cast<HRESULT>(0x80020009u);
inline constexpr HRESULT DISP_E_OVERFLOW = static_cast<HRESULT>(0x8002000Au);
inline constexpr HRESULT DISP_E_BADINDEX = static_cast<HRESULT>(0x8002000Bu);
inline constexpr HRESULT DISP_E_UNKNOWNLCID = static_cast<HRESULT>(0x8002000Cu);
inline constexpr HRESULT DISP_E_ARRAYISLOCKED = static_cast<HRESULT>(0x8002000Du);
inline constexpr HRESULT DISP_E_BADPARAMCOUNT = static_cast<HRESULT>(0x8002000Eu);
inline constexpr HRESULT DISP_E_PARAMNOTOPTIONAL = static_cast<HRESULT>(0x8002000Fu);
inline constexpr HRESULT DISP_E_NOTACOLLECTION = static_cast<HRESULT>(0x80020011u);
inline constexpr HRESULT TYPE_E_ELEMENTNOTFOUND = static_cast<HRESULT>(0x8002802Bu);

inline constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);
inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = static_cast<HRESULT>(0x80040111u);
inline constexpr HRESULT REGDB_E_READREGDB = static_cast<HRESULT>(0x80040150u);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);
inline constexpr HRESULT REGDB_E_IIDNOTREG = static_cast<HRESULT>(0x80040155u);
inline constexpr HRESULT CO_E_NOTINITIALIZED = static_cast<HRESULT>(0x800401F0u);
inline constexpr HRESULT CO_E_CLASSSTRING = static_cast<HRESULT>(0x800401F3u);
inline constexpr HRESULT CO_E_DLLNOTFOUND = static_cast<HRESULT>(0x800401F8u);
inline constexpr HRESULT CO_E_ERRORINDLL = static_cast<HRESULT>(0x800401F9u);
inline constexpr HRESULT RPC_E_CHANGED_MODE = static_cast<HRESULT>(0x80010106u);

// ---------------------------------------------------------------------------------------
// GUID
// ---------------------------------------------------------------------------------------
struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};
static_assert(sizeof(GUID) == 16);
using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;
using LPGUID = GUID*;
using LPCLSID = CLSID*;
using LPIID = IID*;

inline constexpr bool IsEqualGUID(REFGUID a, REFGUID b) noexcept {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i]) return false;
    return true;
}
inline constexpr bool IsEqualIID(REFIID a, REFIID b) noexcept { return IsEqualGUID(a, b); }
inline constexpr bool IsEqualCLSID(REFCLSID a, REFCLSID b) noexcept { return IsEqualGUID(a, b); }
inline constexpr bool operator==(REFGUID a, REFGUID b) noexcept { return IsEqualGUID(a, b); }

inline constexpr IID IID_NULL = {0x00000000, 0x0000, 0x0000, {0, 0, 0, 0, 0, 0, 0, 0}};
inline constexpr CLSID CLSID_NULL = IID_NULL;
inline constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IClassFactory = {
    0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IEnumVARIANT = {
    0x00020404, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IErrorInfo = {
    0x1CF2B120, 0x547D, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
inline constexpr IID IID_ICreateErrorInfo = {
    0x22F03340, 0x547D, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
inline constexpr IID IID_ISupportErrorInfo = {
    0xDF0B3D60, 0x548F, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
// The standard ordered Collection: its interface and its class.
inline constexpr IID IID__Collection = {
    0xA4C46780, 0x499F, 0x101B, {0xBB, 0x78, 0x00, 0xAA, 0x00, 0x38, 0x3C, 0xBB}};
inline constexpr CLSID CLSID_Collection = {
    0xA4C4671C, 0x499F, 0x101B, {0xBB, 0x78, 0x00, 0xAA, 0x00, 0x38, 0x3C, 0xBB}};

// ---------------------------------------------------------------------------------------
// VARIANT
// ---------------------------------------------------------------------------------------
enum VARENUM : VARTYPE {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_CY = 6,
    VT_DATE = 7,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_DECIMAL = 14,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_INT = 22,
    VT_UINT = 23,
    VT_VOID = 24,
    VT_HRESULT = 25,
    VT_RECORD = 36,
    VT_ARRAY = 0x2000,
    VT_BYREF = 0x4000,
    VT_TYPEMASK = 0x0FFF,
};

struct SAFEARRAY;
struct IUnknown;
struct IDispatch;
struct IRecordInfo;  // not provided by this runtime; present for the layout only
struct ITypeInfo;    // not provided by this runtime; GetTypeInfo answers E_NOTIMPL

struct BRECORD {
    PVOID pvRecord;
    IRecordInfo* pRecInfo;
};

struct VARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONGLONG llVal;
        LONG lVal;
        BYTE bVal;
        SHORT iVal;
        FLOAT fltVal;
        DOUBLE dblVal;
        VARIANT_BOOL boolVal;
        SCODE scode;
        CY cyVal;
        DATE date;
        BSTR bstrVal;
        IUnknown* punkVal;
        IDispatch* pdispVal;
        SAFEARRAY* parray;
        BYTE* pbVal;
        SHORT* piVal;
        LONG* plVal;
        LONGLONG* pllVal;
        FLOAT* pfltVal;
        DOUBLE* pdblVal;
        VARIANT_BOOL* pboolVal;
        SCODE* pscode;
        CY* pcyVal;
        DATE* pdate;
        BSTR* pbstrVal;
        IUnknown** ppunkVal;
        IDispatch** ppdispVal;
        SAFEARRAY** pparray;
        VARIANT* pvarVal;
        PVOID byref;
        CHAR cVal;
        USHORT uiVal;
        ULONG ulVal;
        ULONGLONG ullVal;
        INT intVal;
        UINT uintVal;
        CHAR* pcVal;
        USHORT* puiVal;
        ULONG* pulVal;
        ULONGLONG* pullVal;
        INT* pintVal;
        UINT* puintVal;
        BRECORD brecVal;
    };
};
using VARIANTARG = VARIANT;
using LPVARIANT = VARIANT*;
using LPVARIANTARG = VARIANT*;
static_assert(sizeof(VARIANT) == (sizeof(void*) == 8 ? 24 : 16));

// Flags of VariantChangeType.
inline constexpr USHORT VARIANT_NOVALUEPROP = 0x01;  // never read an object's default value
inline constexpr USHORT VARIANT_ALPHABOOL = 0x02;    // booleans as "True"/"False" (else "-1"/"0")
inline constexpr USHORT VARIANT_NOUSEROVERRIDE = 0x04;
inline constexpr USHORT VARIANT_LOCALBOOL = 0x10;  // with VARIANT_ALPHABOOL: "Vero"/"Falso"

// ---------------------------------------------------------------------------------------
// SAFEARRAY
// ---------------------------------------------------------------------------------------
struct SAFEARRAYBOUND {
    ULONG cElements;
    LONG lLbound;
};

struct SAFEARRAY {
    USHORT cDims;
    USHORT fFeatures;
    ULONG cbElements;
    ULONG cLocks;
    PVOID pvData;
    SAFEARRAYBOUND rgsabound[1];  // cDims entries, rightmost dimension first
};
using LPSAFEARRAY = SAFEARRAY*;

inline constexpr USHORT FADF_AUTO = 0x0001;
inline constexpr USHORT FADF_STATIC = 0x0002;
inline constexpr USHORT FADF_EMBEDDED = 0x0004;
inline constexpr USHORT FADF_FIXEDSIZE = 0x0010;
inline constexpr USHORT FADF_RECORD = 0x0020;
inline constexpr USHORT FADF_HAVEIID = 0x0040;
inline constexpr USHORT FADF_HAVEVARTYPE = 0x0080;
inline constexpr USHORT FADF_BSTR = 0x0100;
inline constexpr USHORT FADF_UNKNOWN = 0x0200;
inline constexpr USHORT FADF_DISPATCH = 0x0400;
inline constexpr USHORT FADF_VARIANT = 0x0800;

// ---------------------------------------------------------------------------------------
// Dispatch
// ---------------------------------------------------------------------------------------
struct DISPPARAMS {
    VARIANTARG* rgvarg;  // arguments in reverse order (the last argument first)
    DISPID* rgdispidNamedArgs;
    UINT cArgs;
    UINT cNamedArgs;
};

struct EXCEPINFO {
    WORD wCode;
    WORD wReserved;
    BSTR bstrSource;
    BSTR bstrDescription;
    BSTR bstrHelpFile;
    DWORD dwHelpContext;
    PVOID pvReserved;
    HRESULT(STDMETHODCALLTYPE* pfnDeferredFillIn)(EXCEPINFO*);
    SCODE scode;
};

inline constexpr WORD DISPATCH_METHOD = 0x1;
inline constexpr WORD DISPATCH_PROPERTYGET = 0x2;
inline constexpr WORD DISPATCH_PROPERTYPUT = 0x4;
inline constexpr WORD DISPATCH_PROPERTYPUTREF = 0x8;

inline constexpr DISPID DISPID_UNKNOWN = -1;
inline constexpr DISPID DISPID_VALUE = 0;
inline constexpr DISPID DISPID_PROPERTYPUT = -3;
inline constexpr DISPID DISPID_NEWENUM = -4;
inline constexpr DISPID DISPID_EVALUATE = -5;

inline constexpr LCID LOCALE_USER_DEFAULT = 0x0400;
inline constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x0800;

// ---------------------------------------------------------------------------------------
// Interfaces (slot order as on Windows)
// ---------------------------------------------------------------------------------------
struct IUnknown {
    STDMETHOD(QueryInterface)(REFIID riid, void** ppvObject) = 0;
    STDMETHOD_(ULONG, AddRef)() = 0;
    STDMETHOD_(ULONG, Release)() = 0;

protected:
    ~IUnknown() = default;
};
using LPUNKNOWN = IUnknown*;

struct IDispatch : IUnknown {
    STDMETHOD(GetTypeInfoCount)(UINT* pctinfo) = 0;
    STDMETHOD(GetTypeInfo)(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) = 0;
    STDMETHOD(GetIDsOfNames)
    (REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId) = 0;
    STDMETHOD(Invoke)
    (DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
     VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) = 0;

protected:
    ~IDispatch() = default;
};
using LPDISPATCH = IDispatch*;

struct IClassFactory : IUnknown {
    STDMETHOD(CreateInstance)(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) = 0;
    STDMETHOD(LockServer)(BOOL fLock) = 0;

protected:
    ~IClassFactory() = default;
};

struct IEnumVARIANT : IUnknown {
    // Copies up to celt items into rgVar (which the caller frees with VariantClear);
    // S_FALSE when fewer than celt were left.
    STDMETHOD(Next)(ULONG celt, VARIANT* rgVar, ULONG* pCeltFetched) = 0;
    STDMETHOD(Skip)(ULONG celt) = 0;
    STDMETHOD(Reset)() = 0;
    STDMETHOD(Clone)(IEnumVARIANT** ppEnum) = 0;

protected:
    ~IEnumVARIANT() = default;
};

struct IErrorInfo : IUnknown {
    STDMETHOD(GetGUID)(GUID* pGUID) = 0;
    STDMETHOD(GetSource)(BSTR* pBstrSource) = 0;
    STDMETHOD(GetDescription)(BSTR* pBstrDescription) = 0;
    STDMETHOD(GetHelpFile)(BSTR* pBstrHelpFile) = 0;
    STDMETHOD(GetHelpContext)(DWORD* pdwHelpContext) = 0;

protected:
    ~IErrorInfo() = default;
};

struct ICreateErrorInfo : IUnknown {
    STDMETHOD(SetGUID)(REFGUID rguid) = 0;
    STDMETHOD(SetSource)(LPOLESTR szSource) = 0;
    STDMETHOD(SetDescription)(LPOLESTR szDescription) = 0;
    STDMETHOD(SetHelpFile)(LPOLESTR szHelpFile) = 0;
    STDMETHOD(SetHelpContext)(DWORD dwHelpContext) = 0;

protected:
    ~ICreateErrorInfo() = default;
};

struct ISupportErrorInfo : IUnknown {
    STDMETHOD(InterfaceSupportsErrorInfo)(REFIID riid) = 0;

protected:
    ~ISupportErrorInfo() = default;
};

// The standard ordered Collection. Items are numbered from 1 in the order added (or
// placed with Before / After). An index is a number of any numeric type (rounded half to
// even) or the text of a key. Keys are optional texts, compared without regard to case
// and unique (a second one fails with error 457). Errors come back as numbers with their
// description: 5 invalid argument, 9 no such item, 13 an index of the wrong type.
// Dispatch ids: Item 0 (DISPID_VALUE), Add 1, Count 2, Remove 3, _NewEnum -4.
// An optional argument that is not given is a VARIANT of type VT_ERROR with the scode
// DISP_E_PARAMNOTFOUND (or a null pointer).
struct _Collection : IDispatch {
    STDMETHOD(Item)(VARIANT* Index, VARIANT* pvarRet) = 0;
    STDMETHOD(Add)(VARIANT* Item, VARIANT* Key, VARIANT* Before, VARIANT* After) = 0;
    STDMETHOD(Count)(LONG* pi) = 0;
    STDMETHOD(Remove)(VARIANT* Index) = 0;
    STDMETHOD(_NewEnum)(IUnknown** ppunk) = 0;

protected:
    ~_Collection() = default;
};

// ---------------------------------------------------------------------------------------
// Class activation
// ---------------------------------------------------------------------------------------
inline constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
inline constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
inline constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
inline constexpr DWORD CLSCTX_REMOTE_SERVER = 0x10;
inline constexpr DWORD CLSCTX_INPROC = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER;
inline constexpr DWORD CLSCTX_ALL =
    CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;

inline constexpr DWORD COINIT_MULTITHREADED = 0x0;
inline constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;

// The entry points of an in-process server library.
using LPFNGETCLASSOBJECT = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, LPVOID*);
using LPFNCANUNLOADNOW = HRESULT(STDAPICALLTYPE*)();

extern "C" {

// Strings -------------------------------------------------------------------------------
// A BSTR may hold embedded 0 characters; SysStringLen gives its length in characters.
// A null BSTR stands for the empty text everywhere.
VQ_OLE_EXPORT BSTR STDAPICALLTYPE SysAllocString(const OLECHAR* psz);
VQ_OLE_EXPORT BSTR STDAPICALLTYPE SysAllocStringLen(const OLECHAR* strIn, UINT ui);
VQ_OLE_EXPORT BSTR STDAPICALLTYPE SysAllocStringByteLen(const char* psz, UINT len);
VQ_OLE_EXPORT INT STDAPICALLTYPE SysReAllocString(BSTR* pbstr, const OLECHAR* psz);
VQ_OLE_EXPORT INT STDAPICALLTYPE SysReAllocStringLen(BSTR* pbstr, const OLECHAR* psz, UINT len);
VQ_OLE_EXPORT void STDAPICALLTYPE SysFreeString(BSTR bstrString);
VQ_OLE_EXPORT UINT STDAPICALLTYPE SysStringLen(BSTR pbstr);
VQ_OLE_EXPORT UINT STDAPICALLTYPE SysStringByteLen(BSTR bstr);

// Task memory (returned buffers that the caller frees) -------------------------------------
VQ_OLE_EXPORT LPVOID STDAPICALLTYPE CoTaskMemAlloc(std::size_t cb);
VQ_OLE_EXPORT LPVOID STDAPICALLTYPE CoTaskMemRealloc(LPVOID pv, std::size_t cb);
VQ_OLE_EXPORT void STDAPICALLTYPE CoTaskMemFree(LPVOID pv);

// VARIANT -------------------------------------------------------------------------------
VQ_OLE_EXPORT void STDAPICALLTYPE VariantInit(VARIANTARG* pvarg);
// Frees what the variant owns (BSTR, array, interface reference) and leaves it VT_EMPTY.
VQ_OLE_EXPORT HRESULT STDAPICALLTYPE VariantClear(VARIANTARG* pvarg);
// Clears the destination, then copies: BSTRs and arrays deeply, interfaces AddRef'd;
// a VT_BYREF variant is copied as the reference itself.
VQ_OLE_EXPORT HRESULT STDAPICALLTYPE VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc);
// As VariantCopy, but a VT_BYREF source is dereferenced into a value.
VQ_OLE_EXPORT HRESULT STDAPICALLTYPE VariantCopyInd(VARIANT* pvarDest, const VARIANTARG* pvargSrc);
// Conversion between the scalar types and VT_BSTR (an object converts through its default
// value, DISPID_VALUE, unless VARIANT_NOVALUEPROP). Numbers narrow with rounding half to
// even; a value out of the target's range gives DISP_E_OVERFLOW; text that is not a
// number (or a date, or a boolean name) gives DISP_E_TYPEMISMATCH, as does Null to
// anything but Null. Text uses "." as the decimal separator whatever the locale; dates
// read and write as "dd/mm/yyyy hh:mm:ss" (the time left out at midnight, the date left
// out on day 0) and also read "yyyy-mm-dd[Thh:mm:ss]". On failure the destination is
// left untouched. pvargDest may equal pvarSrc.
VQ_OLE_EXPORT HRESULT STDAPICALLTYPE VariantChangeType(VARIANTARG* pvargDest,
                                                       const VARIANTARG* pvarSrc, USHORT wFlags,
                                                       VARTYPE vt);

// SAFEARRAY -----------------------------------------------------------------------------
// rgsabound lists the leftmost dimension first. Elements start zeroed (VT_EMPTY variants,
// null BSTRs and interfaces).
VQ_OLE_EXPORT SAFEARRAY* STDAPICALLTYPE SafeArrayCreate(VARTYPE vt, UINT cDims,
                                                        SAFEARRAYBOUND* rgsabound);
VQ_OLE_EXPORT SAFEARRAY* STDAPICALLTYPE SafeArrayCreateVector(VARTYPE vt, LONG lLbound,
                                                              ULONG cElements);
VQ_OLE_EXPORT HRESULT STDAPICALLTYPE SafeArrayAllocDescriptor(UINT cDims, SAFEARRAY** ppsaOut);
VQ_OLE_EXPORT HRESULT STDAPICALLTYPE SafeArrayAllocDescriptorEx(VARTYPE vt, UINT cDims,
                                                                SAFEARRAY** ppsaOut);
VQ_OLE_EXPORT HRESULT STDAPICALLTYPE SafeArrayAllocData(SAFEARRAY* psa);
VQ_OLE_EXPORT HRESULT STDAPICALLTYPE SafeArrayDestroy(SAFEARRAY* psa);
VQ_OLE_EXPORT HRESULT STDAPICALLTYPE SafeArrayDestroyData(SAFEARRAY* psa);
VQ_OLE_EXPORT HRESULT STDAPICALLTYPE SafeArrayDestroyDescriptor(SAFEARRAY* psa);
VQ_OLE_EXPORT HRESULT STDAPICALLTYPE SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut);
// nDim is 1-based and counts from the leftmost dimension.
VQ_OLE_EXPORT UINT STDAPICALLTYPE SafeArrayGetDim(SAFEARRAY* psa);
VQ_OLE_EXPORT UINT STDAPICALLTYPE SafeArrayGetElemsize(SAFEARRAY* psa);
VQ_OLE_EXPORT HRESULT STDAPICALLTYPE SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound);
VQ_OLE_EXPORT HRESULT STDAPICALLTYPE SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound);
VQ_OLE_EXPORT HRESULT STDAPICALLTYPE SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt);
VQ_OLE_EXPORT HRESULT STDAPICALLTYPE SafeArrayLock(SAFEARRAY* psa);
VQ_OLE_EXPORT HRESULT STDAPICALLTYPE SafeArrayUnlock(SAFEARRAY* psa);
VQ_OLE_EXPORT HRESULT STDAPICALLTYPE SafeArrayAccessData(SAFEARRAY* psa, void** ppvData);
VQ_OLE_EXPORT HRESULT STDAPICALLTYPE SafeArrayUnaccessData(SAFEARRAY* psa);
// rgIndices lists the leftmost dimension first: for a [field][row] array, {field, row}.
// GetElement copies out (a BSTR, variant or interface the caller then owns): the
// destination is overwritten, not cleared first, so it must hold nothing of value.
// PutElement copies in (the array keeps its own copy); for VT_BSTR, VT_DISPATCH and
// VT_UNKNOWN arrays pv is the BSTR or interface pointer itself, else a pointer to the
// value (a VARIANT* for variant arrays).
VQ_OLE_EXPORT HRESULT STDAPICALLTYPE SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv);
VQ_OLE_EXPORT HRESULT STDAPICALLTYPE SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv);
VQ_OLE_EXPORT HRESULT STDAPICALLTYPE SafeArrayPtrOfIndex(SAFEARRAY* psa, LONG* rgIndices,
                                                         void** ppvData);
// Changes the bound of the rightmost dimension (psa->rgsabound[0]), keeping the elements
// that remain and freeing those that go.
VQ_OLE_EXPORT HRESULT STDAPICALLTYPE SafeArrayRedim(SAFEARRAY* psa, SAFEARRAYBOUND* psaboundNew);

// Error info (one per thread) --------------------------------------------------------------
VQ_OLE_EXPORT HRESULT STDAPICALLTYPE SetErrorInfo(ULONG dwReserved, IErrorInfo* perrinfo);
// Hands the thread's error info to the caller (who releases it) and clears it; S_FALSE
// and a null pointer when there is none.
VQ_OLE_EXPORT HRESULT STDAPICALLTYPE GetErrorInfo(ULONG dwReserved, IErrorInfo** pperrinfo);
VQ_OLE_EXPORT HRESULT STDAPICALLTYPE CreateErrorInfo(ICreateErrorInfo** pperrinfo);

// GUID text form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" ---------------------------------
VQ_OLE_EXPORT HRESULT STDAPICALLTYPE CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid);
VQ_OLE_EXPORT HRESULT STDAPICALLTYPE IIDFromString(LPCOLESTR lpsz, LPIID lpiid);
// Writes the 38 characters and a terminating 0; returns 39, or 0 when cchMax is too small.
VQ_OLE_EXPORT int STDAPICALLTYPE StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax);
// Reads HKEY_CLASSES_ROOT\<ProgID>\CLSID.
VQ_OLE_EXPORT HRESULT STDAPICALLTYPE CLSIDFromProgID(LPCOLESTR lpszProgID, LPCLSID lpclsid);

// Threads and classes ---------------------------------------------------------------------
// Counted per thread: every successful call (S_OK the first time, S_FALSE after) needs
// its CoUninitialize. Creating objects needs an initialised thread (CO_E_NOTINITIALIZED).
VQ_OLE_EXPORT HRESULT STDAPICALLTYPE CoInitialize(LPVOID pvReserved);
VQ_OLE_EXPORT HRESULT STDAPICALLTYPE CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit);
VQ_OLE_EXPORT void STDAPICALLTYPE CoUninitialize();
// Looks up HKEY_CLASSES_ROOT\CLSID\{...}\InprocServer32 (default value: the library's
// path), loads that library once per process and asks its DllGetClassObject.
// REGDB_E_CLASSNOTREG when the class is not registered, CO_E_DLLNOTFOUND when the
// library cannot be loaded, CO_E_ERRORINDLL when it has no DllGetClassObject,
// CLASS_E_CLASSNOTAVAILABLE when the library does not know the class. The standard
// Collection (CLSID_Collection) needs no registration.
VQ_OLE_EXPORT HRESULT STDAPICALLTYPE CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext,
                                                      LPVOID pvReserved, REFIID riid, LPVOID* ppv);
VQ_OLE_EXPORT HRESULT STDAPICALLTYPE CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter,
                                                      DWORD dwClsContext, REFIID riid, LPVOID* ppv);
// Libraries stay loaded for the life of the process; this only asks them (kept for
// callers that expect it).
VQ_OLE_EXPORT void STDAPICALLTYPE CoFreeUnusedLibraries();

// The standard Collection, without a registry look-up.
VQ_OLE_EXPORT HRESULT STDAPICALLTYPE VqCreateCollection(_Collection** result);

}  // extern "C"
