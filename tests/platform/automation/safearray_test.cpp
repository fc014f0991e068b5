// SAFEARRAY: bounds order, index order, element ownership, copies, locks, Redim.
#include "automazione_prova.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

namespace {

using prova::Contato;

struct Matrice {
    SAFEARRAY* psa;
    ~Matrice() { SafeArrayDestroy(psa); }
};

// The row array of the data component: [field 0..9][row 0..n-1] of variants.
class RigheDati : public ::testing::TestWithParam<ULONG> {};

TEST_P(RigheDati, IndiciELimitiNellOrdineDiWindows) {
    const ULONG righe = GetParam();
    SAFEARRAYBOUND lim[2] = {{10, 0}, {righe, 0}};
    Matrice m{SafeArrayCreate(VT_VARIANT, 2, lim)};
    ASSERT_NE(m.psa, nullptr);
    EXPECT_EQ(SafeArrayGetDim(m.psa), 2u);
    // Stored rightmost dimension first.
    EXPECT_EQ(m.psa->rgsabound[0].cElements, righe);
    LONG lb = -1, ub = -1;
    ASSERT_EQ(SafeArrayGetLBound(m.psa, 1, &lb), S_OK);
    ASSERT_EQ(SafeArrayGetUBound(m.psa, 1, &ub), S_OK);
    EXPECT_EQ(lb, 0);
    EXPECT_EQ(ub, 9);
    ASSERT_EQ(SafeArrayGetUBound(m.psa, 2, &ub), S_OK);
    EXPECT_EQ(ub, static_cast<LONG>(righe) - 1);

    for (LONG r = 0; r < static_cast<LONG>(righe); ++r)
        for (LONG f = 0; f < 10; ++f) {
            LONG idx[2] = {f, r};
            ole::Variante v = f == 3 ? ole::Variante::Testo("causale " + std::to_string(r))
                                     : ole::Variante::I4(f * 1000 + r);
            ASSERT_EQ(SafeArrayPutElement(m.psa, idx, v.get()), S_OK);
        }
    // The leftmost index varies fastest in memory.
    auto* dati = static_cast<VARIANT*>(m.psa->pvData);
    if (righe > 1) {
        EXPECT_EQ(dati[1].lVal, 1000);
        EXPECT_EQ(dati[10].lVal, 1);
        EXPECT_EQ(dati[10 * 1 + 5].lVal, 5001);
    }
    for (LONG r = 0; r < static_cast<LONG>(righe); ++r) {
        LONG idx[2] = {3, r};
        VARIANT v;
        ASSERT_EQ(SafeArrayGetElement(m.psa, idx, &v), S_OK);
        EXPECT_EQ(ole::Utf8DaBstr(v.bstrVal), "causale " + std::to_string(r));
        VariantClear(&v);
    }
}

INSTANTIATE_TEST_SUITE_P(Righe, RigheDati, ::testing::Values(1u, 2u, 37u));

TEST(SafeArray, IndiciFuoriDaiLimiti) {
    SAFEARRAYBOUND lim[2] = {{3, -1}, {2, 5}};  // [-1..1][5..6]
    Matrice m{SafeArrayCreate(VT_I4, 2, lim)};
    ASSERT_NE(m.psa, nullptr);
    LONG dentro[][2] = {{-1, 5}, {1, 6}, {0, 5}};
    LONG fuori[][2] = {{-2, 5}, {2, 5}, {0, 4}, {0, 7}, {5, -1}};
    LONG x = 9;
    for (auto& i : dentro) EXPECT_EQ(SafeArrayPutElement(m.psa, i, &x), S_OK);
    for (auto& i : fuori) {
        EXPECT_EQ(SafeArrayPutElement(m.psa, i, &x), DISP_E_BADINDEX);
        EXPECT_EQ(SafeArrayGetElement(m.psa, i, &x), DISP_E_BADINDEX);
    }
    LONG b;
    EXPECT_EQ(SafeArrayGetLBound(m.psa, 0, &b), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayGetLBound(m.psa, 3, &b), DISP_E_BADINDEX);
    ASSERT_EQ(SafeArrayGetLBound(m.psa, 2, &b), S_OK);
    EXPECT_EQ(b, 5);
}

TEST(SafeArray, DimensioniImpossibiliNonAllocano) {
    SAFEARRAYBOUND enorme[2] = {{std::numeric_limits<ULONG>::max(), 0},
                                {std::numeric_limits<ULONG>::max(), 0}};
    EXPECT_EQ(SafeArrayCreate(VT_VARIANT, 2, enorme), nullptr);
    SAFEARRAYBOUND uno{1, 0};
    EXPECT_EQ(SafeArrayCreate(VT_VARIANT, 0, &uno), nullptr);
    EXPECT_EQ(SafeArrayCreate(VT_RECORD, 1, &uno), nullptr);
    // An empty dimension is allowed (upper bound below the lower).
    Matrice vuota{SafeArrayCreateVector(VT_BSTR, 0, 0)};
    ASSERT_NE(vuota.psa, nullptr);
    LONG ub = 0;
    ASSERT_EQ(SafeArrayGetUBound(vuota.psa, 1, &ub), S_OK);
    EXPECT_EQ(ub, -1);
}

TEST(SafeArray, TestiCopiatiInEntrataEInUscita) {
    Matrice m{SafeArrayCreateVector(VT_BSTR, 1, 2)};
    ole::Bstr t("uno");
    LONG i = 1;
    ASSERT_EQ(SafeArrayPutElement(m.psa, &i, t.get()), S_OK);
    ASSERT_EQ(SafeArrayPutElement(m.psa, &i, t.get()),
              S_OK);  // replaces (and frees) the first copy
    BSTR fuori = nullptr;
    ASSERT_EQ(SafeArrayGetElement(m.psa, &i, &fuori), S_OK);
    EXPECT_NE(fuori, t.get());
    EXPECT_EQ(ole::Utf8DaBstr(fuori), "uno");
    SysFreeString(fuori);
    VARTYPE vt = VT_EMPTY;
    ASSERT_EQ(SafeArrayGetVartype(m.psa, &vt), S_OK);
    EXPECT_EQ(vt, VT_BSTR);
}

TEST(SafeArray, DistruzioneRilasciaGliOggettiECopiaLiTrattiene) {
    SAFEARRAY* copia = nullptr;
    {
        Matrice m{SafeArrayCreateVector(VT_VARIANT, 0, 3)};
        auto o = ole::CreaOggetto<Contato, IDispatch>();
        ole::Variante v = ole::Variante::Oggetto(o.get());
        for (LONG i = 0; i < 3; ++i) ASSERT_EQ(SafeArrayPutElement(m.psa, &i, v.get()), S_OK);
        EXPECT_EQ(static_cast<Contato*>(o.get())->riferimenti(), 5u);
        ASSERT_EQ(SafeArrayCopy(m.psa, &copia), S_OK);
        EXPECT_EQ(static_cast<Contato*>(o.get())->riferimenti(), 8u);
    }
    EXPECT_EQ(Contato::vivi, 1);  // the copy still holds it
    ASSERT_EQ(SafeArrayDestroy(copia), S_OK);
    EXPECT_EQ(Contato::vivi, 0);
}

TEST(SafeArray, BloccataNonSiDistrugge) {
    SAFEARRAY* psa = SafeArrayCreateVector(VT_I4, 0, 4);
    void* dati = nullptr;
    ASSERT_EQ(SafeArrayAccessData(psa, &dati), S_OK);
    EXPECT_EQ(dati, psa->pvData);
    EXPECT_EQ(SafeArrayDestroy(psa), DISP_E_ARRAYISLOCKED);
    SAFEARRAYBOUND nuovo{8, 0};
    EXPECT_EQ(SafeArrayRedim(psa, &nuovo), DISP_E_ARRAYISLOCKED);
    ASSERT_EQ(SafeArrayUnaccessData(psa), S_OK);
    EXPECT_EQ(SafeArrayUnlock(psa), E_UNEXPECTED);
    EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
}

TEST(SafeArray, RedimCambiaLUltimaDimensione) {
    SAFEARRAYBOUND lim[2] = {{2, 0}, {2, 0}};  // [field][row]
    Matrice m{SafeArrayCreate(VT_BSTR, 2, lim)};
    for (LONG r = 0; r < 2; ++r)
        for (LONG f = 0; f < 2; ++f) {
            LONG idx[2] = {f, r};
            ole::Bstr t(std::to_string(f) + "/" + std::to_string(r));
            ASSERT_EQ(SafeArrayPutElement(m.psa, idx, t.get()), S_OK);
        }
    SAFEARRAYBOUND piu{5, 0};
    ASSERT_EQ(SafeArrayRedim(m.psa, &piu), S_OK);
    LONG idx[2] = {1, 1};
    BSTR b = nullptr;
    ASSERT_EQ(SafeArrayGetElement(m.psa, idx, &b), S_OK);
    EXPECT_EQ(ole::Utf8DaBstr(b), "1/1");
    SysFreeString(b);
    LONG nuova[2] = {1, 4};
    ASSERT_EQ(SafeArrayGetElement(m.psa, nuova, &b), S_OK);
    EXPECT_EQ(b, nullptr);
    SAFEARRAYBOUND meno{1, 0};
    ASSERT_EQ(SafeArrayRedim(m.psa, &meno), S_OK);  // frees the texts of row 1
    EXPECT_EQ(SafeArrayGetElement(m.psa, idx, &b), DISP_E_BADINDEX);
}

}  // namespace
