#include <shell/messagebox.h>

#include <iostream>
#include <unistd.h>

namespace shell {

Icona IconaDi(std::uint32_t stile) noexcept {
    switch (stile & 0xF0U) {
        case MB_ICONSTOP: return Icona::Stop;
        case MB_ICONQUESTION: return Icona::Domanda;
        case MB_ICONEXCLAMATION: return Icona::Esclamazione;
        case MB_ICONINFORMATION: return Icona::Informazione;
        default: return Icona::Nessuna;
    }
}

std::vector<int> PulsantiDi(std::uint32_t stile) noexcept {
    switch (stile & 0x0FU) {
        case MB_OKCANCEL: return {IDOK, IDCANCEL};
        case MB_ABORTRETRYIGNORE: return {IDABORT, IDRETRY, IDIGNORE};
        case MB_YESNOCANCEL: return {IDYES, IDNO, IDCANCEL};
        case MB_YESNO: return {IDYES, IDNO};
        case MB_RETRYCANCEL: return {IDRETRY, IDCANCEL};
        default: return {IDOK};
    }
}

int PulsantePredefinito(std::uint32_t stile) noexcept {
    const std::vector<int> pulsanti = PulsantiDi(stile);
    std::size_t indice = 0;
    if ((stile & 0xF00U) == MB_DEFBUTTON2) indice = 1;
    if ((stile & 0xF00U) == MB_DEFBUTTON3) indice = 2;
    return indice < pulsanti.size() ? pulsanti[indice] : pulsanti.front();
}

namespace {

const char* NomeIcona(Icona icona) {
    switch (icona) {
        case Icona::Stop: return "errore";
        case Icona::Domanda: return "domanda";
        case Icona::Esclamazione: return "avviso";
        case Icona::Informazione: return "informazione";
        case Icona::Nessuna: break;
    }
    return "messaggio";
}

// A notice goes to a terminal: control characters of the text (escape sequences in an
// error description, for instance) are shown as "?" so that they cannot act on it.
// Line breaks stay, the following lines indented under the first.
std::string Ripulisci(const std::string& testo) {
    std::string out;
    out.reserve(testo.size());
    for (std::size_t i = 0; i < testo.size(); ++i) {
        const auto c = static_cast<unsigned char>(testo[i]);
        if (c == '\r' && i + 1 < testo.size() && testo[i + 1] == '\n') continue;
        if (c == '\n' || c == '\r') out += "\n    ";
        else if (c == '\t') out += ' ';
        else if (c < 0x20 || c == 0x7F) out += '?';
        else out += static_cast<char>(c);
    }
    return out;
}

}  // namespace

MessageBoxConsole::MessageBoxConsole() : uscita_(&std::cerr) {}
MessageBoxConsole::MessageBoxConsole(std::ostream& uscita) : uscita_(&uscita) {}

int MessageBoxConsole::Mostra(const std::string& testo, const std::string& titolo,
                              std::uint32_t stile) {
    std::lock_guard lock(mutex_);
    *uscita_ << '[' << NomeIcona(IconaDi(stile)) << "] " << Ripulisci(titolo) << ": "
             << Ripulisci(testo) << '\n';
    uscita_->flush();
    return PulsantePredefinito(stile);
}

void MessageBoxConsole::Beep() {
    std::lock_guard lock(mutex_);
    if (uscita_ == &std::cerr && ::isatty(STDERR_FILENO) == 1) {
        *uscita_ << '\a';
        uscita_->flush();
    }
}

void MessageBoxConsole::CursoreAttesa(bool) {}

int RegistratoreMessaggi::Mostra(const std::string& testo, const std::string& titolo,
                                 std::uint32_t stile) {
    std::lock_guard lock(mutex_);
    messaggi_.push_back({testo, titolo, stile});
    if (!risposte_.empty()) {
        const int r = risposte_.front();
        risposte_.pop_front();
        return r;
    }
    return PulsantePredefinito(stile);
}

void RegistratoreMessaggi::Beep() {
    std::lock_guard lock(mutex_);
    ++beep_;
}

void RegistratoreMessaggi::CursoreAttesa(bool attivo) {
    std::lock_guard lock(mutex_);
    cursori_.push_back(attivo);
}

void RegistratoreMessaggi::AccodaRisposta(int risultato) {
    std::lock_guard lock(mutex_);
    risposte_.push_back(risultato);
}

std::vector<RegistratoreMessaggi::Messaggio> RegistratoreMessaggi::Messaggi() const {
    std::lock_guard lock(mutex_);
    return messaggi_;
}

int RegistratoreMessaggi::Beeps() const {
    std::lock_guard lock(mutex_);
    return beep_;
}

std::vector<bool> RegistratoreMessaggi::Cursori() const {
    std::lock_guard lock(mutex_);
    return cursori_;
}

void RegistratoreMessaggi::Svuota() {
    std::lock_guard lock(mutex_);
    messaggi_.clear();
    risposte_.clear();
    beep_ = 0;
    cursori_.clear();
}

namespace {

std::mutex& MutexServizio() {
    static std::mutex m;
    return m;
}

std::shared_ptr<MessageBox>& ServizioCorrente() {
    static std::shared_ptr<MessageBox> corrente = std::make_shared<MessageBoxConsole>();
    return corrente;
}

}  // namespace

std::shared_ptr<MessageBox> Servizio() {
    std::lock_guard lock(MutexServizio());
    return ServizioCorrente();
}

std::shared_ptr<MessageBox> SostituisciServizio(std::shared_ptr<MessageBox> nuovo) {
    if (!nuovo) nuovo = std::make_shared<MessageBoxConsole>();
    std::lock_guard lock(MutexServizio());
    std::shared_ptr<MessageBox> precedente = std::move(ServizioCorrente());
    ServizioCorrente() = std::move(nuovo);
    return precedente;
}

int Mostra(const std::string& testo, const std::string& titolo, std::uint32_t stile) {
    return Servizio()->Mostra(testo, titolo, stile);
}

void Beep() { Servizio()->Beep(); }

void CursoreAttesa(bool attivo) { Servizio()->CursoreAttesa(attivo); }

}  // namespace shell
