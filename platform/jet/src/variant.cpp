#include <cstring>
#include <new>

#include "jet/dao.h"
#include "ole/ole.hpp"

namespace jet {

VARIANT VariantDaValore(const Valore& v) {
    VARIANT r;
    VariantInit(&r);
    switch (v.tipo) {
        case Valore::Tipo::Null: r.vt = VT_NULL; break;
        case Valore::Tipo::Booleano:
            r.vt = VT_BOOL;
            r.boolVal = v.intero != 0 ? VARIANT_TRUE : VARIANT_FALSE;
            break;
        case Valore::Tipo::Byte:
            r.vt = VT_UI1;
            r.bVal = static_cast<BYTE>(v.intero);
            break;
        case Valore::Tipo::Intero:
            r.vt = VT_I2;
            r.iVal = static_cast<SHORT>(v.intero);
            break;
        case Valore::Tipo::Lungo:
            r.vt = VT_I4;
            r.lVal = static_cast<LONG>(v.intero);
            break;
        case Valore::Tipo::Valuta:
            r.vt = VT_CY;
            r.cyVal.int64 = v.intero;
            break;
        case Valore::Tipo::Singolo:
            r.vt = VT_R4;
            r.fltVal = static_cast<float>(v.reale);
            break;
        case Valore::Tipo::Doppio:
            r.vt = VT_R8;
            r.dblVal = v.reale;
            break;
        case Valore::Tipo::Data:
            r.vt = VT_DATE;
            r.date = v.reale;
            break;
        case Valore::Tipo::Testo: {
            r.bstrVal = ole::BstrDaUtf8(v.testo);
            r.vt = VT_BSTR;
            break;
        }
        case Valore::Tipo::Binario: {
            SAFEARRAY* a = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(v.testo.size()));
            if (!a) throw std::bad_alloc();
            void* dati = nullptr;
            if (!v.testo.empty() && SafeArrayAccessData(a, &dati) == S_OK) {
                std::memcpy(dati, v.testo.data(), v.testo.size());
                SafeArrayUnaccessData(a);
            }
            r.vt = static_cast<VARTYPE>(VT_ARRAY | VT_UI1);
            r.parray = a;
            break;
        }
    }
    return r;
}

}  // namespace jet
