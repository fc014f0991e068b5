#include <ole/ole.hpp>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dati, std::size_t n) {
    const std::string utf8(reinterpret_cast<const char*>(dati), n);

    // Conversion is stable after one pass (invalid input becomes U+FFFD once).
    const std::u16string a = ole::Utf8InUtf16(utf8);
    const std::string b = ole::Utf16InUtf8(a);
    if (ole::Utf8InUtf16(b) != a || ole::Utf16InUtf8(ole::Utf8InUtf16(b)) != b) __builtin_trap();

    // The bytes as UTF-16 text for the GUID reader; a GUID read prints back the same.
    std::u16string u16(n / 2, u'\0');
    if (!u16.empty()) std::memcpy(u16.data(), dati, u16.size() * 2);
    CLSID g{};
    if (CLSIDFromString(u16.c_str(), &g) == S_OK) {
        OLECHAR testo[39];
        CLSID g2{};
        if (StringFromGUID2(g, testo, 39) != 39 || CLSIDFromString(testo, &g2) != S_OK ||
            !IsEqualGUID(g, g2))
            __builtin_trap();
    }

    // Text to every scalar type and back to text.
    VARIANT s;
    VariantInit(&s);
    s.vt = VT_BSTR;
    s.bstrVal = SysAllocStringLen(a.data(), static_cast<UINT>(a.size()));
    for (VARTYPE vt :
         {VT_I2, VT_I4, VT_R8, VT_R4, VT_CY, VT_DATE, VT_BOOL, VT_UI1, VT_I8, VT_UI8}) {
        VARIANT d;
        VariantInit(&d);
        if (SUCCEEDED(VariantChangeType(&d, &s, VARIANT_ALPHABOOL, vt))) {
            if (d.vt != vt) __builtin_trap();
            VARIANT t;
            VariantInit(&t);
            VariantChangeType(&t, &d, 0, VT_BSTR);
            VariantClear(&t);
        }
        VariantClear(&d);
    }
    VariantClear(&s);
    return 0;
}
