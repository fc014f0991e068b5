// The window methods through the window interface, with a form that records what is
// painted on it; the Qt layer has its own tests (tests/util/qt).
#include "errore_prova.h"

#include <util/finestre.h>
#include <util/vqUtilita.h>

#include <vq/errore.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct Rettangolo {
    int sinistra, alto, destra, basso;
    std::uint32_t colore;
    friend bool operator==(const Rettangolo&, const Rettangolo&) = default;
};

class Tela final : public vq::finestre::Superficie {
public:
    void RiempiRettangolo(int sinistra, int alto, int destra, int basso,
                          std::uint32_t colore) override {
        riempiti.push_back({sinistra, alto, destra, basso, colore});
    }
    std::vector<Rettangolo> riempiti;
};

// A form whose scale is pixels when asked (3) and twips (15 per pixel) otherwise.
class FormProva final : public vq::finestre::Form {
public:
    FormProva(double larghezzaPx, double altezzaPx)
        : larghezza_(larghezzaPx), altezza_(altezzaPx) {}
    double Left() const override { return left; }
    double Top() const override { return top; }
    double Width() const override { return width; }
    double Height() const override { return height; }
    void SetLeft(double v) override {
        if (guasta) throw std::runtime_error("guasta");
        left = v;
    }
    void SetTop(double v) override { top = v; }
    double ScaleWidth() const override { return scala == 3 ? larghezza_ : larghezza_ * 15; }
    double ScaleHeight() const override { return scala == 3 ? altezza_ : altezza_ * 15; }
    int ScaleMode() const override { return scala; }
    void SetScaleMode(int m) override { scala = m; }
    double LarghezzaSchermo() const override { return 19200; }
    double AltezzaSchermo() const override { return 14400; }
    vq::finestre::Superficie& hDC() override { return tela; }

    double left = 0, top = 0, width = 6000, height = 4000;
    int scala = 1;
    bool guasta = false;
    Tela tela;

private:
    double larghezza_, altezza_;
};

TEST(SfumaForm, DefaultsPaintSixtyBandsOfFadingBlue) {
    FormProva form(400, 300);
    vqUtilita::SfumaForm(form);
    const auto& r = form.tela.riempiti;
    ASSERT_EQ(r.size(), 60u);
    for (std::size_t i = 0; i < r.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(r[i], (Rettangolo{0, static_cast<int>(5 * i), 400, static_cast<int>(5 * i + 5),
                                    static_cast<std::uint32_t>(255 - 4 * i) << 16}));
    }
    EXPECT_EQ(form.scala, 1);  // the scale mode is put back
}

TEST(SfumaForm, BandsRoundingAndWrap) {
    struct Caso {
        const char* nome;
        double larghezza, altezza;
        std::int32_t colore, bande, passo;
        std::vector<Rettangolo> attesi;
    };
    const Caso casi[] = {
        // 7 / 2 = 3.5 rounds to 4 (half to even), 5 / 2 = 2.5 to 2.
        {"meta pari", 10.5, 7, 0x0000FF, 2, 4, {{0, 0, 10, 4, 0x0000FF}, {0, 4, 10, 7, 0x0000FB}}},
        {"meta dispari",
         11.5,
         5,
         0x0000FF,
         2,
         4,
         {{0, 0, 12, 2, 0x0000FF}, {0, 2, 12, 5, 0x0000FB}}},
        // A component at 2 wraps to 254; a component at 0 keeps its step 0 throughout.
        {"giro",
         4,
         3,
         0x000302,
         3,
         4,
         {{0, 0, 4, 1, 0x000302}, {0, 1, 4, 2, 0x00FFFE}, {0, 2, 4, 3, 0x00FBFA}}},
        // Each component fixes its step from its first value.
        {"grigio", 4, 2, 0x010101, 2, 1, {{0, 0, 4, 1, 0x010101}, {0, 1, 4, 2, 0x000000}}},
        {"passo negativo", 4, 2, 0x0000FE, 2, -1, {{0, 0, 4, 1, 0x0000FE}, {0, 1, 4, 2, 0x0000FF}}},
        {"nessuna banda", 4, 2, 0xFF0000, -3, 4, {}},
        // More bands than pixels: empty bands still painted with their colour.
        {"bande sottili",
         4,
         1,
         0x0000FF,
         3,
         1,
         {{0, 0, 4, 0, 0xFF}, {0, 0, 4, 1, 0xFE}, {0, 1, 4, 1, 0xFD}}},
    };
    for (const auto& c : casi) {
        SCOPED_TRACE(c.nome);
        FormProva form(c.larghezza, c.altezza);
        vqUtilita::SfumaForm(form, c.colore, c.bande, c.passo);
        EXPECT_EQ(form.tela.riempiti, c.attesi);
        EXPECT_EQ(form.scala, 1);
    }
}

TEST(SfumaForm, NoBandsIsADivisionByZero) {
    FormProva form(10, 10);
    EXPECT_EQ(prova::NumeroErrore([&] { vqUtilita::SfumaForm(form, std::nullopt, 0); }), 11);
    EXPECT_EQ(form.scala, 1);
    EXPECT_TRUE(form.tela.riempiti.empty());
}

TEST(CentraForm, OnTheScreenAndInTheParent) {
    FormProva form(100, 100);
    vqUtilita::CentraForm(form);
    EXPECT_DOUBLE_EQ(form.left, 6600);
    EXPECT_DOUBLE_EQ(form.top, 5200);
    FormProva padre(500, 301);  // inner size in twips: 7500 x 4515
    FormProva figlio(10, 10);
    figlio.width = 1001;
    figlio.height = 4000;
    vqUtilita::CentraFormFiglio(padre, figlio);
    EXPECT_DOUBLE_EQ(figlio.left, 3249.5);
    EXPECT_DOUBLE_EQ(figlio.top, 257.5);
    figlio.guasta = true;
    vqUtilita::CentraFormFiglio(padre, figlio);  // failures ignored
    vqUtilita::CentraForm(figlio);
}

TEST(KeyMaiuscolo, Windows1252) {
    struct Caso {
        std::int16_t da, a;
    };
    const Caso casi[] = {{'a', 'A'},   {'z', 'Z'},   {'A', 'A'},   {'0', '0'},   {' ', ' '},
                         {'{', '{'},   {0xE0, 0xC0}, {0xE8, 0xC8}, {0xFE, 0xDE}, {0xF7, 0xF7},
                         {0xFF, 0x9F}, {0x9A, 0x8A}, {0x9C, 0x8C}, {0x9E, 0x8E}, {0xDF, 0xDF},
                         {0xB5, 0xB5}, {0x8A, 0x8A}, {0, 0},       {8, 8},       {13, 13}};
    for (const auto& c : casi) EXPECT_EQ(vqUtilita::KeyMaiuscolo(c.da), c.a) << c.da;
    EXPECT_EQ(prova::NumeroErrore([] { vqUtilita::KeyMaiuscolo(256); }), 5);
    EXPECT_EQ(prova::NumeroErrore([] { vqUtilita::KeyMaiuscolo(-1); }), 5);
}

class CasellaProva final : public vq::finestre::CasellaTesto {
public:
    std::string Text() const override {
        if (guasta) vq::Solleva(91);
        return testo;
    }
    void SetSelStart(std::int32_t i) override { inizio = i; }
    void SetSelLength(std::int32_t l) override { lunghezza = l; }
    std::string testo;
    bool guasta = false;
    std::int32_t inizio = -1, lunghezza = -1;
};

TEST(Evidenzia, SelectsAllAndIgnoresFailures) {
    CasellaProva c;
    c.testo = "caff\xc3\xa8 \xf0\x9f\x98\x80";  // 7 characters, the last one counting twice
    vqUtilita::Evidenzia(c);
    EXPECT_EQ(c.inizio, 0);
    EXPECT_EQ(c.lunghezza, 8);
    c.guasta = true;
    vqUtilita::Evidenzia(c);
    EXPECT_EQ(vq::Err().numero, 0);
}

class SistemaProva final : public vq::finestre::Sistema {
public:
    std::vector<vq::finestre::FinestraPrincipale> Finestre() override { return finestre; }
    bool PortaInPrimoPiano(std::intptr_t h) override {
        portate.push_back(h);
        return true;
    }
    bool SempreInPrimoPiano(std::intptr_t h, bool attivo) override {
        primoPiano.emplace_back(h, attivo);
        return true;
    }
    std::optional<std::string> ScegliCartella(std::intptr_t, const std::string& titolo) override {
        titoli.push_back(titolo);
        return scelta;
    }
    std::vector<vq::finestre::FinestraPrincipale> finestre;
    std::vector<std::intptr_t> portate;
    std::vector<std::pair<std::intptr_t, bool>> primoPiano;
    std::vector<std::string> titoli;
    std::optional<std::string> scelta;
};

TEST(ShowFinestraConTitolo, FirstTitleContainingTheText) {
    auto sistema = std::make_shared<SistemaProva>();
    vq::finestre::ServizioTemporaneo s(sistema);
    sistema->finestre = {{11, "Documento - Editor"},
                         {22, "Esporta XML"},
                         {33, std::string("Esporta\0XML", 11)},
                         {44, "CITT\xc3\x80 E PAESI"}};
    struct Caso {
        const char* testo;
        bool trovata;
        std::intptr_t handle;
    };
    const Caso casi[] = {
        {"esporta xml", true, 22},  {"XML", true, 22}, {"editor", true, 11},
        {"citt\xc3\xa0", true, 44}, {"", false, 0},    {"assente", false, 0},
        {"Esporta", true, 22},
    };
    for (const auto& c : casi) {
        SCOPED_TRACE(c.testo);
        sistema->portate.clear();
        EXPECT_EQ(vqUtilita::ShowFinestraConTitolo(c.testo), c.trovata);
        if (c.trovata) EXPECT_EQ(sistema->portate, std::vector<std::intptr_t>{c.handle});
        else EXPECT_TRUE(sistema->portate.empty());
    }
}

TEST(Finestre, PickerTopMostAndTheNeutralSystem) {
    // Without a window toolkit: nothing found, nothing chosen, nothing done.
    EXPECT_FALSE(vqUtilita::ShowFinestraConTitolo("Esporta XML"));
    EXPECT_EQ(vqUtilita::Sfoglia_Cartella(0, "Scegli"), "");
    vqUtilita::FinetraTopMost(1, true);

    auto sistema = std::make_shared<SistemaProva>();
    vq::finestre::ServizioTemporaneo s(sistema);
    EXPECT_EQ(vqUtilita::Sfoglia_Cartella(5, "Scegli la cartella"), "");
    sistema->scelta = std::string("/home/u/Documenti\0resto", 23);
    EXPECT_EQ(vqUtilita::Sfoglia_Cartella(5, "Scegli la cartella"), "/home/u/Documenti");
    EXPECT_EQ(sistema->titoli,
              (std::vector<std::string>{"Scegli la cartella", "Scegli la cartella"}));
    vqUtilita::FinetraTopMost(7, true);
    vqUtilita::FinetraTopMost(7, false);
    EXPECT_EQ(sistema->primoPiano,
              (std::vector<std::pair<std::intptr_t, bool>>{{7, true}, {7, false}}));
}

}  // namespace
