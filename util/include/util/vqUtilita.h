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
//   util/src/finestre.cpp   centre, shade, keep on top, folder picker, upper-case keys,
//                           through the window interface of util/finestre.h (the Qt
//                           layer in util/qt implements it)
//   util/src/ini.cpp        settings files in the INI format
//   util/src/sistema.cpp    system version, separators, volume identities, network folder
//   util/src/servizi_file.cpp  files in use, write access, read-only, expansion
//   util/src/szdd.cpp       SZDD expansion in memory
//   util/src/installazione.cpp  component registration, shared counters, uninstall
//                           entries, associations, shortcuts
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

#include <util/finestre.h>

struct HKEY__;

class vqUtilita {
public:
    // ---- Version resources and comparison -------------------------------------------

    // The file version of an executable or library as "a.b.c.d"; "0.0.0.0" when the file
    // is missing, unreadable, damaged or has no version resource.
    static std::string GetVersione(const std::string& file);
    // 1 when VersioneA is newer, -1 when VersioneB is newer, 0 when the first four parts
    // are equal. A part outside -32768..32767 raises error 6.
    static std::int32_t ConfrontaVersione(const std::string& VersioneA,
                                          const std::string& VersioneB);

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
    static bool vqSplit(std::vector<std::string>& tmp, const std::string& buf,
                        const std::string& sep);
    // `testo` without blanks (character 32).
    static std::string EspuraSpazi(const std::string& testo);

    // ---- Processes, shell and windows ----------------------------------------------

    // The maker's home page and e-mail address, opened by Homepage and EMail.
    static constexpr const char* kHomepage = "https://www.vq.example/";
    static constexpr const char* kEMail = "info@vq.example";

    // Open `file` (document, program or address) with the desktop's default handler
    // through vq::apertura::Servizio(), working folder "/". True when it was started;
    // otherwise, unless `muto`, a stop box titled "Errore" with `file` followed by
    // ": file non trovato!", ": nessun programma associato a questo tipo di file!" or
    // ": accesso negato!"; false. Never raises. `hWnd` (the owner) is not used here.
    static bool EseguiEx(std::intptr_t hWnd, const std::string& file, bool muto);
    // Open the maker's home page, an address, or a new mail to the maker ("Mailto:" +
    // kEMail) the same way, without result and without message.
    static void Homepage(std::intptr_t hWnd);
    static void GoWeb(std::intptr_t hWnd, const std::string& indirizzoWeb);
    static void EMail(std::intptr_t hWnd);
    // Start the command registered under App Paths for `applicazione` (default value of
    // HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\<name>)
    // without waiting. Not registered or not startable: an exclamation box titled
    // "Errore" with `applicazione` + ": Applicazione non trovata." and false.
    static bool StartApplicazione(const std::string& applicazione);
    // Start `ToRun` (a program path, or a name looked up in PATH) with the arguments of
    // `COMMANDLINE` split as a shell would (no shell is run) and wait for its end. True
    // when it was started and has ended (its exit status is not looked at).
    static bool ShellSospensiva(const std::string& ToRun,
                                const std::optional<std::string>& COMMANDLINE = std::nullopt);
    // Suspend the calling thread for `millisecondi` ms, processing no events; zero or a
    // negative number returns at once.
    static void Sleep(std::int32_t millisecondi);
    // Wait `sec` seconds of elapsed time (a clock that the time of day does not move)
    // while the window system's events are processed.
    static void WaitSecondi(std::int16_t sec);

    // The folder picker of the window system (vq::finestre::Servizio()); the chosen
    // folder without a final "/", or the empty text.
    static std::string Sfoglia_Cartella(std::intptr_t hWnd, const std::string& sTitle);
    // Bring to the front the first top-level window whose title contains `testo`
    // (compared without regard to case); false when none does or `testo` is empty.
    static bool ShowFinestraConTitolo(const std::string& testo);
    // Keep the window above all others, or no longer.
    static void FinetraTopMost(std::intptr_t hWnd, bool SempreInPrimoPiano);
    // Centre a form on its screen, or within the inner area of `padre`; failures ignored.
    static void CentraForm(vq::finestre::Form& obj);
    static void CentraFormFiglio(vq::finestre::Form& padre, vq::finestre::Form& obj);
    // Paint `PassoA` (60) horizontal bands on the form, starting with `ColoreIniziale`
    // (0xFF0000, blue; 0x00BBGGRR) and taking `PassoB` (4) off every non-zero colour
    // component per band, wrapping below 0.
    static void SfumaForm(vq::finestre::Form& InputForm,
                          const std::optional<std::int32_t>& ColoreIniziale = std::nullopt,
                          const std::optional<std::int32_t>& PassoA = std::nullopt,
                          const std::optional<std::int32_t>& PassoB = std::nullopt);
    // Select the whole text of a text box; failures ignored.
    static void Evidenzia(vq::finestre::CasellaTesto& xCtrl);
    // The upper-case form of a character code of Windows-1252 (0..255); error 5 for a
    // code outside that range.
    static std::int16_t KeyMaiuscolo(std::int16_t KeyAscii);

    // ---- System, file, registry and installation services -----------------------------

    // A value of a settings file in the INI format: sections and keys compared without
    // regard to case, blanks around names and values dropped, one pair of quotes around
    // a value dropped, at most 1999 characters; `DefaultValore` when the file, section or
    // key is missing or the value is empty. A name without a folder is looked up in
    // CartellaWindows().
    static std::string LeggiINI(const std::string& fileINI, const std::string& Sezione,
                                const std::string& chiave, const std::string& DefaultValore);
    // Set a value, creating the file, the section or the key when missing and keeping
    // every other line as it was; the file is replaced atomically. False when it cannot
    // be written or a name or the value would break the file's lines.
    static bool ScriviINI(const std::string& fileINI, const std::string& Sezione,
                          const std::string& chiave, const std::string& valore);
    // The automation time value of `sec` seconds (hours beyond 23 carry into days).
    // Error 6 when the hours leave the signed 16-bit range.
    static double LongToDate(std::int32_t sec);
    // True when another process holds a lock on the file (or it cannot be examined);
    // false for a file that is not there or a folder.
    static bool FileAperto(const std::string& file);
    // Whether a file can be created in the folder; on failure a stop box "Errore # n" and
    // the reason, then false.
    static bool WriteAccess(const std::string& strDirName);
    // Give the owner the right to write the file when it lacks it; failures ignored.
    static void EliminaReadOnly(const std::string& filename);
    // Copy `sorgente` to `destinazione`, expanding it when it is an SZDD compressed file.
    // False (and `destinazione` untouched) when the source is missing, damaged or empty.
    static bool Decomprimi(const std::string& sorgente, const std::string& destinazione);
    // The identity of the file system of "/" (or of the mount standing for a drive
    // letter) as a signed decimal number; the empty text when it cannot be read.
    static std::string GetSerialHD();
    static std::string GetSerialDrive(const std::string& letteraDrive);
    // The Windows edition code: 0 on this system, which is none of them.
    static std::int32_t InfoSO();
    static bool IsWindowsNT();
    // The system's name, its kernel's "major.minor.build" and its version text.
    static std::string InfoSOVersione();
    // The code of the decimal or thousands separator of the user's locale when it is ","
    // or "."; 0 otherwise (also when the locale does not group 1000).
    static std::uint8_t GetSeparatoreDecimale();
    static std::uint8_t GetSeparatoreMigliaia();
    // Whether the program runs from a network file system (NFS, SMB/CIFS, SSHFS, ...).
    static bool DirectoryRete();
    // Whether the running executable is one of the old development environment's.
    static bool IsVBEnvironment();
    // Register (unregister) a component: a shared library (".dll", ".ocx", ".so", any
    // case) through its DllRegisterServer (DllUnregisterServer) entry point, a program
    // (".exe") by running it with "/REGSERVER" ("/UNREGSERVER").
    static bool RegistraServer(const std::string& file);
    static bool DeRegistraServer(const std::string& file);
    // The shared-file counters under HKEY_LOCAL_MACHINE\...\SharedDLLs.
    static bool SetFileShared(const std::string& pathfile, bool EsisteGia);
    static bool DecFileShared(const std::string& pathfile);
    // The file registered as in-process (local) server of a component class.
    static std::string PathServerOcx(const std::string& applicazione);
    static std::string PathServerExe(const std::string& applicazione);
    // A desktop entry `lnk_pathname` that starts (or opens) `file` in `dir_lavoro`.
    static bool CreaCollegamento(const std::string& lnk_pathname, const std::string& file,
                                 const std::string& dir_lavoro);
    // Values of an uninstall entry: 0 ApplicationName, 1 DisplayName, 2 UninstallString,
    // 3 AppToUninstall, any other the default value.
    static std::string GetInfoDisinstallazione(const std::string& chiave, std::int16_t subchiave);
    static bool SetInfoDisinstallazione(const std::string& chiave, std::int16_t subchiave,
                                        const std::string& valore, bool crea);
    // Associate files ending in `ext` (".xyz") with the program `file`: in the registry
    // store and, for the desktop, as a MIME type with a desktop entry.
    static bool CreaAssociazione(const std::string& file, const std::string& ext);

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

    // Registration of components and the registry writers of the installation services.
    static bool RegistraDll(const std::string& file);
    static bool DeRegistraDll(const std::string& file);
    static bool RegistraExe(const std::string& file);
    static bool DeRegistraExe(const std::string& file);
    static std::string LeggiContatoreCondiviso(const std::string& pathfile);
    static bool ScriviContatoreCondiviso(const std::string& pathfile, std::int32_t n);
    static bool EliminaContatoreCondiviso(const std::string& pathfile);
    static bool ScriviNumeroRegistro(HKEY__* radice, const std::string& subkey,
                                     const std::string& nome, std::int32_t n);
    static bool ScriviTestoRegistro(HKEY__* radice, const std::string& subkey,
                                    const std::string& nome, const std::string& testo, bool crea);

    // Tests of the private routines declare this class to reach them.
    friend class vqUtilitaProve;
};
