#pragma once
// File-system failures in the runtime's own terms: a failed system call's errno becomes
// the runtime error number a caller of the file statements expects (76 path not found,
// 70 permission denied, 61 disk full, ...), with its Italian description.

#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <string_view>

#include "vq/errore.h"

namespace vq {

// The runtime number for a failed file operation:
//   ENOENT, ENOTDIR                  -> 76 "Impossibile trovare il percorso "
//   EACCES, EPERM, EROFS, ETXTBSY    -> 70 "Autorizzazione negata"
//   ENOSPC, EDQUOT, EFBIG            -> 61 "Disco pieno"
//   EMFILE, ENFILE                   -> 67 "Troppi file"
//   EIO                              -> 57 "Errore di I/O periferica"
//   anything else                    -> 75 "Errore di accesso al percorso/file"
std::int32_t NumeroDaErrno(int codice) noexcept;

// The error for a failed system call: its number from NumeroDaErrno, its description the
// runtime's text for that number, followed by ": " and `contesto` when one is given.
Errore ErroreDaErrno(int codice, const std::string& contesto = {});

// Raise ErroreDaErrno(codice, contesto): it becomes the current error and is thrown.
[[noreturn]] void SollevaErrno(int codice, const std::string& contesto = {});

// Writes all of `dati` at the descriptor's position, again after an interruption or a
// short write: 0, or the errno of the failure (ENOSPC when nothing more can be written).
int ScriviTutto(int fd, std::string_view dati) noexcept;

// The one holder of a file descriptor: closes it when it goes out of scope.
class Descrittore {
public:
    explicit Descrittore(int fd = -1) noexcept : fd_(fd) {}
    ~Descrittore() { Chiudi(); }
    Descrittore(Descrittore&& altro) noexcept : fd_(altro.rilascia()) {}
    Descrittore& operator=(Descrittore&& altro) noexcept {
        if (this != &altro) Reimposta(altro.rilascia());
        return *this;
    }
    Descrittore(const Descrittore&) = delete;
    Descrittore& operator=(const Descrittore&) = delete;

    int get() const noexcept { return fd_; }
    bool aperto() const noexcept { return fd_ >= 0; }
    // Gives the descriptor up without closing it.
    int rilascia() noexcept {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    // Closes the descriptor held (if any) and holds `fd` instead.
    void Reimposta(int fd = -1) noexcept {
        Chiudi();
        fd_ = fd;
    }
    // Closes now: 0, or the errno of close() (a delayed write error shows up there). EINTR
    // is not a failure: the descriptor is closed all the same.
    int Chiudi() noexcept {
        if (fd_ < 0) return 0;
        const int fd = rilascia();
        return ::close(fd) != 0 && errno != EINTR ? errno : 0;
    }

private:
    int fd_;
};

// Replacing a file atomically: the new content goes to a temporary file created beside
// the target (same folder, so the rename cannot cross file systems), is flushed to disk,
// and only Conferma() renames it over the target. Until then the target is untouched;
// a replacement that is not confirmed removes its temporary file when destroyed.
// Failures are given as errno values (0 = success), so each caller reports them in its
// own words; nothing here throws.
//
// Rules of replacement:
//  - only a target this user may write is replaced (the test an open for writing makes,
//    with the effective ids), and never one without any write bit: otherwise EACCES (or
//    EROFS) and the target untouched;
//  - a target that is replaced keeps its permission bits, and its owner and group where
//    the system allows;
//  - when the folder may not be written (or, with the sticky bit, the target may not be
//    replaced in it by this user) but the target may, the content is gathered in
//    an unnamed file and Conferma() writes it over the target in place (truncate, write,
//    flush): not atomic, but the only way such a file can be saved;
//  - the temporary file carries the writer's process id; creating one removes those of
//    the same prefix and suffix that a process no longer running left behind.
class SostituzioneAtomica {
public:
    // The temporary file is named `prefisso` + process id + "-" + 8 random letters or
    // digits + `suffisso` (the prefix carries the target's folder) and is created new
    // (never an existing file) with `modo` less the process's umask, or with the mode of
    // the target it replaces.
    SostituzioneAtomica(std::string destinazione, std::string prefisso, std::string suffisso = {},
                        mode_t modo = 0666) noexcept;
    ~SostituzioneAtomica();
    SostituzioneAtomica(const SostituzioneAtomica&) = delete;
    SostituzioneAtomica& operator=(const SostituzioneAtomica&) = delete;

    // 0 when the temporary file was created; the errno of the failure otherwise.
    int esito() const noexcept { return esito_; }
    int fd() const noexcept { return fd_; }
    // The temporary file's name; empty when the target is written in place.
    const std::string& temporaneo() const noexcept { return temporaneo_; }

    // Flush, close and rename over the target, then flush the folder so the rename
    // itself survives a crash. 0 on success, else the errno of the step that failed
    // (the temporary file is then removed by the destructor).
    int Conferma() noexcept;
    // After a failed Conferma(): whether it was the rename that failed (the content was
    // already flushed) rather than the flush or close of the temporary file.
    bool rinominaFallita() const noexcept { return rinominaFallita_; }

private:
    std::string destinazione_;
    std::string temporaneo_;
    int fd_ = -1;
    int destinazioneFd_ = -1;  // the target, open for writing in place; -1 for a rename
    int esito_ = 0;
    bool confermata_ = false;
    bool rinominaFallita_ = false;
};

// The file a symbolic link finally points to; the path itself otherwise (also when the
// link is dangling or cannot be resolved).
std::string SeguiCollegamento(const std::string& percorso);

// A file named by a program whose file system ignores case, as ours does not: `percorso`
// itself when it exists (a dangling link too); otherwise the one entry of its folder whose
// name differs from it only in the case of ASCII letters; `percorso` unchanged when there
// is none or the folder cannot be read (opening it then reports the missing file).
// Several such entries and no exact one: error `numeroSeAmbiguo`, naming them, rather
// than a guess.
std::string CercaSenzaMaiuscole(const std::string& percorso, std::int32_t numeroSeAmbiguo);

}  // namespace vq
