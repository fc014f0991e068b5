// The export header: the two description texts that head an exported document.
#pragma once

#include <string>

namespace travasa {

class clsInfo {
public:
    // The date range exported, as described to the user ("Dal ... al ...", "Tutto").
    std::string Periodo;
    // The selection-entry texts in list order, separated by a carriage return (code 13),
    // or "Tutti i conti\codici" when the whole list stands for every account.
    std::string Conto;

    // Empties both texts.
    void ClearValori();
};

}  // namespace travasa
