// The standard ordered Collection: one-based, with optional keys.
//
// Items are VARIANT copies in the order added (or placed with Before / After). A key is a
// text, compared without regard to case (ASCII and Latin-1 letters), unique in the
// collection; Item, Remove, Before and After take a position (any numeric VARIANT,
// rounded half to even) or a key (a VT_BSTR). Keys are hashed: Add, Item and lookups by
// key or position take constant time; inserting before the end and Remove shift the
// items after the place, as in any array. The object belongs to one thread at a time.
// Errors travel as numbers with their description: 5 for an invalid argument, 9 for a
// position or key that is not there, 13 for an index of another type, 457 for a key
// already in use.
//
// The enumerator from _NewEnum holds the collection and walks it live by position.
#include "interno.h"

#include <ole/server.hpp>

#include <algorithm>
#include <unordered_map>
#include <vector>

namespace {

constexpr std::int32_t kErrChiaveDoppia = 457;

std::u16string Piega(std::u16string s) {
    for (auto& c : s) {
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
        else if (c >= 0xC0 && c <= 0xDE && c != 0xD7) c = static_cast<char16_t>(c + 32);
    }
    return s;
}

[[noreturn]] void Errore(std::int32_t n) { throw vq::Errore(n, vq::DescrizioneRuntime(n)); }

bool Mancante(const VARIANT* v) {
    return !v || (v->vt == VT_ERROR && v->scode == DISP_E_PARAMNOTFOUND) ||
           (v->vt == (VT_VARIANT | VT_BYREF) && v->pvarVal && v->pvarVal->vt == VT_ERROR &&
            v->pvarVal->scode == DISP_E_PARAMNOTFOUND);
}

extern const ole::Membro kMembri[5];

struct Elemento {
    VARIANT valore;
    std::u16string chiave;  // folded; empty when the item has none
};

class Collezione final : public ole::OggettoDispatch<_Collection> {
public:
    Collezione() = default;
    ~Collezione() override {
        for (auto& e : elementi_) VariantClear(&e.valore);
    }

    // _Collection ------------------------------------------------------------------------
    STDMETHODIMP Item(VARIANT* Index, VARIANT* pvarRet) override {
        return ole::Proteggi([&] {
            if (!pvarRet) Errore(vq::kErrChiamataNonValida);
            std::size_t i = Posizione(Index);
            VariantInit(pvarRet);
            ole::Verifica(VariantCopy(pvarRet, &elementi_[i].valore));
        });
    }

    STDMETHODIMP Add(VARIANT* Item, VARIANT* Key, VARIANT* Before, VARIANT* After) override {
        return ole::Proteggi([&] {
            if (!Item) Errore(vq::kErrChiamataNonValida);
            if (!Mancante(Before) && !Mancante(After)) Errore(vq::kErrChiamataNonValida);
            std::u16string chiave;
            if (!Mancante(Key)) {
                ole::Variante testo;
                HRESULT hr = VariantChangeType(testo.get(), Key, 0, VT_BSTR);
                if (FAILED(hr)) Errore(vq::kErrTipo);
                chiave = Piega(std::u16string(ole::Bstr::Adotta(testo.detach().bstrVal).u16()));
                if (chiave.empty()) Errore(vq::kErrChiamataNonValida);
                if (chiavi_.count(chiave) != 0) Errore(kErrChiaveDoppia);
            }
            std::size_t dove = elementi_.size();
            if (!Mancante(Before)) dove = Posizione(Before);
            if (!Mancante(After)) dove = Posizione(After) + 1;
            Elemento e;
            VariantInit(&e.valore);
            ole::Verifica(VariantCopyInd(&e.valore, Item));
            e.chiave = std::move(chiave);
            try {
                if (!e.chiave.empty()) chiavi_.emplace(e.chiave, dove);
                elementi_.insert(elementi_.begin() + static_cast<std::ptrdiff_t>(dove), e);
            } catch (...) {
                if (!e.chiave.empty()) chiavi_.erase(e.chiave);
                VariantClear(&e.valore);
                throw;
            }
            // Items after the new one moved up by one.
            if (dove + 1 < elementi_.size())
                for (auto& [k, pos] : chiavi_)
                    if (pos >= dove && k != elementi_[dove].chiave) ++pos;
        });
    }

    STDMETHODIMP Count(LONG* pi) override {
        if (!pi) return E_POINTER;
        *pi = static_cast<LONG>(elementi_.size());
        return S_OK;
    }

    STDMETHODIMP Remove(VARIANT* Index) override {
        return ole::Proteggi([&] {
            std::size_t i = Posizione(Index);
            VariantClear(&elementi_[i].valore);
            if (!elementi_[i].chiave.empty()) chiavi_.erase(elementi_[i].chiave);
            elementi_.erase(elementi_.begin() + static_cast<std::ptrdiff_t>(i));
            if (i < elementi_.size())
                for (auto& voce : chiavi_)
                    if (voce.second > i) --voce.second;
        });
    }

    STDMETHODIMP _NewEnum(IUnknown** ppunk) override;

private:
    std::span<const ole::Membro> membri() const noexcept override { return kMembri; }
    void* trova(REFIID riid) noexcept override {
        if (IsEqualIID(riid, IID__Collection) || IsEqualIID(riid, IID_IDispatch))
            return static_cast<_Collection*>(this);
        return nullptr;
    }

    std::size_t Cerca(const std::u16string& chiavePiegata) const {
        auto it = chiavi_.find(chiavePiegata);
        return it == chiavi_.end() ? elementi_.size() : it->second;
    }

    // The zero-based position an index names; error 9 when there is no such item.
    std::size_t Posizione(const VARIANT* indice) const {
        if (Mancante(indice)) Errore(vq::kErrChiamataNonValida);
        ole::Variante v;
        ole::Verifica(VariantCopyInd(v.get(), indice));
        if (v.vt() == VT_BSTR) {
            std::size_t i =
                Cerca(Piega(std::u16string(ole::Bstr::Adotta(v.detach().bstrVal).u16())));
            if (i == elementi_.size()) Errore(vq::kErrIndice);
            return i;
        }
        ole::Variante n;
        HRESULT hr = VariantChangeType(n.get(), v.get(), VARIANT_NOVALUEPROP, VT_I4);
        if (hr == DISP_E_OVERFLOW) Errore(vq::kErrIndice);
        if (FAILED(hr)) Errore(vq::kErrTipo);
        LONG numero = n->lVal;
        if (numero < 1 || static_cast<std::size_t>(numero) > elementi_.size())
            Errore(vq::kErrIndice);
        return static_cast<std::size_t>(numero) - 1;
    }

    friend class Enumeratore;
    std::vector<Elemento> elementi_;
    std::unordered_map<std::u16string, std::size_t> chiavi_;  // folded key -> position
};

class Enumeratore final : public ole::Oggetto<IEnumVARIANT> {
public:
    Enumeratore(Collezione* c, std::size_t pos) : coll_(c), pos_(pos) {}

    STDMETHODIMP Next(ULONG celt, VARIANT* rgVar, ULONG* pCeltFetched) override {
        if (pCeltFetched) *pCeltFetched = 0;
        if (celt == 0) return S_OK;
        if (!rgVar || (celt > 1 && !pCeltFetched)) return E_INVALIDARG;
        ULONG presi = 0;
        const auto& el = coll_->elementi_;
        while (presi < celt && pos_ < el.size()) {
            VariantInit(&rgVar[presi]);
            HRESULT hr = VariantCopy(&rgVar[presi], &el[pos_].valore);
            if (FAILED(hr)) {
                for (ULONG k = 0; k < presi; ++k) VariantClear(&rgVar[k]);
                pos_ -= presi;
                return hr;
            }
            ++presi, ++pos_;
        }
        if (pCeltFetched) *pCeltFetched = presi;
        return presi == celt ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG celt) override {
        const std::size_t n = coll_->elementi_.size();
        const std::size_t resto = pos_ < n ? n - pos_ : 0;
        pos_ += std::min<std::size_t>(celt, resto);
        return celt <= resto ? S_OK : S_FALSE;
    }
    STDMETHODIMP Reset() override {
        pos_ = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(IEnumVARIANT** ppEnum) override {
        if (!ppEnum) return E_POINTER;
        *ppEnum = nullptr;
        try {
            *ppEnum = new Enumeratore(coll_.get(), pos_);
            return S_OK;
        } catch (...) {
            return E_OUTOFMEMORY;
        }
    }

private:
    void* trova(REFIID riid) noexcept override {
        return IsEqualIID(riid, IID_IEnumVARIANT) ? static_cast<IEnumVARIANT*>(this) : nullptr;
    }

    ole::ComPtr<Collezione> coll_;
    std::size_t pos_;
};

STDMETHODIMP Collezione::_NewEnum(IUnknown** ppunk) {
    if (!ppunk) return E_POINTER;
    *ppunk = nullptr;
    try {
        *ppunk = static_cast<IEnumVARIANT*>(new Enumeratore(this, 0));
        return S_OK;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

_Collection* Coll(IDispatch* o) noexcept { return static_cast<_Collection*>(o); }

constexpr WORD kLettura = DISPATCH_METHOD | DISPATCH_PROPERTYGET;

// Item is the default member; Add takes the item and up to three optional arguments.
const ole::Membro kMembri[5] = {
    {"Item", DISPID_VALUE, kLettura, 1,
     [](IDispatch* o, ole::Argomenti& a, VARIANT& r) {
         return Coll(o)->Item(a.Facoltativo(0), &r);
     }},
    {"Add", 1, DISPATCH_METHOD, 1,
     [](IDispatch* o, ole::Argomenti& a, VARIANT&) {
         return Coll(o)->Add(a.Facoltativo(0), a.Facoltativo(1), a.Facoltativo(2),
                             a.Facoltativo(3));
     },
     3},
    {"Count", 2, kLettura, 0,
     [](IDispatch* o, ole::Argomenti&, VARIANT& r) {
         r.vt = VT_I4;
         return Coll(o)->Count(&r.lVal);
     }},
    {"Remove", 3, DISPATCH_METHOD, 1,
     [](IDispatch* o, ole::Argomenti& a, VARIANT&) { return Coll(o)->Remove(a.Facoltativo(0)); }},
    {"_NewEnum", DISPID_NEWENUM, kLettura, 0,
     [](IDispatch* o, ole::Argomenti&, VARIANT& r) {
         IUnknown* e = nullptr;
         const HRESULT hr = Coll(o)->_NewEnum(&e);
         if (SUCCEEDED(hr)) {
             r.vt = VT_UNKNOWN;
             r.punkVal = e;
         }
         return hr;
     }},
};

}  // namespace

extern "C" HRESULT VqCreateCollection(_Collection** result) {
    if (!result) return E_POINTER;
    *result = nullptr;
    try {
        *result = new Collezione();
        return S_OK;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}
