// travasa-cli: the export of the window, for scripts and for people without a desktop.
// The same start-up checks, selection entries, filter, header, XML, stylesheet copy and
// messages as the window, through the same classes; options stand for the controls.
#include <unistd.h>

#include <libxml/parser.h>
#include <libxslt/transform.h>
#include <libxslt/xsltInternals.h>
#include <libxslt/xsltutils.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "export/Avvio.h"
#include "export/Esportazione.h"
#include "export/ScritturaAtomica.h"
#include "export/Servizi.h"
#include "export/frmMainLogica.h"
#include "ole/ole.hpp"
#include "shell/messagebox.h"
#include "util/vqUtilita.h"
#include "vq/data.h"
#include "vq/errore.h"

namespace {

constexpr int kEsitoEsportato = 0;
constexpr int kEsitoErrore = 1;
constexpr int kEsitoUso = 2;
constexpr int kEsitoNessunMovimento = 3;

constexpr const char* kAiuto = R"(Uso: travasa-cli [OPZIONI]

Esporta in XML i movimenti di Mirtesa scelti per conto, codice cassa e periodo,
come la finestra "Esporta XML", senza finestra.

Scelta dei movimenti (ripetibili, nell'ordine dato):
  --tutti              tutti i conti
  --conto ID           un conto con tutti i suoi codici cassa
  --cassa ID           un codice cassa
  --dal AAAA-MM-GG     solo i movimenti da questa data
  --al AAAA-MM-GG      solo i movimenti fino a questa data

Uscita:
  -o FILE              il file XML da scrivere (senza estensione: aggiunge ".xml");
                       predefinito: estratto.xml nella cartella Documenti
  --sovrascrivi        sostituisce un file esistente (altrimenti errore)
  --senza-foglio-stile niente istruzione di foglio di stile e niente copia del foglio
  --verifica           verifica il formato dei dati durante la scrittura
  --html               scrive anche la pagina HTML ottenuta dal foglio di stile

Altro:
  --elenca             elenca i conti e, sotto ciascuno, i suoi codici cassa (id e nome)
  --help               mostra questo aiuto

Messaggi su standard error, una riga "<titolo>: <testo>".
Stato di uscita: 0 esportato, 3 nessun movimento nei filtri, 1 errore, 2 uso errato.
)";

struct Selezione {
    enum Tipo { Tutti, Conto, Cassa } tipo;
    std::int32_t id = 0;
    std::string testo;  // as given, for messages
};

struct Opzioni {
    bool elenca = false;
    std::vector<Selezione> selezioni;
    std::optional<vq::DATA> dal, al;
    std::string uscita;
    bool sovrascrivi = false;
    bool foglioStile = true;
    bool verifica = false;
    bool html = false;
};

struct ErroreUso {
    std::string testo;
};

// A box as one line on standard error.
class MessaggiConsole final : public shell::MessageBox {
public:
    int Mostra(const std::string& testo, const std::string& titolo, std::uint32_t stile) override {
        std::string riga = titolo + ": " + testo;
        for (char& c : riga)
            if (c == '\r' || c == '\n') c = ' ';
        std::fflush(stdout);
        std::fprintf(stderr, "%s\n", riga.c_str());
        return shell::PulsantePredefinito(stile);
    }
    void Beep() override {}
    void CursoreAttesa(bool) override {}
};

// The save dialog of the command line: the file is -o's, chosen without asking.
class DialogoOpzione final : public travasa::DialogoSalva {
public:
    DialogoOpzione(std::string file, bool sovrascrivi)
        : file_(std::move(file)), sovrascrivi_(sovrascrivi) {}
    void ShowSave(travasa::ImpostazioniDialogo& d) override {
        std::string file = file_.empty() ? d.InitDir + "estratto" : file_;
        if (vqUtilita::EstraiEstensione(file).empty()) file += "." + d.DefaultExt;
        if (!sovrascrivi_ && ::access(file.c_str(), F_OK) == 0)
            vq::Solleva(58, vq::DescrizioneRuntime(58) + ": " + file +
                                " (usare --sovrascrivi per sostituirlo)");
        d.FileName = file;
    }

private:
    std::string file_;
    bool sovrascrivi_;
};

std::int32_t Id(const std::string& opzione, const std::string& testo) {
    try {
        std::size_t fine = 0;
        const long long v = std::stoll(testo, &fine, 10);
        if (fine == testo.size() && v >= INT32_MIN && v <= INT32_MAX)
            return static_cast<std::int32_t>(v);
    } catch (...) {}
    throw ErroreUso{opzione + ": id non valido: \"" + testo + "\""};
}

vq::DATA Data(const std::string& opzione, const std::string& testo) {
    if (testo.size() == 10) {
        if (auto d = vq::DataDaIso(testo)) return *d;
    }
    throw ErroreUso{opzione + ": data non valida: \"" + testo + "\" (attesa AAAA-MM-GG)"};
}

Opzioni Leggi(int argc, char** argv) {
    Opzioni o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto valore = [&]() -> std::string {
            if (i + 1 >= argc) throw ErroreUso{a + ": manca il valore"};
            return argv[++i];
        };
        if (a == "--help" || a == "-h") {
            std::fputs(kAiuto, stdout);
            std::exit(kEsitoEsportato);
        } else if (a == "--elenca") o.elenca = true;
        else if (a == "--tutti") o.selezioni.push_back({Selezione::Tutti, -1, a});
        else if (a == "--conto") {
            const std::string v = valore();
            o.selezioni.push_back({Selezione::Conto, Id(a, v), v});
        } else if (a == "--cassa") {
            const std::string v = valore();
            o.selezioni.push_back({Selezione::Cassa, Id(a, v), v});
        } else if (a == "--dal") o.dal = Data(a, valore());
        else if (a == "--al") o.al = Data(a, valore());
        else if (a == "-o") {
            o.uscita = valore();
            if (o.uscita.empty()) throw ErroreUso{"-o: manca il nome del file"};
        } else if (a == "--sovrascrivi") o.sovrascrivi = true;
        else if (a == "--senza-foglio-stile") o.foglioStile = false;
        else if (a == "--verifica") o.verifica = true;
        else if (a == "--html") o.html = true;
        else throw ErroreUso{"opzione sconosciuta: " + a};
    }
    if (!o.elenca && o.selezioni.empty())
        throw ErroreUso{
            "nessuna scelta: indicare --tutti, --conto ID o --cassa ID (oppure --elenca)"};
    return o;
}

void Elenca(travasa::frmMainLogica& finestra) {
    const auto conti = finestra.Stato().cboConti.voci;
    for (std::size_t i = 1; i < conti.size(); ++i) {
        std::printf("%d\t%s\n", conti[i].id, conti[i].testo.c_str());
        finestra.ContoScelto(static_cast<int>(i));
        const auto& codici = finestra.Stato().cboCassa.voci;
        for (std::size_t k = 1; k < codici.size(); ++k)
            std::printf("\t%d\t%s\n", codici[k].id, codici[k].testo.c_str());
    }
    finestra.ContoScelto(0);
}

// One selection entry added as the window adds it: the account chosen in its list, then
// the cash code in the account's list, then "Aggiungi".
void Aggiungi(travasa::frmMainLogica& finestra, const Selezione& s) {
    const auto conti = finestra.Stato().cboConti.voci;
    if (s.tipo == Selezione::Tutti) {
        finestra.ContoScelto(0);
        finestra.Aggiungi();
        return;
    }
    for (std::size_t i = 1; i < conti.size(); ++i) {
        if (s.tipo == Selezione::Conto && conti[i].id != s.id) continue;
        finestra.ContoScelto(static_cast<int>(i));
        const auto& codici = finestra.Stato().cboCassa.voci;
        for (std::size_t k = 0; k < codici.size(); ++k) {
            if (s.tipo == Selezione::Conto ? k == 0 : (k > 0 && codici[k].id == s.id)) {
                finestra.SceltaCassa(static_cast<int>(k));
                finestra.Aggiungi();
                return;
            }
        }
    }
    throw ErroreUso{(s.tipo == Selezione::Conto ? "--conto: nessun conto con id "
                                                : "--cassa: nessun codice cassa con id ") +
                    s.testo};
}

// The page rendered from the stylesheet, written beside the XML file.
std::string ScriviHtml(const std::string& xml, const std::string& xsl) {
    const std::string html =
        vqUtilita::EstraiPath(xml) + travasa::NomeBaseFoglioStile(xml) + ".html";
    if (html == xml)
        vq::Solleva(75, vq::DescrizioneRuntime(75) + ": " + xml +
                            " (la pagina avrebbe lo stesso nome del file)");
    xsltStylesheetPtr foglio =
        xsltParseStylesheetFile(reinterpret_cast<const xmlChar*>(xsl.c_str()));
    if (!foglio) vq::Solleva(5, "Foglio di stile non leggibile: " + xsl);
    std::unique_ptr<xsltStylesheet, void (*)(xsltStylesheetPtr)> f(foglio, xsltFreeStylesheet);
    std::unique_ptr<xmlDoc, void (*)(xmlDocPtr)> documento(xmlReadFile(xml.c_str(), nullptr, 0),
                                                           xmlFreeDoc);
    if (!documento) vq::Solleva(5, "File XML non leggibile: " + xml);
    std::unique_ptr<xmlDoc, void (*)(xmlDocPtr)> risultato(
        xsltApplyStylesheet(foglio, documento.get(), nullptr), xmlFreeDoc);
    if (!risultato) vq::Solleva(5, "Trasformazione non riuscita: " + xsl);
    xmlChar* testo = nullptr;
    int lunghezza = 0;
    if (xsltSaveResultToString(&testo, &lunghezza, risultato.get(), foglio) != 0)
        vq::Solleva(7, vq::DescrizioneRuntime(7));
    std::unique_ptr<xmlChar, void (*)(void*)> possesso(testo, xmlFree);
    const std::string_view pagina(reinterpret_cast<const char*>(testo),
                                  testo ? static_cast<std::size_t>(lunghezza) : 0);
    travasa::ScriviFileAtomico(html, [&](travasa::UscitaFile& uscita) { uscita.scrivi(pagina); });
    return html;
}

int Esegui(const Opzioni& o) {
    ole::Inizializza com;
    travasa::ControlliAvvio().Esegui();

    const bool terminale = ::isatty(STDERR_FILENO) == 1;
    DialogoOpzione dialogo(o.uscita, o.sovrascrivi);
    travasa::ServiziFinestra servizi;
    servizi.dialogo = &dialogo;
    servizi.ricordaDate = false;
    servizi.pausa =
        terminale ? travasa::ServiziEsportazione{}.pausa : std::function<void(std::int32_t)>();
    travasa::frmMainLogica finestra(servizi);
    int ultimo = -1;
    if (terminale) {
        finestra.Notifica([&](unsigned parti) {
            if (!(parti & travasa::ParteProgresso)) return;
            const auto& s = finestra.Stato();
            if (!s.prgVisibile) {
                if (ultimo >= 0) std::fputs("\n", stderr);
                ultimo = -1;
                return;
            }
            const int p = static_cast<int>(100.0f * (s.prgValore - s.prgMin) /
                                           std::max(1.0f, s.prgMax - s.prgMin));
            if (p != ultimo) {
                ultimo = p;
                std::fprintf(stderr, "\rEsportazione: %3d%%", p);
            }
        });
    }
    finestra.Carica();

    if (o.elenca) Elenca(finestra);
    if (o.selezioni.empty()) {
        finestra.Scarica();
        return kEsitoEsportato;
    }
    for (const auto& s : o.selezioni) Aggiungi(finestra, s);
    if (o.dal) {
        finestra.ClickIniziale(true);
        finestra.ImpostaDataIniziale(*o.dal);
    }
    if (o.al) {
        finestra.ClickFinale(true);
        finestra.ImpostaDataFinale(*o.al);
    }
    finestra.ImpostaCss(o.foglioStile);
    finestra.ImpostaVerifica(o.verifica);

    const auto r = finestra.Esporta();
    int esito = kEsitoErrore;
    switch (r.esito) {
        case travasa::EsitoEsportazione::Esportato: esito = kEsitoEsportato; break;
        case travasa::EsitoEsportazione::NessunMovimento: esito = kEsitoNessunMovimento; break;
        case travasa::EsitoEsportazione::DateInvertite:
        case travasa::EsitoEsportazione::ListaVuota: esito = kEsitoUso; break;
        default: break;
    }
    if (esito == kEsitoEsportato) {
        std::printf("XML: %s\n", r.file.c_str());
        if (!r.foglioStile.empty()) std::printf("Foglio di stile: %s\n", r.foglioStile.c_str());
        if (o.html) {
            try {
                const std::string xsl =
                    r.foglioStile.empty()
                        ? travasa::SorgenteFoglioStile(travasa::IdentitaCorrente())
                        : r.foglioStile;
                std::printf("Pagina: %s\n", ScriviHtml(r.file, xsl).c_str());
            } catch (...) {
                vq::ImpostaErroreDa(std::current_exception());
                vqUtilita::PrintErroreEx(travasa::kTitoloEsportazione);
                esito = kEsitoErrore;
            }
        }
    }
    finestra.Scarica();
    return esito;
}

}  // namespace

int main(int argc, char** argv) {
    shell::SostituisciServizio(std::make_shared<MessaggiConsole>());
    Opzioni o;
    try {
        o = Leggi(argc, argv);
    } catch (const ErroreUso& e) {
        std::fprintf(stderr, "travasa-cli: %s\nProvare \"travasa-cli --help\".\n", e.testo.c_str());
        return kEsitoUso;
    }
    try {
        return Esegui(o);
    } catch (const ErroreUso& e) {
        std::fprintf(stderr, "travasa-cli: %s\n", e.testo.c_str());
        return kEsitoUso;
    } catch (const travasa::ProgrammaTerminato& t) {
        return t.stato;
    } catch (...) {
        vq::ImpostaErroreDa(std::current_exception());
        vqUtilita::PrintErrore();
        return kEsitoErrore;
    }
}
