// The error bridge (vq::Errore <-> HRESULT + error info), error info per thread, GUID text.
#include "automazione_prova.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <thread>

namespace {

TEST(Errori, NumeroEDescrizioneAttraversanoLInterfaccia) {
    HRESULT hr = ole::Proteggi([] { throw vq::Errore(4567, "Versione del database non valida"); },
                               "Tessadati");
    EXPECT_EQ(static_cast<ULONG>(hr), 0x800A11D7u);
    vq::CancellaErrore();
    const auto e = prova::ErroreDi([&] { ole::Verifica(hr); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->numero(), 4567);
    EXPECT_EQ(e->descrizione(), "Versione del database non valida");
    // The current error is set as by a raise.
    EXPECT_EQ(vq::Err().numero, 4567);
    EXPECT_EQ(vq::Err().descrizione, "Versione del database non valida");
    // The error info was consumed.
    ole::ComPtr<IErrorInfo> info;
    EXPECT_EQ(GetErrorInfo(0, info.put()), S_FALSE);
    EXPECT_FALSE(info);
}

TEST(Errori, SorgenteNellErrorInfo) {
    ole::Proteggi([] { throw vq::Errore(10001, "x"); }, "Tessadati");
    ole::ComPtr<IErrorInfo> info;
    ASSERT_EQ(GetErrorInfo(0, info.put()), S_OK);
    ole::Bstr s;
    ASSERT_EQ(info->GetSource(s.put()), S_OK);
    EXPECT_EQ(s.utf8(), "Tessadati");
}

TEST(Errori, HresultSenzaErrorInfo) {
    SetErrorInfo(0, nullptr);
    struct {
        HRESULT hr;
        std::int32_t numero;
        std::string descrizione;
    } casi[] = {
        {E_NOINTERFACE, static_cast<std::int32_t>(0x80004002u), "Interfaccia non supportata"},
        {REGDB_E_CLASSNOTREG, static_cast<std::int32_t>(0x80040154u), "Classe non registrata"},
        {MAKE_HRESULT(1, FACILITY_CONTROL, 6), 6, vq::DescrizioneRuntime(6)},
        {static_cast<HRESULT>(0x80001234u), static_cast<std::int32_t>(0x80001234u),
         "Errore di automazione (0x80001234)"},
    };
    for (const auto& c : casi) {
        vq::Errore e = ole::ErroreDa(c.hr);
        EXPECT_EQ(e.numero(), c.numero);
        EXPECT_EQ(e.descrizione(), c.descrizione);
        // And back: the same HRESULT.
        EXPECT_EQ(ole::HresultDaErrore(e), c.hr);
        EXPECT_EQ(ole::ErroreDa(c.hr).descrizione(), c.descrizione);
    }
}

TEST(Errori, NumeriFuoriIntervallo) {
    EXPECT_EQ(ole::HresultPerNumero(65535), static_cast<HRESULT>(0x800AFFFFu));
    EXPECT_EQ(ole::HresultPerNumero(0), E_FAIL);
    EXPECT_EQ(ole::HresultPerNumero(65536), E_FAIL);
}

TEST(Errori, EccezioniQualsiasi) {
    HRESULT hr = ole::Proteggi([] { throw std::bad_alloc(); });
    EXPECT_EQ(hr, E_OUTOFMEMORY);
    vq::Errore m = ole::ErroreDa(hr);
    EXPECT_EQ(m.descrizione(), vq::DescrizioneRuntime(7));

    hr = ole::Proteggi([] { throw std::runtime_error("guasto interno"); });
    vq::Errore e = ole::ErroreDa(hr);
    EXPECT_EQ(e.numero(), 5);
    EXPECT_EQ(e.descrizione(), "guasto interno");

    hr = ole::Proteggi([] { throw 42; });
    EXPECT_EQ(ole::ErroreDa(hr).numero(), 5);
}

TEST(Errori, SuccessoCancellaLErrorInfoEPassaLHresult) {
    ole::Proteggi([] { throw vq::Errore(9, "vecchio"); });
    EXPECT_EQ(ole::Proteggi([] {}), S_OK);
    ole::ComPtr<IErrorInfo> info;
    EXPECT_EQ(GetErrorInfo(0, info.put()), S_FALSE);
    EXPECT_EQ(ole::Proteggi([]() -> HRESULT { return S_FALSE; }), S_FALSE);
    EXPECT_EQ(ole::Verifica(S_FALSE), S_FALSE);
}

TEST(Errori, DescrizioneAvanzataNonPassaAdAltroHresult) {
    // A failure nobody read leaves its error info; a later failure of another HRESULT
    // must not take that description.
    ole::Proteggi([] { throw vq::Errore(4567, "non letto"); });
    vq::Errore e = ole::ErroreDa(DISP_E_BADINDEX);
    EXPECT_EQ(e.descrizione(), "Indice non valido");
    // Error info set by a foreign server through the plain API is taken as it is.
    ole::ComPtr<ICreateErrorInfo> crea;
    ASSERT_EQ(CreateErrorInfo(crea.put()), S_OK);
    crea->SetDescription(const_cast<LPOLESTR>(u"dal server"));
    SetErrorInfo(0, crea.as<IErrorInfo>(IID_IErrorInfo).get());
    EXPECT_EQ(ole::ErroreDa(E_FAIL).descrizione(), "dal server");
}

TEST(Errori, UnErrorInfoPerThread) {
    ole::Proteggi([] { throw vq::Errore(11, "del thread principale"); });
    bool altroVuoto = false;
    std::thread t([&] {
        ole::ComPtr<IErrorInfo> info;
        altroVuoto = GetErrorInfo(0, info.put()) == S_FALSE;
        // Left set at the thread's end: released with it.
        ole::Proteggi([] { throw vq::Errore(12, "del secondo thread"); });
    });
    t.join();
    EXPECT_TRUE(altroVuoto);
    EXPECT_EQ(ole::ErroreDa(MAKE_HRESULT(1, FACILITY_CONTROL, 11)).descrizione(),
              "del thread principale");
}

TEST(Guid, FormaTestuale) {
    OLECHAR buf[39];
    ASSERT_EQ(StringFromGUID2(IID__Collection, buf, 39), 39);
    EXPECT_EQ(std::u16string(buf), u"{A4C46780-499F-101B-BB78-00AA00383CBB}");
    EXPECT_EQ(StringFromGUID2(IID__Collection, buf, 38), 0);

    CLSID g{};
    ASSERT_EQ(CLSIDFromString(u"{a4c46780-499f-101b-bb78-00aa00383cbb}", &g), S_OK);
    EXPECT_TRUE(IsEqualGUID(g, IID__Collection));
    ASSERT_EQ(IIDFromString(u"{00020400-0000-0000-C000-000000000046}", &g), S_OK);
    EXPECT_TRUE(IsEqualIID(g, IID_IDispatch));

    for (const char16_t* male :
         {u"", u"A4C46780-499F-101B-BB78-00AA00383CBB", u"{A4C46780-499F-101B-BB78-00AA00383CB}",
          u"{A4C46780-499F-101B-BB78-00AA00383CBBX}", u"{A4C46780-499F-101B-BB78-00AA00383CBB} ",
          u"{A4C46780_499F-101B-BB78-00AA00383CBB}", u"{G4C46780-499F-101B-BB78-00AA00383CBB}",
          u"{A4C46780-499F-101BBB78-00AA00383CBB}"}) {
        EXPECT_EQ(CLSIDFromString(male, &g), CO_E_CLASSSTRING) << ole::Utf16InUtf8(male);
        EXPECT_EQ(IIDFromString(male, &g), E_INVALIDARG);
    }
    EXPECT_EQ(CLSIDFromString(nullptr, &g), CO_E_CLASSSTRING);
}

}  // namespace
