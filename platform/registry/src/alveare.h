// A hive in memory, and its REGEDIT4 text form.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "win/registry.h"

namespace vq::registro {

// Name as compared: each character in its simple upper case, as the Windows registry
// compares names. Bytes that are not valid UTF-8 compare as themselves.
std::string NomeConfronto(std::string_view nome);

struct Valore {
    std::string nome;  // "" is the key's default value
    DWORD tipo = REG_NONE;
    std::vector<std::uint8_t> dati;
};

struct Chiave {
    std::string nome;
    std::string confronto;       // NomeConfronto(nome)
    std::vector<Valore> valori;  // in the order of creation
    std::vector<Chiave> figli;   // ordered by `confronto`

    Chiave* Figlio(std::string_view nome);
    const Chiave* Figlio(std::string_view nome) const;
    // The subkey called `nome`, created when missing (then `creato` becomes true).
    Chiave& CreaFiglio(std::string_view nome, bool& creato);
    // Removes the subkey; false when there is none.
    bool RimuoviFiglio(std::string_view nome);

    Valore* TrovaValore(std::string_view nome);
    const Valore* TrovaValore(std::string_view nome) const;
    bool RimuoviValore(std::string_view nome);
    // Sets a value, keeping its place when it exists; false when nothing changed.
    bool ImpostaValore(std::string_view nome, DWORD tipo, std::vector<std::uint8_t> dati);

    // The key at the end of `percorso` (names of successive subkeys), or nullptr.
    Chiave* Trova(const std::vector<std::string>& percorso);
    const Chiave* Trova(const std::vector<std::string>& percorso) const;
};

// Whether a name can be stored in the text form (no line breaks, no NUL).
bool NomeMemorizzabile(std::string_view nome);

struct EsitoAnalisi {
    bool ok = true;
    std::size_t riga = 0;  // line of the first fault, from 1
    std::string motivo;
};

// Parses the text of a hive whose root is called `radice` ("HKEY_CURRENT_USER").
// Accepts what regedit writes and reads: the "REGEDIT4" (or "Windows Registry Editor
// Version 5.00") first line, CR LF or LF, comments after ";", [key] sections with full
// paths (also [-key] deletions), "name"="text", @=, "name"=dword:..., hex:..., hex(N):...
// with "\" line continuations, "name"=- deletions. An empty text is an empty hive.
EsitoAnalisi Analizza(std::string_view testo, std::string_view radice,
                      std::string_view abbreviazione, Chiave& albero);

// Writes a hive as regedit does: "REGEDIT4", a blank line, then one section per key in
// depth-first order (the root only when it has values), each followed by a blank line.
std::string Scrivi(const Chiave& albero, std::string_view radice);

}  // namespace vq::registro
