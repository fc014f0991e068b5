// Starting other programs: the helpers shared by the shell methods of vqUtilita and the
// desktop opener.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vq::utilita {

// The full path of `programma`: itself when it names a folder ("/bin/ls", "./x"),
// otherwise the first executable file of that name in the folders of PATH.
std::optional<std::string> CercaProgramma(const std::string& programma);

// Start `argv` (argv[0] a full path) in a new session, detached from this process
// (double fork: the caller's child ends at once and is reaped here), in `cartella` when
// it is not empty. 0 when the program was started, otherwise the errno of the step that
// failed (an exec failure included). Safe in a multi-threaded process: between fork and
// exec only async-signal-safe calls are made.
int AvviaStaccato(const std::vector<std::string>& argv, const std::string& cartella);

// Run `argv` (argv[0] looked up in PATH), wait for its end and return its exit status
// (-1 when it could not be started or did not exit normally) with its standard output
// in `uscita`. Standard input and error go to /dev/null.
int EseguiCattura(const std::vector<std::string>& argv, std::string& uscita);

// Split a command line into its words as a POSIX shell would, without running one and
// without any expansion: blanks, tabs and line ends separate words; '...' keeps
// everything literally; "..." keeps everything except that a backslash escapes
// \ " $ ` and a line end; a backslash outside quotes keeps the next character. An
// unterminated quote runs to the end of the text.
std::vector<std::string> DividiRigaComando(const std::string& riga);

}  // namespace vq::utilita
