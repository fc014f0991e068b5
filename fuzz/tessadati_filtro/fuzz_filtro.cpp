// Fuzz target: any filter state, lists included, either builds SQL text in which the
// lists contributed nothing but integer ids, or fails with a numbered error.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "filtro.h"
#include "vq/errore.h"

namespace {

// Removes every occurrence of `parte` from `s`.
void Togli(std::string& s, std::string_view parte) {
    for (auto pos = s.find(parte); pos != std::string::npos; pos = s.find(parte, pos))
        s.erase(pos, parte.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dati, std::size_t n) {
    if (n < 12) return 0;
    tessadati::Filtro f;
    auto i16 = [&](std::size_t k) {
        return static_cast<std::int16_t>(dati[k] | (dati[k + 1] << 8));
    };
    f.f_conto = i16(0);
    f.f_cassa = i16(2);
    f.f_bancomat = (dati[4] & 1) ? 1 : -1;
    f.f_conto_corrente = (dati[4] & 2) ? 1 : -1;
    f.f_carta = (dati[4] & 4) ? 1 : -1;
    f.f_no_stat = (dati[4] & 8) ? 1 : -1;
    const std::int32_t tipo = dati[5] % 4;
    std::int16_t g1 = i16(6), g2 = i16(8);
    f.f_data_iniziale = (dati[10] & 1) ? g1 + dati[11] / 256.0 : 0;
    f.f_data_finale = (dati[10] & 2) ? g2 : 0;

    // The rest: the account list, a 0xFF byte, the cash-code list.
    std::string resto(reinterpret_cast<const char*>(dati + 12), n - 12);
    const auto sep = resto.find('\xFF');
    f.f_mult_conto = resto.substr(0, sep);
    if (sep != std::string::npos) f.f_mult_cassa = resto.substr(sep + 1);

    std::string sql;
    try {
        sql = tessadati::CostruisciQuery(f, tipo);
    } catch (const vq::Errore& e) {
        if (e.numero() != tessadati::kErrIdNonValido && e.numero() != vq::kErrOverflow &&
            e.numero() != vq::kErrChiamataNonValida)
            std::abort();
        return 0;
    }
    if (tessadati::Trim(f.f_mult_conto).empty() && tessadati::Trim(f.f_mult_cassa).empty())
        return 0;

    // With a list set, the condition holds nothing of the caller's text but the ids:
    // take away every fragment of our own and what is left is digits, signs and blanks.
    const auto where = sql.find(" Where ");
    if (where == std::string::npos) std::abort();
    std::string resto_sql = sql.substr(where);
    for (std::string_view parte :
         {" Where ", " And ", " OR ", "Conti.IDConto=", "TabellaCassa.IDCassa=", " ( ", " ) ",
          "Operazioni.Bancomat= True", "Operazioni.ContoCorrente = True", "Operazioni.Carta= True",
          "Operazioni.NoStatistiche= True", "Operazioni.Data between",
          "Operazioni.Data >=", "Operazioni.Data <=", "DateSerial(", ")", ",", "and"})
        Togli(resto_sql, parte);
    for (char c : resto_sql)
        if (!(c == ' ' || c == '-' || (c >= '0' && c <= '9'))) std::abort();
    return 0;
}
