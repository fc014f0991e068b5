#include "jet/errori.h"

#include <string>

namespace jet {
namespace {

[[noreturn]] void Alza(std::int32_t numero, std::string descrizione) {
    vq::Solleva(numero, std::move(descrizione));
}

std::string Con(std::string_view testo, std::string_view motivo) {
    std::string s(testo);
    if (!motivo.empty()) {
        s += " (";
        s += motivo;
        s += ")";
    }
    return s;
}

}  // namespace

void ErroreFileNonTrovato(std::string_view percorso) {
    Alza(kErrFileNonTrovato, "Impossibile trovare il file '" + std::string(percorso) + "'.");
}

void ErrorePassword() { Alza(kErrPassword, "Password non valida."); }

void ErroreFormato(std::string_view percorso, std::string_view motivo) {
    Alza(kErrFormato,
         Con("Formato di database '" + std::string(percorso) + "' non riconosciuto.", motivo));
}

void ErroreDanneggiato(std::string_view percorso, std::string_view motivo) {
    Alza(kErrDanneggiato,
         Con("Impossibile aprire il database '" + std::string(percorso) +
                 "'. Il file potrebbe non essere un database riconosciuto oppure essere danneggiato.",
             motivo));
}

void ErrorePermesso(std::string_view percorso) {
    Alza(kErrPermesso, "Impossibile aprire il file '" + std::string(percorso) +
                           "'. Il file è aperto in modo esclusivo da un altro utente oppure è "
                           "necessaria l'autorizzazione per visualizzarne i dati.");
}

void ErroreTabella(std::string_view nome) {
    Alza(kErrTabella, "Impossibile trovare la tabella o la query di input '" + std::string(nome) +
                          "'. Verificare che esista e che il nome sia digitato correttamente.");
}

void ErroreParametri(std::string_view nome) {
    Alza(kErrParametri,
         "Parametri insufficienti. Previsto 1 (nome sconosciuto: '" + std::string(nome) + "').");
}

void ErroreSintassi(std::string_view dettaglio) {
    Alza(kErrSintassi, Con("Errore di sintassi nell'espressione della query.", dettaglio));
}

void ErroreFunzione(std::string_view nome) {
    Alza(kErrFunzione, "Funzione '" + std::string(nome) + "' non definita nell'espressione.");
}

void ErroreCaratteriDopo() {
    Alza(kErrCaratteriDopo, "Sono stati trovati caratteri dopo la fine dell'istruzione SQL.");
}

void ErroreIstruzione() {
    Alza(kErrIstruzione, "Istruzione SQL non valida. Prevista 'DELETE', 'INSERT', 'PROCEDURE', 'SELECT' o 'UPDATE'.");
}

void ErroreCampoAmbiguo(std::string_view nome) {
    Alza(kErrCampoAmbiguo, "Il campo specificato '" + std::string(nome) +
                               "' può fare riferimento a più tabelle elencate nella clausola FROM dell'istruzione SQL.");
}

void ErroreOperazione(std::string_view motivo) {
    Alza(kErrOperazione, Con("Operazione non valida.", motivo));
}

void ErroreElemento(std::string_view nome) {
    Alza(kErrElemento, "Elemento '" + std::string(nome) + "' non trovato nell'insieme.");
}

void ErroreNessunRecord() { Alza(kErrNessunRecordCorrente, "Nessun record corrente."); }

void ErroreOggetto() { Alza(kErrOggetto, "Oggetto non valido o non più impostato."); }

void ErroreArgomento(std::string_view motivo) {
    Alza(kErrArgomento, Con("Argomento non valido.", motivo));
}

}  // namespace jet
