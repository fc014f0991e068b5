// vqUtilita: small jobs on windows, through the window system of util/finestre.h.
#include <util/vqUtilita.h>

#include <util/finestre.h>

#include "interno.h"

#include <vq/errore.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <mutex>
#include <string>

namespace vq::finestre {

namespace {

std::mutex& MutexServizio() {
    static std::mutex m;
    return m;
}

std::shared_ptr<Sistema>& Corrente() {
    static std::shared_ptr<Sistema> corrente = std::make_shared<Sistema>();
    return corrente;
}

}  // namespace

std::shared_ptr<Sistema> Servizio() {
    std::lock_guard<std::mutex> lock(MutexServizio());
    return Corrente();
}

std::shared_ptr<Sistema> SostituisciServizio(std::shared_ptr<Sistema> nuovo) {
    if (!nuovo) nuovo = std::make_shared<Sistema>();
    std::lock_guard<std::mutex> lock(MutexServizio());
    std::swap(Corrente(), nuovo);
    return nuovo;
}

}  // namespace vq::finestre

namespace {

// Put the form's scale mode back however the painting ends.
class ScalaRicordata {
public:
    explicit ScalaRicordata(vq::finestre::Form& form) : form_(form), modo_(form.ScaleMode()) {}
    ~ScalaRicordata() {
        try {
            form_.SetScaleMode(modo_);
        } catch (...) {}
    }
    ScalaRicordata(const ScalaRicordata&) = delete;
    ScalaRicordata& operator=(const ScalaRicordata&) = delete;

private:
    vq::finestre::Form& form_;
    int modo_;
};

// A floating-point value rounded to a 32-bit integer, halves to even; error 6 beyond.
std::int32_t Arrotonda(double v) {
    const double r = std::nearbyint(v);
    if (!(r >= -2147483648.0 && r <= 2147483647.0)) vq::Solleva(vq::kErrOverflow);
    return static_cast<std::int32_t>(r);
}

}  // namespace

std::string vqUtilita::Sfoglia_Cartella(std::intptr_t hWnd, const std::string& sTitle) {
    const auto scelta = vq::finestre::Servizio()->ScegliCartella(hWnd, sTitle);
    if (!scelta) return {};
    return StripTerminator(*scelta);
}

bool vqUtilita::ShowFinestraConTitolo(const std::string& testo) {
    try {
        if (testo.empty()) return false;
        const auto sistema = vq::finestre::Servizio();
        const std::string cercato = vq::utilita::PiegaCaso(testo);
        for (const auto& f : sistema->Finestre()) {
            if (vq::utilita::PiegaCaso(StripTerminator(f.titolo)).find(cercato) !=
                std::string::npos) {
                sistema->PortaInPrimoPiano(f.handle);
                return true;
            }
        }
    } catch (...) {}
    return false;
}

void vqUtilita::FinetraTopMost(std::intptr_t hWnd, bool SempreInPrimoPiano) {
    vq::finestre::Servizio()->SempreInPrimoPiano(hWnd, SempreInPrimoPiano);
}

void vqUtilita::CentraForm(vq::finestre::Form& obj) {
    try {
        obj.SetLeft((obj.LarghezzaSchermo() - obj.Width()) / 2);
        obj.SetTop((obj.AltezzaSchermo() - obj.Height()) / 2);
    } catch (...) {}
}

void vqUtilita::CentraFormFiglio(vq::finestre::Form& padre, vq::finestre::Form& obj) {
    try {
        obj.SetLeft((padre.ScaleWidth() - obj.Width()) / 2);
        obj.SetTop((padre.ScaleHeight() - obj.Height()) / 2);
    } catch (...) {}
}

void vqUtilita::SfumaForm(vq::finestre::Form& InputForm,
                          const std::optional<std::int32_t>& ColoreIniziale,
                          const std::optional<std::int32_t>& PassoA,
                          const std::optional<std::int32_t>& PassoB) {
    const std::int32_t bande = PassoA.value_or(60);
    const std::int32_t passo = PassoB.value_or(4);
    const std::int32_t colore = ColoreIniziale.value_or(0xFF0000);

    ScalaRicordata scala(InputForm);
    InputForm.SetScaleMode(vq::finestre::kScalaPixel);
    if (bande == 0) vq::Solleva(11);  // "Divisione per zero", as the band height is computed
    const double altezza = InputForm.ScaleHeight() / bande;
    const std::int32_t destra = Arrotonda(InputForm.ScaleWidth());
    std::int32_t alto = 0;

    std::array<std::int32_t, 3> parti{colore & 0xFF, (colore >> 8) & 0xFF, (colore >> 16) & 0xFF};
    std::array<std::int32_t, 3> passi{};
    for (std::size_t k = 0; k < 3; ++k) passi[k] = parti[k] > 0 ? passo : 0;

    auto& superficie = InputForm.hDC();
    for (std::int32_t i = 1; i <= bande; ++i) {
        const std::int32_t basso = Arrotonda(i * altezza);
        const auto rgb = static_cast<std::uint32_t>(parti[0]) |
                         (static_cast<std::uint32_t>(parti[1]) << 8) |
                         (static_cast<std::uint32_t>(parti[2]) << 16);
        superficie.RiempiRettangolo(0, alto, destra, basso, rgb);
        for (std::size_t k = 0; k < 3; ++k)
            parti[k] =
                static_cast<std::int32_t>(static_cast<std::uint32_t>(parti[k] - passi[k]) & 0xFFu);
        alto = basso;
    }
}

void vqUtilita::Evidenzia(vq::finestre::CasellaTesto& xCtrl) {
    try {
        xCtrl.SetSelStart(0);
        xCtrl.SetSelLength(static_cast<std::int32_t>(vq::utilita::LunghezzaUtf16(xCtrl.Text())));
    } catch (...) {}
    vq::CancellaErrore();
}

std::int16_t vqUtilita::KeyMaiuscolo(std::int16_t KeyAscii) {
    if (KeyAscii < 0 || KeyAscii > 255) vq::Solleva(vq::kErrChiamataNonValida);
    const int c = KeyAscii;
    if (c >= 'a' && c <= 'z') return static_cast<std::int16_t>(c - 32);
    // Windows-1252: the accented small letters of the Latin-1 half, except the division
    // sign (0xF7) and y with diaeresis, whose capital sits at 0x9F.
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<std::int16_t>(c - 32);
    switch (c) {
        case 0x9A: return 0x8A;  // s caron
        case 0x9C: return 0x8C;  // ligature oe
        case 0x9E: return 0x8E;  // z caron
        case 0xFF: return 0x9F;  // y diaeresis
        default: return KeyAscii;
    }
}
