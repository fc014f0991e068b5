// The message box, the system beep and the busy cursor as one replaceable service.
//
// A program shows its notices through shell::Servizio(), the process-wide current
// implementation. Programs without a window keep the console implementation (a notice
// on standard error); the window toolkit installs its own; tests install a
// RegistratoreMessaggi and read back what was shown.
//
// Styles and results carry the Windows values, so the callers' constants keep meaning:
// 64 = information icon + OK, 16 = stop icon + OK, 1 = OK and Cancel, ...
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

namespace shell {

// Buttons (low 4 bits of the style).
inline constexpr std::uint32_t MB_OK = 0x0;
inline constexpr std::uint32_t MB_OKCANCEL = 0x1;
inline constexpr std::uint32_t MB_ABORTRETRYIGNORE = 0x2;
inline constexpr std::uint32_t MB_YESNOCANCEL = 0x3;
inline constexpr std::uint32_t MB_YESNO = 0x4;
inline constexpr std::uint32_t MB_RETRYCANCEL = 0x5;
// Icons.
inline constexpr std::uint32_t MB_ICONSTOP = 0x10;  // also "error" / "hand"
inline constexpr std::uint32_t MB_ICONQUESTION = 0x20;
inline constexpr std::uint32_t MB_ICONEXCLAMATION = 0x30;  // also "warning"
inline constexpr std::uint32_t MB_ICONINFORMATION = 0x40;
// Default button.
inline constexpr std::uint32_t MB_DEFBUTTON2 = 0x100;
inline constexpr std::uint32_t MB_DEFBUTTON3 = 0x200;

// Results: the button that closed the box.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDABORT = 3;
inline constexpr int IDRETRY = 4;
inline constexpr int IDIGNORE = 5;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

enum class Icona { Nessuna, Stop, Domanda, Esclamazione, Informazione };

// The parts of a style value.
Icona IconaDi(std::uint32_t stile) noexcept;
// The buttons a style shows, in order (IDOK, IDCANCEL, ...); an unknown button set
// shows OK alone.
std::vector<int> PulsantiDi(std::uint32_t stile) noexcept;
// The result of the default button of a style (the first one unless MB_DEFBUTTON2/3
// names another that exists).
int PulsantePredefinito(std::uint32_t stile) noexcept;

class MessageBox {
public:
    virtual ~MessageBox() = default;
    // Show a modal box with `testo` (UTF-8), `titolo` and `stile`; return the button that
    // closed it.
    virtual int Mostra(const std::string& testo, const std::string& titolo,
                       std::uint32_t stile) = 0;
    // The system beep.
    virtual void Beep() = 0;
    // Show (true) or take away (false) the busy cursor.
    virtual void CursoreAttesa(bool attivo) = 0;
};

// The console service: each box is a notice on a stream (standard error by default) and
// is answered at once with its default button, as nobody can press one.
class MessageBoxConsole final : public MessageBox {
public:
    MessageBoxConsole();
    explicit MessageBoxConsole(std::ostream& uscita);
    int Mostra(const std::string& testo, const std::string& titolo, std::uint32_t stile) override;
    void Beep() override;
    void CursoreAttesa(bool attivo) override;

private:
    std::ostream* uscita_;
    std::mutex mutex_;
};

// A recorder for tests: keeps every box, beep and cursor change, answers each box with
// the next queued answer or, when none is queued, its default button.
class RegistratoreMessaggi final : public MessageBox {
public:
    struct Messaggio {
        std::string testo;
        std::string titolo;
        std::uint32_t stile = 0;
    };

    int Mostra(const std::string& testo, const std::string& titolo, std::uint32_t stile) override;
    void Beep() override;
    void CursoreAttesa(bool attivo) override;

    void AccodaRisposta(int risultato);
    std::vector<Messaggio> Messaggi() const;
    int Beeps() const;
    std::vector<bool> Cursori() const;
    void Svuota();

private:
    mutable std::mutex mutex_;
    std::vector<Messaggio> messaggi_;
    std::deque<int> risposte_;
    int beep_ = 0;
    std::vector<bool> cursori_;
};

// The process-wide current service. Before anything is installed it is a console
// service on standard error. A caller keeps the shared pointer for the length of its
// call, so replacing the service meanwhile is safe.
std::shared_ptr<MessageBox> Servizio();
// Install `nuovo` (nullptr = the console service again); return the one it replaces.
std::shared_ptr<MessageBox> SostituisciServizio(std::shared_ptr<MessageBox> nuovo);

// Install a service for the life of a scope, then put the previous one back.
class ServizioTemporaneo {
public:
    explicit ServizioTemporaneo(std::shared_ptr<MessageBox> nuovo)
        : precedente_(SostituisciServizio(std::move(nuovo))) {}
    ~ServizioTemporaneo() { SostituisciServizio(std::move(precedente_)); }
    ServizioTemporaneo(const ServizioTemporaneo&) = delete;
    ServizioTemporaneo& operator=(const ServizioTemporaneo&) = delete;

private:
    std::shared_ptr<MessageBox> precedente_;
};

// Shorthands on the current service.
int Mostra(const std::string& testo, const std::string& titolo, std::uint32_t stile);
void Beep();
void CursoreAttesa(bool attivo);

}  // namespace shell
