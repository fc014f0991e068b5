// Figures of the automation runtime: building, copying and freeing a [10][rows] array of
// variants (the data component's row array), a Collection of record objects, text to
// number conversions and the error bridge. Prints one line per measure (CPU time).
#include <ole/ole.hpp>

#include <sys/resource.h>

#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// Times are the thread's CPU time, so that a busy machine does not inflate them.
struct Orologio {
    using time_point = double;
    static double now() {
        timespec ts{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
    }
};

double Ms(double da) { return Orologio::now() - da; }

long PiccoKb() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

class Record final : public ole::Oggetto<IDispatch> {
public:
    explicit Record(LONG id) : id_(id) {}
    STDMETHODIMP GetTypeInfoCount(UINT* n) override {
        *n = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return DISP_E_UNKNOWNNAME;
    }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* r, EXCEPINFO*,
                        UINT*) override {
        if (r) *r = ole::Variante::I4(id_).detach();
        return S_OK;
    }

private:
    void* trova(REFIID riid) noexcept override {
        return IsEqualIID(riid, IID_IDispatch) ? static_cast<IDispatch*>(this) : nullptr;
    }
    LONG id_;
};

}  // namespace

int main(int argc, char** argv) {
    const long righe = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 100000;
    if (righe <= 0) return 2;
    const long base = PiccoKb();

    // Row array: 10 fields by `righe` rows, filled as the data component does.
    auto t = Orologio::now();
    SAFEARRAYBOUND lim[2] = {{10, 0}, {static_cast<ULONG>(righe), 0}};
    SAFEARRAY* psa = SafeArrayCreate(VT_VARIANT, 2, lim);
    if (!psa) return 1;
    ole::Variante valori[10] = {
        ole::Variante::I4(3),          ole::Variante::I4(12),
        ole::Variante::Data(38353.0),  ole::Variante::Testo("Spesa al mercato rionale"),
        ole::Variante::R8(-42.35),     ole::Variante::R8(-82000.0),
        ole::Variante::Booleano(true), ole::Variante::Booleano(false),
        ole::Variante::Null(),         ole::Variante::Booleano(false)};
    for (LONG r = 0; r < righe; ++r)
        for (LONG f = 0; f < 10; ++f) {
            LONG idx[2] = {f, r};
            if (FAILED(SafeArrayPutElement(psa, idx, valori[f].get()))) return 1;
        }
    const double riempi = Ms(t);
    const long picco = PiccoKb() - base;
    t = Orologio::now();
    long letti = 0;
    for (LONG r = 0; r < righe; ++r) {
        LONG idx[2] = {3, r};
        VARIANT v;
        if (SUCCEEDED(SafeArrayGetElement(psa, idx, &v)))
            letti += static_cast<long>(SysStringLen(v.bstrVal));
        VariantClear(&v);
    }
    const double leggi = Ms(t);
    t = Orologio::now();
    SAFEARRAY* copia = nullptr;
    if (FAILED(SafeArrayCopy(psa, &copia))) return 1;
    const double copiaMs = Ms(t);
    t = Orologio::now();
    SafeArrayDestroy(copia);
    SafeArrayDestroy(psa);
    const double distruggi = Ms(t);
    std::printf(
        "row array %ld x 10: fill %.1f ms (%.0f ns/element), peak +%ld KiB (%.1f bytes/element)\n",
        righe, riempi, riempi * 1e6 / (10.0 * static_cast<double>(righe)), picco,
        static_cast<double>(picco) * 1024.0 / (10.0 * static_cast<double>(righe)));
    std::printf(
        "row array: read one text field of every row %.1f ms (%ld chars), copy %.1f ms, free both "
        "%.1f ms\n",
        leggi, letti, copiaMs, distruggi);

    // Collection of record objects, enumerated as a client does.
    const LONG n = static_cast<LONG>(righe / 10 > 0 ? righe / 10 : 1);
    t = Orologio::now();
    auto c = ole::NuovaCollection();
    for (LONG i = 0; i < n; ++i) {
        auto rec = ole::CreaOggetto<Record, IDispatch>(i);
        ole::Variante v = ole::Variante::Oggetto(rec.get());
        ole::Verifica(c->Add(v.get(), nullptr, nullptr, nullptr));
    }
    const double aggiungi = Ms(t);
    t = Orologio::now();
    ole::ComPtr<IUnknown> u;
    ole::Verifica(c->_NewEnum(u.put()));
    auto e = u.as<IEnumVARIANT>(IID_IEnumVARIANT);
    long somma = 0;
    ole::Variante v;
    while (e->Next(1, v.put(), nullptr) == S_OK) {
        ole::Variante id;
        if (SUCCEEDED(VariantChangeType(id.get(), v.get(), 0, VT_I4))) somma += id->lVal;
    }
    const double enumera = Ms(t);
    t = Orologio::now();
    e.reset();
    u.reset();
    c.reset();
    const double rilascia = Ms(t);
    std::printf(
        "collection of %d records: add %.1f ms, enumerate with default value %.1f ms (sum %ld), "
        "release %.1f ms\n",
        n, aggiungi, enumera, somma, rilascia);

    // Text to number, and the error bridge.
    const int giri = 100000;
    ole::Variante testo = ole::Variante::Testo("  -12345.678 ");
    t = Orologio::now();
    double tot = 0;
    for (int i = 0; i < giri; ++i) {
        ole::Variante d;
        if (SUCCEEDED(VariantChangeType(d.get(), testo.get(), 0, VT_R8))) tot += d->dblVal;
    }
    std::printf("text to double: %.0f ns per conversion (check %.0f)\n", Ms(t) * 1e6 / giri,
                tot / giri);
    t = Orologio::now();
    int presi = 0;
    for (int i = 0; i < giri / 10; ++i) {
        HRESULT hr =
            ole::Proteggi([] { throw vq::Errore(4567, "Versione del database non valida"); });
        try {
            ole::Verifica(hr);
        } catch (const vq::Errore& err) {
            presi += err.numero() == 4567;
        }
    }
    std::printf(
        "error bridge (throw, HRESULT + error info, Verifica, catch): %.2f us per round trip "
        "(%d)\n",
        Ms(t) * 1e3 / (giri / 10), presi);
    return 0;
}
