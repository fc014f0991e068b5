// vqUtilita: the general utility class of the export program.
//
// One stateless class: every method is static, so a caller may keep an object of the
// class (as the program's window does) or call the methods on the class itself. The
// methods are implemented in one source file per group:
//   util/src/percorsi.cpp   paths, folder creation, the system's own folders
//   util/src/cartelle.cpp   the standard folders of the user and of all users
//   util/src/registro.cpp   the registry reader, folders of registered programs
//   util/src/testi.cpp      replace, split, remove blanks
//   util/src/versioni.cpp   version resources and comparison
//   util/src/errori.cpp     error reporting and log
//   util/src/shell.cpp      opening documents and addresses, starting programs, waiting
//   util/src/apertura.cpp   the replaceable opener behind EseguiEx (util/apertura.h)
//   util/src/processi.cpp   process start helpers shared by the above
//
// Texts are UTF-8. Paths use this platform's native separator "/" and carry no drive
// letter; a folder text ends in "/" whenever it is not empty. Methods that hold text
// lengths in 16-bit counters raise error 6 ("Overflow") on texts longer than 32767
// characters, as they always have. A method without a failure handler of its own lets a
// failure reach its caller as a vq::Errore (and as the thread's current error); a method
// with a handler returns its fixed value instead.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class vqUtilita {
public:
    // ---- Version resources and comparison -------------------------------------------

    // The file version of an executable or library as "a.b.c.d"; "0.0.0.0" when the file
    // is missing, unreadable, damaged or has no version resource.
    static std::string GetVersione(const std::string& file);
    // 1 when VersioneA is newer, -1 when VersioneB is newer, 0 when the first four parts
    // are equal. A part outside -32768..32767 raises error 6.
    static std::int32_t ConfrontaVersione(const std::string& VersioneA, const std::string& VersioneB);

    // ---- Error reporting and log ----------------------------------------------------

    // Show the thread's current error in a message box (information icon, title
    // "Errore" + the number with its sign position), then clear it.
    static void PrintErrore();
    // As PrintErrore, with `inizio` + ": " ahead of the error text.
    static void PrintErroreEx(const std::string& inizio);
    // The Italian text of a runtime error number; the current error's description when
    // the number has no row.
    static std::string MessaggioErroreITA(std::int32_t codice);
    // Append one line (CR LF ended, Windows-1252) to the log file: `filename` when given
    // (blanks trimmed), else the program's folder + its name + ".log". `data` puts a time
    // stamp "yyyy-mmm-dd hh:mm:ss " ahead; `CancellaPrecedente` starts the file afresh.
    // False on any failure (the current error tells why).
    static bool ScriviLog(const std::string& testo,
                          const std::optional<std::string>& filename = std::nullopt,
                          bool data = false, bool CancellaPrecedente = false);

    // ---- Paths, folders and strings -------------------------------------------------

    // Trim blanks at both ends of `percorso` and append "/" unless it is empty or already
    // ends in "/"; changes the caller's text and returns it.
    static std::string AggiungiSepDir(std::string& percorso);
    // Create every missing level of `path`, from the root down; appends "/" to the
    // caller's text when missing. True when the whole chain exists at the end.
    static bool CreaPercorsoDirectory(std::string& path);
    // Make the program's folder the current folder; failures are ignored.
    static void CurDirApp();
    // The folder part of `filename` with its final "/", or the empty text.
    static std::string EstraiPath(const std::string& filename);
    // The text after the last "." (not the first character), or the empty text.
    static std::string EstraiEstensione(const std::string& filename);
    // The part after the last "/" or "\".
    static std::string DeterminaSoloFileName(const std::string& pathname);
    // The folder of a program registered under App Paths, or the empty text.
    static std::string CartellaApplicazione(const std::string& applicazione);
    // The system's own folders, with the final "/".
    static std::string CartellaWindows();
    static std::string GetWindowsSysDir();
    static std::string GetDirectoryTemp();
    // Create a new empty file "vq" + hex + ".tmp" in the temporary folder and return its
    // full name; never reuses an existing file. Error 322 when no such file can be made.
    static std::string GetFileTemporaneo();
    // The text up to its first NUL character.
    static std::string StripTerminator(const std::string& strString);

    // Standard folders of the user and of all users, with the final "/", or the empty
    // text when this platform has no such folder.
    static std::string CartellaDocumenti();
    static std::string CartellaDati();
    static std::string CartellaDatiCondivisi();
    static std::string CartellaCondivisi();
    static std::string CartellaDesktop();
    static std::string CartellaDesktopTuttiUtenti();
    static std::string CartellaEsecuzioneAutomatica();
    static std::string CartellaEsecuzioneAutomaticaTuttiUtenti();
    static std::string CartellaPreferitiTuttiUtenti();
    static std::string CartellaMenuAvvio();
    static std::string CartellaMenuAvvioTuttiUtenti();
    static std::string CartellaSendTo();
    static std::string CartellaRecenti();
    static std::string CartellaMenuProgrammi();
    static std::string CartellaMenuProgrammiTuttiUtenti();
    static std::string CartellaDocumentiCondivisi();
    static std::string CartellaRisorseRete();
    static std::string CartellaImmagini();
    static std::string CartellaImmaginiTuttiUtenti();
    static std::string CartellaCronologia();
    static std::string CartellaFonts();
    static std::string CartellaPreferiti();
    static std::string CartellaCookies();
    static std::string CartellaInternetTemp();

    // Replace every non-overlapping occurrence of `ricerca` (case-sensitive); an empty
    // argument leaves `testo` unchanged.
    static std::string vqReplace(const std::string& testo, const std::string& ricerca,
                                 const std::string& sostituzione);
    // Split `buf` at `sep` into `tmp` (rebuilt, index 0 first); one final separator is
    // dropped. False (and `tmp` = one empty element) when `buf` or `sep` is empty.
    static bool vqSplit(std::vector<std::string>& tmp, const std::string& buf, const std::string& sep);
    // `testo` without blanks (character 32).
    static std::string EspuraSpazi(const std::string& testo);

    // ---- Processes, shell and windows ----------------------------------------------

    // Open `file` (document, program or address) with the desktop's default handler
    // through vq::apertura::Servizio(), working folder "/". True when it was started;
    // otherwise, unless `muto`, a stop box titled "Errore" with `file` followed by
    // ": file non trovato!", ": nessun programma associato a questo tipo di file!" or
    // ": accesso negato!"; false. Never raises. `hWnd` (the owner) is not used here.
    static bool EseguiEx(std::intptr_t hWnd, const std::string& file, bool muto);
    // Suspend the calling thread for `millisecondi` ms, processing no events; zero or a
    // negative number returns at once.
    static void Sleep(std::int32_t millisecondi);
    // ---- System, file, registry and installation services: to come --------------------

private:
    // Version helpers: the upper and lower 16 bits of a 32-bit word as unsigned numbers
    // (0..65535); part k (1-based) of a dotted version text read leniently; the
    // three-way comparison of two parts.
    static std::int32_t ParteAlta(std::int32_t dword);
    static std::int32_t ParteBassa(std::int32_t dword);
    static std::int16_t ParteVersione(const std::string& versione, std::int16_t k);
    static std::int32_t ConfrontaParti(std::int16_t a, std::int16_t b);

    // The work of DeterminaSoloFileName.
    static std::string EstraiNomeFile(const std::string& pathname);

    // Tests of the private routines declare this class to reach them.
    friend class vqUtilitaProve;
};
