// A light reading of Jet SQL text: enough to know which tables a query uses (so only
// those are loaded) and what each column of the select list computes (so an aggregate
// keeps the Jet type of the column it aggregates). It never rewrites the text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace jet {

struct Token {
    enum class Tipo { Parola, Nome, Numero, Stringa, Simbolo } tipo;
    std::string testo;       // name without brackets/quotes; a symbol as written
    std::size_t inizio = 0;  // byte offset in the SQL text
    std::size_t fine = 0;
};

// Splits SQL text into tokens; comments and blanks are skipped. [Bracketed] and
// "quoted" names become Nome tokens, bare words Parola tokens.
std::vector<Token> Tokenizza(std::string_view sql);

// Names of the tables in the FROM clauses of the text (subqueries included), in order
// of appearance, each once (compared without regard to ASCII case).
std::vector<std::string> TabelleUsate(std::string_view sql);
// The same on the tokens of the text, for a caller that has them already.
std::vector<std::string> TabelleUsate(const std::vector<Token>& token);

// One item of the outermost select list.
struct ColonnaSelezione {
    // "sum", "min", "max", "avg", "first", "last" (lower case), or "dateserial" for a
    // date built by DateSerial; empty for anything else
    std::string aggregato;
    std::string argomento;  // SQL text of the aggregated expression when aggregato is set
    bool alias = false;     // named with "as"
};

// The items of the outermost select list (empty when the list holds "*" or cannot be
// read), and the offset of the outermost FROM keyword (npos when there is none).
struct Selezione {
    std::vector<ColonnaSelezione> colonne;
    std::size_t inizioFrom = std::string_view::npos;
};
Selezione AnalizzaSelezione(std::string_view sql);
// The same on the tokens of `sql` (Tokenizza(sql)), for a caller that has them already.
Selezione AnalizzaSelezione(std::string_view sql, const std::vector<Token>& token);

// The few pieces of Jet syntax that SQLite reads otherwise, rewritten; the rest of the
// text is kept byte for byte:
//   #m/d/yyyy#, #yyyy-mm-dd#, with an optional time "h:mm[:ss] [AM|PM]" -> the automation
//     date as a number (a literal that is not a valid date is left for the parser to refuse)
//   a & b -> a || b (text concatenation)
//   LIKE 'pattern' -> Jet's wildcards * ? and [c] as LIKE '...' ESCAPE '\'
std::string TraduciJet(std::string_view sql);

}  // namespace jet
