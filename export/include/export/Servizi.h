// The small services through which the program's logic reaches the screen and the
// system. The logic (start-up checks, main window, export run) is plain C++; the window
// gives Qt implementations, the command line its own, tests record what was asked.
//
// Message boxes, the beep and the busy cursor are not here: they go through the existing
// shell::Servizio() (shell/messagebox.h), which the window replaces with its own.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "export/ModXML.h"

namespace travasa {

// ---- The save dialog ----------------------------------------------------------------
// The settings the export run gives the dialog before each ShowSave, and the file name
// that stays between runs (a second run opens with the previous name).
struct ImpostazioniDialogo {
    bool CancelError = false;  // a cancel raises error kErrDialogoAnnullato
    std::string DefaultExt;    // "xml": added to a name typed without an extension
    std::string Filter;        // "File XML (*.xml)|*.xml": description|pattern pairs
    std::int32_t Flags = 0;    // 2054 = overwrite prompt + hide read-only + path must exist
    std::string InitDir;       // the folder the dialog starts in
    std::string FileName;      // in: the previous choice; out: the chosen file
};

// Error number of a cancelled dialog (with CancelError set); never reported.
inline constexpr std::int32_t kErrDialogoAnnullato = 32755;

class DialogoSalva {
public:
    virtual ~DialogoSalva() = default;
    // Shows the dialog with `impostazioni`; on a choice stores the full path in
    // impostazioni.FileName and returns. On a cancel raises error 32755 (vq::Solleva)
    // when CancelError is set, else returns leaving FileName empty.
    virtual void ShowSave(ImpostazioniDialogo& impostazioni) = 0;
};

// ---- The progress bar -----------------------------------------------------------------
// The writer advances it once per row (IndicatoreProgresso); the export run also sets its
// value and shows or hides it.
class BarraProgresso : public IndicatoreProgresso {
public:
    virtual void Visibile(bool visibile) = 0;
};

// ---- Opening a document with the desktop's handler -----------------------------------
class ApriDocumento {
public:
    virtual ~ApriDocumento() = default;
    // Opens `file` with the program associated with its type. `hWnd` is the window the
    // failure message belongs to; `muto` false shows that message itself (file missing,
    // no program for its type, access denied). Returns 0 when opened, -1 otherwise.
    virtual std::int32_t Apri(std::intptr_t hWnd, const std::string& file, bool muto) = 0;
};

// ---- The system ------------------------------------------------------------------------
// The real implementations of the document opener and of the pause, through vqUtilita.
ApriDocumento& ApriDocumentoSistema();
// Blocks the calling thread for `millisecondi`.
void PausaSistema(std::int32_t millisecondi);

// "End the program at once": the process ends with status 1, without any unload. Tests
// replace the hook; a hook that returns makes TerminaProgramma throw ProgrammaTerminato,
// so the logic still stops where the process would have ended.
struct ProgrammaTerminato {
    int stato = 1;
};
using Terminazione = std::function<void(int stato)>;
// Installs `hook` (an empty one puts back the real end of the process); returns the
// previous one.
Terminazione ImpostaTerminazione(Terminazione hook);
[[noreturn]] void TerminaProgramma(int stato = 1);

}  // namespace travasa
