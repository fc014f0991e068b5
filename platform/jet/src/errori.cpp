#include "jet/errori.h"

#include <string>

namespace jet {
namespace {

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
    vq::Solleva(kErrFileNonTrovato, "Impossibile trovare il file '" + std::string(percorso) + "'.");
}

void ErrorePassword() { vq::Solleva(kErrPassword, "Password non valida."); }

void ErroreFormato(std::string_view percorso, std::string_view motivo) {
    vq::Solleva(
        kErrFormato,
        Con("Formato di database '" + std::string(percorso) + "' non riconosciuto.", motivo));
}

void ErroreDanneggiato(std::string_view percorso, std::string_view motivo) {
    vq::Solleva(kErrDanneggiato, Con("Impossibile aprire il database '" + std::string(percorso) +
                                         "'. Il file potrebbe non essere un database riconosciuto "
                                         "oppure essere danneggiato.",
                                     motivo));
}

void ErrorePermesso(std::string_view percorso) {
    vq::Solleva(kErrPermesso,
                "Impossibile aprire il file '" + std::string(percorso) +
                    "'. Il file è aperto in modo esclusivo da un altro utente oppure è "
                    "necessaria l'autorizzazione per visualizzarne i dati.");
}

void ErroreTabella(std::string_view nome) {
    vq::Solleva(kErrTabella,
                "Impossibile trovare la tabella o la query di input '" + std::string(nome) +
                    "'. Verificare che esista e che il nome sia digitato correttamente.");
}

void ErroreParametri(std::string_view nome) {
    vq::Solleva(kErrParametri, "Parametri insufficienti. Previsto 1 (nome sconosciuto: '" +
                                   std::string(nome) + "').");
}

void ErroreSintassi(std::string_view dettaglio) {
    vq::Solleva(kErrSintassi, Con("Errore di sintassi nell'espressione della query.", dettaglio));
}

void ErroreFunzione(std::string_view nome) {
    vq::Solleva(kErrFunzione,
                "Funzione '" + std::string(nome) + "' non definita nell'espressione.");
}

void ErroreCaratteriDopo() {
    vq::Solleva(kErrCaratteriDopo,
                "Sono stati trovati caratteri dopo la fine dell'istruzione SQL.");
}

void ErroreIstruzione() {
    vq::Solleva(kErrIstruzione,
                "Istruzione SQL non valida. Prevista 'DELETE', 'INSERT', 'PROCEDURE', 'SELECT' o "
                "'UPDATE'.");
}

void ErroreCampoAmbiguo(std::string_view nome) {
    vq::Solleva(kErrCampoAmbiguo, "Il campo specificato '" + std::string(nome) +
                                      "' può fare riferimento a più tabelle elencate nella "
                                      "clausola FROM dell'istruzione SQL.");
}

void ErroreOperazione(std::string_view motivo) {
    vq::Solleva(kErrOperazione, Con("Operazione non valida.", motivo));
}

void ErroreElemento(std::string_view nome) {
    vq::Solleva(kErrElemento, "Elemento '" + std::string(nome) + "' non trovato nell'insieme.");
}

void ErroreNessunRecord() { vq::Solleva(kErrNessunRecordCorrente, "Nessun record corrente."); }

void ErroreOggetto() { vq::Solleva(kErrOggetto, "Oggetto non valido o non più impostato."); }

void ErroreArgomento(std::string_view motivo) {
    vq::Solleva(kErrArgomento, Con("Argomento non valido.", motivo));
}

}  // namespace jet
