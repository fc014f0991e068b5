// Automation dates: a double counting days from 30 December 1899, the fraction being the
// time of day. Before that day the fraction counts away from zero: -1.25 is
// 29 December 1899 06:00 (day -1, a quarter of a day), so the values are not in linear
// order there. These routines follow the automation runtime's semantics exactly.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vq {

using DATA = double;  // same representation as the automation DATE

struct DataOra {
    int anno = 1899, mese = 12, giorno = 30;  // proleptic Gregorian calendar
    int ora = 0, minuto = 0, secondo = 0;
    friend bool operator==(const DataOra&, const DataOra&) = default;
};

// Valid range of automation dates: 1 January 100 to 31 December 9999.
inline constexpr double kDataMinima = -657434.0;
inline constexpr double kDataMassima = 2958465.99998843;

// DateSerial with the runtime's carry: months outside 1..12 move into the neighbouring
// years (month 13 of 2004 is January 2005, month 0 is December of the year before) and
// days outside the month move into the neighbouring months (day 0 is the last day of the
// month before, day 32 of January is 1 February). Years 0..29 mean 2000..2029 and 30..99
// mean 1930..1999, as in the runtime. Error 5 when the result leaves the valid range.
DATA DateSerial(int anno, int mese, int giorno);

// TimeSerial: the fraction of a day for h:m:s, with carry (negative allowed). Beyond a
// day the time carries into the days after 30 December 1899 (25:00 is 31 December 01:00),
// a negative time into the days before it (-1:00 is 29 December 1899 23:00, -1.958333).
// Error 5 when the result leaves the valid range.
DATA TimeSerial(int ora, int minuto, int secondo);

// Combine a calendar date (no carry: an invalid date gives std::nullopt) and a time.
std::optional<DATA> ComponiData(const DataOra& d);

// Split an automation date into its calendar date and time, rounding to the nearest
// second as the runtime does. Error 5 outside the valid range or for NaN.
DataOra ScomponiData(DATA d);

// The day part alone: the calendar day that ScomponiData gives (-1.25 gives -1, 2.75
// gives 2; 2.9999999999 gives 3, being 00:00:00 of that day once rounded to the second).
// Error 5 outside the valid range.
DATA SoloData(DATA d);

// Calendar helpers.
bool Bisestile(int anno);
int GiorniNelMese(int anno, int mese);  // mese 1..12; 0 for any other month

// Parse "YYYY-MM-DD" or "YYYY-MM-DDTHH:MM:SS" (exact, no carry); std::nullopt when invalid.
std::optional<DATA> DataDaIso(const std::string& testo);
// Format "YYYY-MM-DD" (and "THH:MM:SS" when conOra) for any valid date, before 1900 included.
std::string DataInIso(DATA d, bool conOra = false);

}  // namespace vq
