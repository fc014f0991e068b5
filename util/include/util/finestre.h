// The program's windows as the window methods of vqUtilita see them: a form, its drawing
// surface, a text box, and the window system (top-level windows, the folder picker, the
// event pump). The window toolkit's layer (util/qt) implements them; the class itself
// never touches a toolkit.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vq::finestre {

// A drawing surface in pixels.
class Superficie {
public:
    virtual ~Superficie() = default;
    // Fill the rectangle from (sinistra, alto) to (destra, basso), right and bottom edges
    // excluded, with a solid colour laid out as 0x00BBGGRR.
    virtual void RiempiRettangolo(int sinistra, int alto, int destra, int basso,
                                  std::uint32_t colore) = 0;
};

// Scale units of a form.
inline constexpr int kScalaTwip = 1;
inline constexpr int kScalaPixel = 3;

// A window of the program. Position and size are in the layout unit (twips, 1/1440 inch,
// at the screen's logical resolution); the inner size is in the form's scale unit.
class Form {
public:
    virtual ~Form() = default;
    virtual double Left() const = 0;
    virtual double Top() const = 0;
    virtual double Width() const = 0;
    virtual double Height() const = 0;
    virtual void SetLeft(double valore) = 0;
    virtual void SetTop(double valore) = 0;
    virtual double ScaleWidth() const = 0;
    virtual double ScaleHeight() const = 0;
    virtual int ScaleMode() const = 0;
    virtual void SetScaleMode(int modo) = 0;
    // The width and height of the screen the form is on, in the layout unit.
    virtual double LarghezzaSchermo() const = 0;
    virtual double AltezzaSchermo() const = 0;
    // The form's drawing surface (what it shows as its background).
    virtual Superficie& hDC() = 0;
};

// A single-line text box.
class CasellaTesto {
public:
    virtual ~CasellaTesto() = default;
    virtual std::string Text() const = 0;  // UTF-8
    // Selection in characters.
    virtual void SetSelStart(std::int32_t inizio) = 0;
    virtual void SetSelLength(std::int32_t lunghezza) = 0;
};

// A top-level window of this program as the window system lists it.
struct FinestraPrincipale {
    std::intptr_t handle = 0;
    std::string titolo;
};

// The window system. Where the platform cannot act (windows of other programs, no
// window toolkit at all) its answers are the neutral ones: no windows, nothing found,
// nothing chosen.
class Sistema {
public:
    virtual ~Sistema() = default;
    // The top-level windows, the front one first.
    virtual std::vector<FinestraPrincipale> Finestre() { return {}; }
    // Show the window in its normal state and bring it to the front; false when there is
    // no such window.
    virtual bool PortaInPrimoPiano(std::intptr_t /*handle*/) { return false; }
    // Keep the window above all others (true) or not (false); false when there is no
    // such window.
    virtual bool SempreInPrimoPiano(std::intptr_t /*handle*/, bool /*attivo*/) { return false; }
    // The folder picker owned by `proprietario` with `titolo` as its prompt: the chosen
    // folder, or nothing when cancelled.
    virtual std::optional<std::string> ScegliCartella(std::intptr_t /*proprietario*/,
                                                      const std::string& /*titolo*/) {
        return std::nullopt;
    }
    // Process the window events pending now.
    virtual void ElaboraEventi() {}
};

// The process-wide current window system: the neutral one until a toolkit installs its
// own. A caller keeps the shared pointer for the length of its call.
std::shared_ptr<Sistema> Servizio();
// Install `nuovo` (nullptr = the neutral one again); return the one it replaces.
std::shared_ptr<Sistema> SostituisciServizio(std::shared_ptr<Sistema> nuovo);

class ServizioTemporaneo {
public:
    explicit ServizioTemporaneo(std::shared_ptr<Sistema> nuovo)
        : precedente_(SostituisciServizio(std::move(nuovo))) {}
    ~ServizioTemporaneo() { SostituisciServizio(std::move(precedente_)); }
    ServizioTemporaneo(const ServizioTemporaneo&) = delete;
    ServizioTemporaneo& operator=(const ServizioTemporaneo&) = delete;

private:
    std::shared_ptr<Sistema> precedente_;
};

}  // namespace vq::finestre
