// Opening a document, program or address with the desktop's default handler, as one
// replaceable service.
//
// vqUtilita::EseguiEx, GoWeb, Homepage and EMail open what they are given through
// vq::apertura::Servizio(), the process-wide current opener. Programs keep the desktop
// opener (xdg-mime to find the handler, xdg-open to start it); tests install a
// RegistratoreAperture, so no test ever starts a browser, and read back what was opened.
#pragma once

#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vq::apertura {

// What became of one request.
enum class Esito {
    Avviato,          // the handler was started
    FileNonTrovato,   // the document does not exist
    NessunProgramma,  // no program handles its type (or its address scheme)
    AccessoNegato,    // anything else: unreadable, the handler could not be started, ...
};

// The number the Windows shell gives for the same outcome: 42 (any value above 32 means
// started), 2, 31, 5.
int CodiceShell(Esito esito) noexcept;

class Apritore {
public:
    virtual ~Apritore() = default;
    // Open `documento` (a path or an address such as "https://..." or "mailto:...") with
    // its default handler, started in `cartellaLavoro`; do not wait for it.
    virtual Esito Apri(const std::string& documento, const std::string& cartellaLavoro) = 0;
};

// The desktop opener. A document that is not an address must exist and be readable; its
// type comes from `xdg-mime query filetype`, its handler from `xdg-mime query default`
// (for an address: the type "x-scheme-handler/<scheme>"). Web pages and web addresses
// also count as handled when $BROWSER names a browser or a usual browser is installed,
// as xdg-open falls back to those. The handler is started through xdg-open in a process
// of its own (a new session, not a child of ours), so it outlives the caller and leaves
// no zombie behind. The two tools are looked up in PATH unless given with a folder.
class ApritoreDesktop final : public Apritore {
public:
    ApritoreDesktop();
    ApritoreDesktop(std::string xdgMime, std::string xdgOpen);
    Esito Apri(const std::string& documento, const std::string& cartellaLavoro) override;

private:
    std::string xdgMime_;
    std::string xdgOpen_;
};

// A recorder for tests: keeps every request and answers it with the next queued result,
// or Avviato when none is queued.
class RegistratoreAperture final : public Apritore {
public:
    struct Richiesta {
        std::string documento;
        std::string cartellaLavoro;
    };
    Esito Apri(const std::string& documento, const std::string& cartellaLavoro) override;
    void AccodaEsito(Esito esito);
    std::vector<Richiesta> Richieste() const;

private:
    mutable std::mutex mutex_;
    std::vector<Richiesta> richieste_;
    std::deque<Esito> esiti_;
};

// The process-wide current opener; a desktop opener until something else is installed.
// A caller keeps the shared pointer for the length of its call.
std::shared_ptr<Apritore> Servizio();
// Install `nuovo` (nullptr = the desktop opener again); return the one it replaces.
std::shared_ptr<Apritore> SostituisciServizio(std::shared_ptr<Apritore> nuovo);

// Install an opener for the life of a scope, then put the previous one back.
class ServizioTemporaneo {
public:
    explicit ServizioTemporaneo(std::shared_ptr<Apritore> nuovo)
        : precedente_(SostituisciServizio(std::move(nuovo))) {}
    ~ServizioTemporaneo() { SostituisciServizio(std::move(precedente_)); }
    ServizioTemporaneo(const ServizioTemporaneo&) = delete;
    ServizioTemporaneo& operator=(const ServizioTemporaneo&) = delete;

private:
    std::shared_ptr<Apritore> precedente_;
};

}  // namespace vq::apertura
