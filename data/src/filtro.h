// The transaction filter of ClsDatiMirtesa and the builder that turns it into Jet SQL.
//
// Plain C++ with no automation types: the object keeps one Filtro and hands it to
// CostruisciQuery whenever a query runs, so count, totals and rows asked one after the
// other with the same filter cover the same transactions.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "vq/data.h"

namespace tessadati {

// A filter value that is not set holds -1 (ids and yes/no flags) or the date 0.
inline constexpr std::int16_t kNonImpostato = -1;

struct Filtro {
    std::string f_mult_conto;  // ";"-separated account ids; blank = not set
    std::string f_mult_cassa;  // ";"-separated cash-code ids; blank = not set
    std::int16_t f_conto = kNonImpostato;
    std::int16_t f_cassa = kNonImpostato;
    std::int16_t f_bancomat = kNonImpostato;
    std::int16_t f_conto_corrente = kNonImpostato;
    std::int16_t f_carta = kNonImpostato;
    std::int16_t f_no_stat = kNonImpostato;
    vq::DATA f_data_iniziale = 0;
    vq::DATA f_data_finale = 0;

    // Back to "no filter at all".
    void Pulisci();

    // ImpostaConto / ImpostaCassa: narrowed to 16 bits; outside -32768..32767 error 6
    // and the field keeps its value.
    void ImpostaConto(std::int32_t id);
    void ImpostaCassa(std::int32_t id);

    // A yes/no filter: true keeps only the transactions whose flag is true, false removes
    // the condition (there is no way to ask for the flag being false).
    static std::int16_t Flag(bool attivo) noexcept { return attivo ? 1 : kNonImpostato; }
};

// The three queries over the same set of transactions.
enum TipoQuery : std::int32_t {
    kQueryRighe = 0,      // the transactions themselves
    kQueryTotali = 1,     // sums of the euro and lire amounts
    kQueryConteggio = 2,  // the number of transactions
};

// Appended to the row query so that rows come in date order, then by transaction id.
inline constexpr std::string_view kOrdinamentoRighe =
    " order by Operazioni.Data, Operazioni.IDMovimento ";

// The SQL text of query `tipo` for the current filter. Another kind gives the from clause
// and the conditions without a select list. Fails with error 6 for an id list of more
// than 32767 elements, with kErrIdNonValido for a list element that is not an integer,
// and with error 5 for a period limit outside the valid date range.
std::string CostruisciQuery(const Filtro& filtro, std::int32_t tipo);

// Turns an id list into OR terms over `colonna`, appended to `prefisso` (joined by " OR "
// when the prefix is not empty). A blank list gives the prefix unchanged.
std::string CondizioneMultipla(const std::string& prefisso, std::string_view colonna,
                               std::string_view lista);

// Puts the connector in front of the next condition: " Where " first, " And " after.
void AggiungiWhereAnd(std::string& condizione);

// The day of `d` as a Jet DateSerial call; the time of day is dropped.
std::string DataSQL(vq::DATA d);

// Leading and trailing blanks (spaces only, not tabs) removed.
std::string_view Trim(std::string_view testo) noexcept;

// A list element that is not a decimal integer: it would otherwise be pasted into the
// SQL text as it stands. The number and text are those the engine gives for a malformed
// query expression.
inline constexpr std::int32_t kErrIdNonValido = 3075;

// Longest id list: its elements are counted by a 16-bit counter.
inline constexpr std::size_t kMaxElementiLista = 32767;

}  // namespace tessadati
