// The per-thread current error and the runtime's own error texts.
#include "vq/errore.h"

#include <algorithm>
#include <array>
#include <new>
#include <utility>

namespace vq {

Errore::Errore(std::int32_t numero, std::string descrizione)
    : numero_(numero), descrizione_(std::move(descrizione)) {}

namespace {

thread_local ErroreCorrente tCorrente;

struct Riga {
    std::int32_t numero;
    const char* testo;
};

// The runtime's Italian messages, sorted by number. Rows 10 and 76 end with a blank,
// as the runtime writes them.
constexpr std::array kTesti = {
    Riga{3, "Return senza GoSub"},
    Riga{5, "Chiamata di routine o argomento non valido"},
    Riga{6, "Overflow"},
    Riga{7, "Memoria esaurita"},
    Riga{9, "Indice non compreso nell'intervallo"},
    Riga{10, "Questa matrice è fissa o temporaneamente bloccata "},
    Riga{11, "Divisione per zero"},
    Riga{13, "Tipo non corrispondente"},
    Riga{14, "Spazio stringa esaurito"},
    Riga{16, "Espressione troppo complessa"},
    Riga{17, "Impossibile eseguire l'operazione richiesta"},
    Riga{18, "Interruzione dell'utente"},
    Riga{20, "Resume senza Error"},
    Riga{28, "Spazio dello stack esaurito"},
    Riga{35, "Sub o Function non definita"},
    Riga{47, "Troppe applicazioni client DLL"},
    Riga{48, "Errore di caricamento DLL"},
    Riga{49, "Convenzione di chiamata DLL non valida"},
    Riga{51, "Errore interno"},
    Riga{52, "Nome o numero di file non valido"},
    Riga{53, "Impossibile trovare il file"},
    Riga{54, "Modalità file non valida"},
    Riga{55, "File già aperto"},
    Riga{57, "Errore di I/O periferica"},
    Riga{58, "File già esistente"},
    Riga{59, "Lunghezza del record non valida"},
    Riga{61, "Disco pieno"},
    Riga{62, "Input oltre la fine del file"},
    Riga{63, "Numero di record non valido"},
    Riga{67, "Troppi file"},
    Riga{68, "Periferica non disponibile"},
    Riga{70, "Autorizzazione negata"},
    Riga{71, "Disco non pronto"},
    Riga{74, "Impossibile rinominare con unità diversa"},
    Riga{75, "Errore di accesso al percorso/file"},
    Riga{76, "Impossibile trovare il percorso "},
    Riga{91, "Variabile oggetto o variabile del blocco With non impostata"},
    Riga{92, "Ciclo For non inizializzato"},
    Riga{93, "Stringa campione non valida"},
    Riga{94, "Utilizzo non valido di Null"},
    Riga{96,
         "Impossibile elaborare gli eventi dell'oggetto perché l'oggetto sta già generando "
         "eventi per il numero massimo di riceventi supportato"},
    Riga{97,
         "Impossibile richiamare la funzione Friend per un oggetto che non è un'istanza "
         "della classe di definizione"},
    Riga{98,
         "Una chiamata a una proprietà o a un metodo non può includere un riferimento a un "
         "oggetto privato, né come argomento né come valore restituito"},
    Riga{321, "Formato di file non valido"},
    Riga{322, "Impossibile creare il file temporaneo necessario"},
    Riga{325, "Formato non valido nel file di risorse"},
    Riga{380, "Valore di proprietà non valido"},
    Riga{381, "Indice della matrice di proprietà non valido"},
    Riga{382, "Set non supportata in fase di esecuzione"},
    Riga{383, "Set non supportata (proprietà di sola lettura)"},
    Riga{385, "Necessario indice della matrice di proprietà"},
    Riga{387, "Set non ammessa"},
    Riga{393, "Get non supportata in fase di esecuzione"},
    Riga{394, "Get non supportata (proprietà di sola scrittura)"},
    Riga{422, "Impossibile trovare la proprietà"},
    Riga{423, "Impossibile trovare proprietà o metodo"},
    Riga{424, "Necessario oggetto"},
    Riga{429, "Il componente ActiveX non può creare l'oggetto"},
    Riga{430, "La classe non supporta l'automazione o l'interfaccia prevista."},
    Riga{432,
         "Impossibile trovare nome di file o nome di classe durante un'operazione di "
         "automazione"},
    Riga{438, "Proprietà o metodo non supportati dall'oggetto"},
    Riga{440, "Errore di automazione"},
    Riga{442,
         "Il collegamento alla libreria dei tipi o alla libreria degli oggetti per il "
         "processo remoto non è più disponibile. Scegliere OK per rimuovere il riferimento."},
    Riga{443, "L'oggetto di automazione non ha un valore predefinito"},
    Riga{445, "Azione non valida per l'oggetto"},
    Riga{446, "L'oggetto non supporta argomenti predefiniti"},
    Riga{447, "L'oggetto non supporta le impostazioni internazionali correnti"},
    Riga{448, "Impossibile trovare argomento predefinito"},
    Riga{449, "Argomento non facoltativo"},
    Riga{450, "Numero errato di argomenti o assegnazione di proprietà non valida"},
    Riga{451,
         "La routine Property Let non è stata definita e la routine Property Get non ha "
         "restituito un oggetto"},
    Riga{452, "Ordinale non valido"},
    Riga{453, "Impossibile trovare nella DLL la funzione specificata"},
    Riga{454, "Impossibile trovare la risorsa codice"},
    Riga{455, "Errore di blocco risorsa codice"},
    Riga{457, "Questa chiave è già associata ad un elemento dell'insieme"},
    Riga{458, "La variabile utilizza un tipo di automazione non supportato in Visual Basic"},
    Riga{459, "L'oggetto o la classe non supporta il gruppo di eventi"},
    Riga{460, "Formato degli Appunti non valido"},
    Riga{461, "Impossibile trovare il metodo o il membro dei dati"},
    Riga{462, "Il computer server remoto non esiste o non è disponibile."},
    Riga{463, "Classe non registrata nel computer locale."},
    Riga{481, "Immagine non valida"},
    Riga{482, "Errore della stampante"},
    Riga{735, "Impossibile salvare il file in TEMP"},
    Riga{744, "Impossibile trovare il testo di ricerca"},
    Riga{746, "Sostituzioni troppo lunghe"},
};

static_assert(std::is_sorted(kTesti.begin(), kTesti.end(),
                             [](const Riga& a, const Riga& b) { return a.numero < b.numero; }),
              "the table is searched by bisection");

}  // namespace

const ErroreCorrente& Err() noexcept { return tCorrente; }

void ImpostaErrore(std::int32_t numero, std::string descrizione) {
    tCorrente.numero = numero;
    tCorrente.descrizione = std::move(descrizione);
}

void CancellaErrore() noexcept {
    tCorrente.numero = 0;
    tCorrente.descrizione.clear();
}

void Solleva(std::int32_t numero, std::string descrizione) {
    if (descrizione.empty()) descrizione = DescrizioneRuntime(numero);
    ImpostaErrore(numero, descrizione);
    throw Errore(numero, std::move(descrizione));
}

const ErroreCorrente& ImpostaErroreDa(const std::exception_ptr& e) {
    if (!e) return tCorrente;
    try {
        std::rethrow_exception(e);
    } catch (const Errore& err) {
        ImpostaErrore(err.numero(), err.descrizione());
    } catch (const std::bad_alloc&) {
        ImpostaErrore(kErrMemoria, DescrizioneRuntime(kErrMemoria));
    } catch (const std::exception& ex) {
        std::string testo = ex.what();
        if (testo.empty()) testo = DescrizioneRuntime(kErrChiamataNonValida);
        ImpostaErrore(kErrChiamataNonValida, std::move(testo));
    } catch (...) {
        ImpostaErrore(kErrChiamataNonValida, DescrizioneRuntime(kErrChiamataNonValida));
    }
    return tCorrente;
}

std::string DescrizioneRuntime(std::int32_t numero) {
    auto it = std::lower_bound(kTesti.begin(), kTesti.end(), numero,
                               [](const Riga& r, std::int32_t n) { return r.numero < n; });
    if (it != kTesti.end() && it->numero == numero) return it->testo;
    return "Errore definito dall'applicazione o dall'oggetto";
}

}  // namespace vq
