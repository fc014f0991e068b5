// Writer of Jet 3 (Access 97, 2 KB pages, text in the file's code page) and Jet 4
// (Access 2000, 4 KB pages, UTF-16 text) database files, for tests, demo data and
// benchmarks.
//
// A database is described by a Specifica: format, code page, optional database password
// and a list of tables, each with its columns and rows. Scrivi writes it to a new file,
// built in a temporary file beside the destination and renamed over it at the end, so a
// failure (bad input included) leaves whatever was there before untouched and no partial
// file behind. Rows are streamed to the file page by page: memory stays bounded whatever
// the number of rows, provided large tables supply their rows through a generator.
//
// Every failure is a vq::Errore with one of the numbers below and an Italian description
// naming the table, the row (1-based) and the column concerned.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace jetwriter {

// Error numbers of the writer.
inline constexpr std::int32_t kErrSpecifica = 20001;  // malformed description: names, types, sizes
inline constexpr std::int32_t kErrValore = 20002;     // a value that does not fit its column
inline constexpr std::int32_t kErrCodifica = 20003;   // text not representable in the code page
inline constexpr std::int32_t kErrFile = 20004;       // the output cannot be written
inline constexpr std::int32_t kErrJson = 20005;       // the JSON text cannot be read

enum class Formato { Jet3, Jet4 };

enum class Tipo { Byte, Integer, Long, Single, Double, Currency, DateTime, Boolean, Text, Memo };

// Currency: a signed 64-bit count of ten-thousandths (45.30 is 453000).
struct Valuta {
    std::int64_t decimillesimi = 0;
    friend bool operator==(const Valuta&, const Valuta&) = default;
};

// An automation date (days since 30 December 1899, fraction = time of day).
struct Data {
    double giorni = 0;
    friend bool operator==(const Data&, const Data&) = default;
};

// One value of a row. std::monostate is Null. Which alternatives a column accepts:
//   byte, integer, long: std::int64_t (or a double with no fractional part)
//   single, double:      double or std::int64_t
//   currency:            Valuta, std::int64_t, double (rounded to 4 places) or a decimal
//                        text such as "-12.3456" (exact; more than 4 places is an error)
//   datetime:            Data, a double (automation date) or text "YYYY-MM-DD" /
//                        "YYYY-MM-DDTHH:MM:SS"
//   boolean:             bool (never Null, as in Jet)
//   text, memo:          std::string in UTF-8
// An autonumber column given Null takes the next number.
using Valore = std::variant<std::monostate, bool, std::int64_t, double, Valuta, Data, std::string>;
using Riga = std::vector<Valore>;

struct Colonna {
    std::string nome;  // UTF-8, 1..64 characters, unique in the table (any case)
    Tipo tipo = Tipo::Long;
    int dimensione = 255;    // text only: 1..255 characters
    bool contatore = false;  // autonumber (long only)
};

struct Tabella {
    std::string nome;  // UTF-8, 1..64 characters, unique in the database (any case)
    std::vector<Colonna> colonne;
    std::vector<Riga> righe;  // written first
    // Optional row source for large tables, used after `righe`: called with the row
    // index (0-based, counting only generated rows) and a row to fill; returns false when
    // there are no more rows. It must be repeatable: Scrivi may be called more than once.
    std::function<bool(std::int64_t indice, Riga& riga)> generatore;
};

struct Specifica {
    Formato formato = Formato::Jet3;
    int codePage = 1252;   // Jet 3: the code page of every text in the file
    std::string password;  // UTF-8, at most 20 characters; empty = no password
    // Creation date stored in the header (Jet 4 mixes it into the password). Unset: now.
    std::optional<double> dataCreazione;
    std::vector<Tabella> tabelle;
};

// Write the database to `destinazione`, replacing it atomically.
void Scrivi(const Specifica& specifica, const std::filesystem::path& destinazione);

// Read a description in the JSON form of the command jet-writer:
//   {"format": "jet3"|"jet4", "code_page": 1252, "password": "...", "creation_date": "...",
//    "tables": [{"name": "...", "columns": [{"name": "...", "type": "long",
//                "autonumber": true, "size": 255}], "rows": [[...], ...]}]}
// Numbers, decimal texts for currency, ISO texts or numbers for dates, true/false, null.
Specifica SpecificaDaJson(std::string_view json);
Specifica SpecificaDaFileJson(const std::filesystem::path& file);

// Names of types and formats as they appear in the JSON form.
std::string_view NomeTipo(Tipo tipo);
std::optional<Tipo> TipoDaNome(std::string_view nome);

// ---- The Mirtesa household --------------------------------------------------------

// The host's database password.
inline constexpr const char* kPasswordMirtesa = "604kmr73";

struct OpzioniMirtesa {
    std::int64_t operazioni = 3000;  // 0 writes the empty template ("mirtesa.dat")
    std::uint64_t seme = 1;          // same seed, same file
    int versione = 2;                // the data-format version in table Versione
    Formato formato = Formato::Jet3;
    std::string password = kPasswordMirtesa;
};

// The Mirtesa database: tables Conti (IDConto, Descrizione), TabellaCassa (IDCassa,
// Cassa, IDConto), Operazioni (IDMovimento, IDCassa, Data, Causale, Euro, Totale£,
// Bancomat, ContoCorrente, Carta, NoStatistiche) and Versione (versione). Transactions
// are generated row by row (bounded memory for any count), dated over several years in
// date order with several transactions on the same day; a few have a Null description
// or Null amounts; Totale£ is the euro amount at 1936.27 lire, rounded to whole lire.
Specifica DemoMirtesa(const OpzioniMirtesa& opzioni);
void ScriviDemoMirtesa(const OpzioniMirtesa& opzioni, const std::filesystem::path& destinazione);

// The command-line options of a demo household, shared by the programs that write one:
// "--operazioni N", "--seme S", "--versione V", "--formato jet3|jet4", "--password P".
// OpzioneMirtesa tells whether `nome` is one of them (each takes a value);
// ImpostaOpzioneMirtesa stores its value, error 5 naming the option for a bad value.
bool OpzioneMirtesa(std::string_view nome);
void ImpostaOpzioneMirtesa(std::string_view nome, std::string_view valore, OpzioniMirtesa& opzioni);

// Lire per euro.
inline constexpr double kLirePerEuro = 1936.27;

}  // namespace jetwriter
