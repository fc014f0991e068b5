// vqUtilita: error reporting and the log.
#include <util/vqUtilita.h>

#include "interno.h"

#include <shell/messagebox.h>
#include <vq/errore.h>
#include <vq/file.h>

#include <array>
#include <cerrno>
#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The box's text for error number n: error 52 always shows its fixed text.
std::string TestoErrore(const vq::ErroreCorrente& e) {
    if (e.numero == 52) return "Impossibile leggere l'unit\u00e0 specificata.";
    return e.descrizione;
}

// "Errore " and the number written with its sign position: a blank ahead of zero and of
// positive numbers, the minus sign ahead of negative ones ("Errore  53", "Errore -5").
std::string TitoloErrore(std::int32_t numero) {
    return std::string("Errore ") + (numero >= 0 ? " " : "") + std::to_string(numero);
}

void Mostra(const std::string& testo) {
    const vq::ErroreCorrente& e = vq::Err();
    shell::Mostra(testo, TitoloErrore(e.numero), shell::MB_OK | shell::MB_ICONINFORMATION);
    vq::CancellaErrore();
}

struct RigaErrore {
    std::int32_t numero;
    std::string_view testo;
};

// The Italian texts of the runtime's errors, as they have always been shown (rows 10
// and 76 end with a blank).
constexpr std::array<RigaErrore, 87> kTabellaErrori{{
    {3, "Return senza GoSub"},
    {5, "Chiamata di routine o argomento non valido"},
    {6, "Overflow"},
    {7, "Memoria esaurita"},
    {9, "Indice non compreso nell'intervallo"},
    {10, "Questa matrice \u00e8 fissa o temporaneamente bloccata "},
    {11, "Divisione per zero"},
    {13, "Tipo non corrispondente"},
    {14, "Spazio stringa esaurito"},
    {16, "Espressione troppo complessa"},
    {17, "Impossibile eseguire l'operazione richiesta"},
    {18, "Interruzione dell'utente"},
    {20, "Resume senza Error"},
    {28, "Spazio dello stack esaurito"},
    {35, "Sub o Function non definita"},
    {47, "Troppe applicazioni client DLL"},
    {48, "Errore di caricamento DLL"},
    {49, "Convenzione di chiamata DLL non valida"},
    {51, "Errore interno"},
    {52, "Nome o numero di file non valido"},
    {53, "Impossibile trovare il file"},
    {54, "Modalit\u00e0 file non valida"},
    {55, "File gi\u00e0 aperto"},
    {57, "Errore di I/O periferica"},
    {58, "File gi\u00e0 esistente"},
    {59, "Lunghezza del record non valida"},
    {61, "Disco pieno"},
    {62, "Input oltre la fine del file"},
    {63, "Numero di record non valido"},
    {67, "Troppi file"},
    {68, "Periferica non disponibile"},
    {70, "Autorizzazione negata"},
    {71, "Disco non pronto"},
    {74, "Impossibile rinominare con unit\u00e0 diversa"},
    {75, "Errore di accesso al percorso/file"},
    {76, "Impossibile trovare il percorso "},
    {91, "Variabile oggetto o variabile del blocco With non impostata"},
    {92, "Ciclo For non inizializzato"},
    {93, "Stringa campione non valida"},
    {94, "Utilizzo non valido di Null"},
    {96,
     "Impossibile elaborare gli eventi dell'oggetto perch\u00e9 l'oggetto sta gi\u00e0 generando "
     "eventi per il numero massimo di riceventi supportato"},
    {97,
     "Impossibile richiamare la funzione Friend per un oggetto che non \u00e8 un'istanza della "
     "classe di definizione"},
    {98,
     "Una chiamata a una propriet\u00e0 o a un metodo non pu\u00f2 includere un riferimento a un "
     "oggetto privato, n\u00e9 come argomento n\u00e9 come valore restituito"},
    {321, "Formato di file non valido"},
    {322, "Impossibile creare il file temporaneo necessario"},
    {325, "Formato non valido nel file di risorse"},
    {380, "Valore di propriet\u00e0 non valido"},
    {381, "Indice della matrice di propriet\u00e0 non valido"},
    {382, "Set non supportata in fase di esecuzione"},
    {383, "Set non supportata (propriet\u00e0 di sola lettura)"},
    {385, "Necessario indice della matrice di propriet\u00e0"},
    {387, "Set non ammessa"},
    {393, "Get non supportata in fase di esecuzione"},
    {394, "Get non supportata (propriet\u00e0 di sola scrittura)"},
    {422, "Impossibile trovare la propriet\u00e0"},
    {423, "Impossibile trovare propriet\u00e0 o metodo"},
    {424, "Necessario oggetto"},
    {429, "Il componente ActiveX non pu\u00f2 creare l'oggetto"},
    {430, "La classe non supporta l'automazione o l'interfaccia prevista."},
    {432, "Impossibile trovare nome di file o nome di classe durante un'operazione di automazione"},
    {438, "Propriet\u00e0 o metodo non supportati dall'oggetto"},
    {440, "Errore di automazione"},
    {442,
     "Il collegamento alla libreria dei tipi o alla libreria degli oggetti per il processo remoto "
     "non \u00e8 pi\u00f9 disponibile. Scegliere OK per rimuovere il riferimento."},
    {443, "L'oggetto di automazione non ha un valore predefinito"},
    {445, "Azione non valida per l'oggetto"},
    {446, "L'oggetto non supporta argomenti predefiniti"},
    {447, "L'oggetto non supporta le impostazioni internazionali correnti"},
    {448, "Impossibile trovare argomento predefinito"},
    {449, "Argomento non facoltativo"},
    {450, "Numero errato di argomenti o assegnazione di propriet\u00e0 non valida"},
    {451,
     "La routine Property Let non \u00e8 stata definita e la routine Property Get non ha "
     "restituito un oggetto"},
    {452, "Ordinale non valido"},
    {453, "Impossibile trovare nella DLL la funzione specificata"},
    {454, "Impossibile trovare la risorsa codice"},
    {455, "Errore di blocco risorsa codice"},
    {457, "Questa chiave \u00e8 gi\u00e0 associata ad un elemento dell'insieme"},
    {458, "La variabile utilizza un tipo di automazione non supportato in Visual Basic"},
    {459, "L'oggetto o la classe non supporta il gruppo di eventi"},
    {460, "Formato degli Appunti non valido"},
    {461, "Impossibile trovare il metodo o il membro dei dati"},
    {462, "Il computer server remoto non esiste o non \u00e8 disponibile."},
    {463, "Classe non registrata nel computer locale."},
    {481, "Immagine non valida"},
    {482, "Errore della stampante"},
    {735, "Impossibile salvare il file in TEMP"},
    {744, "Impossibile trovare il testo di ricerca"},
    {746, "Sostituzioni troppo lunghe"},
}};

}  // namespace

void vqUtilita::PrintErrore() { Mostra(TestoErrore(vq::Err())); }

void vqUtilita::PrintErroreEx(const std::string& inizio) {
    Mostra(inizio + ": " + TestoErrore(vq::Err()));
}

std::string vqUtilita::MessaggioErroreITA(std::int32_t codice) {
    for (const RigaErrore& riga : kTabellaErrori)
        if (riga.numero == codice) return std::string(riga.testo);
    return vq::Err().descrizione;
}

// ---- ScriviLog ---------------------------------------------------------------------

namespace {

// The log is written in the Windows-1252 code page. A character that the code page
// cannot show becomes "?", as the system's own conversion does; so does a byte that is
// not valid UTF-8.
std::string InWindows1252(const std::string& utf8) {
    iconv_t cd = ::iconv_open("WINDOWS-1252", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) vq::Solleva(51);
    std::string out;
    out.reserve(utf8.size());
    char* in = const_cast<char*>(utf8.data());
    std::size_t inLeft = utf8.size();
    char buf[256];
    while (inLeft > 0) {
        char* o = buf;
        std::size_t oLeft = sizeof buf;
        const std::size_t r = ::iconv(cd, &in, &inLeft, &o, &oLeft);
        out.append(buf, static_cast<std::size_t>(o - buf));
        if (r != static_cast<std::size_t>(-1)) continue;
        if (errno == E2BIG) continue;
        // EILSEQ or EINVAL: skip one character (a lead byte and its continuation bytes).
        out += '?';
        std::size_t salto = 1;
        while (salto < inLeft && (static_cast<unsigned char>(in[salto]) & 0xC0U) == 0x80U &&
               salto < 4)
            ++salto;
        in += salto;
        inLeft -= salto;
    }
    ::iconv_close(cd);
    return out;
}

// "yyyy-mmm-dd hh:mm:ss " in local time, "mmm" being the month's short name in the
// user's language (LC_TIME / LANG), or in English when that language is not available.
std::string MarcaTemporale() {
    const std::time_t adesso = std::time(nullptr);
    std::tm t{};
    if (::localtime_r(&adesso, &t) == nullptr) vq::Solleva(5);
    std::string mese;
    locale_t loc = ::newlocale(LC_TIME_MASK, "", static_cast<locale_t>(nullptr));
    if (loc == static_cast<locale_t>(nullptr))
        loc = ::newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(nullptr));
    if (loc != static_cast<locale_t>(nullptr)) {
        mese = ::nl_langinfo_l(static_cast<nl_item>(ABMON_1 + t.tm_mon), loc);
        ::freelocale(loc);
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%s-%02d %02d:%02d:%02d ", t.tm_year + 1900, mese.c_str(),
                  t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
    return buf;
}

void Accoda(const std::string& file, const std::string& dati) {
    vq::Descrittore fd(::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666));
    if (fd.get() < 0) vq::SollevaErrno(errno);
    if (const int e = vq::ScriviTutto(fd.get(), dati); e != 0) vq::SollevaErrno(e);
    if (const int e = fd.Chiudi(); e != 0) vq::SollevaErrno(e);
}

// Start the log afresh: the new content is written beside the file and renamed over it,
// so a failure leaves the earlier log as it was. A file that is not there yet is simply
// created. A log reached through a symbolic link is replaced where the link points, as
// appending writes there too: the link itself stays. Only a log this user may write is
// replaced (70 otherwise, the file untouched); it keeps its permissions.
void Sostituisci(const std::string& percorso, const std::string& dati) {
    const std::string file = vq::SeguiCollegamento(percorso);
    struct stat st {};
    const bool esiste = ::stat(file.c_str(), &st) == 0;
    if (esiste && S_ISDIR(st.st_mode)) vq::Solleva(75);
    vq::SostituzioneAtomica temporaneo(file, file + ".vq", ".tmp");
    if (temporaneo.esito() != 0) vq::SollevaErrno(temporaneo.esito());
    if (const int e = vq::ScriviTutto(temporaneo.fd(), dati); e != 0) vq::SollevaErrno(e);
    if (const int codice = temporaneo.Conferma(); codice != 0) vq::SollevaErrno(codice);
}

}  // namespace

bool vqUtilita::ScriviLog(const std::string& testo, const std::optional<std::string>& filename,
                          bool data, bool CancellaPrecedente) {
    try {
        std::string file;
        if (!filename) {
            // The program's folder already ends in "/".
            file = vq::utilita::CartellaProgramma() + vq::utilita::NomeProgramma() + ".log";
        } else {
            file = vq::utilita::TogliSpazi(*filename);
            if (file.empty()) vq::Solleva(52);
        }
        std::string riga = data ? MarcaTemporale() : std::string();
        riga += testo;
        riga += "\r\n";
        const std::string dati = InWindows1252(riga);
        if (CancellaPrecedente) Sostituisci(file, dati);
        else Accoda(file, dati);
        vq::CancellaErrore();
        return true;
    } catch (...) {
        vq::ImpostaErroreDa(std::current_exception());
        return false;
    }
}
