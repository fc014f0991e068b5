// esporta-demo [--dal AAAA-MM-GG] [--al AAAA-MM-GG] [--conto ID]... [--cassa ID]...
//              [--senza-foglio] [--verifica] FILE.xml
//
// Runs one export without the window, on the installed host: the data component is
// created by its class id (it finds the host's database through the host component),
// the accounts and their cash codes are listed, the filter is set from the options
// (no --conto/--cassa: every account), then count, totals and rows are fetched and the
// XML file is written, with the stylesheet copied beside it.
#include <ole/automation.h>
#include <ole/ole.hpp>
#include <tessadati/tessadati.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "export/Globale.h"
#include "export/ModXML.h"
#include "export/ScritturaAtomica.h"
#include "util/vqUtilita.h"
#include "vq/conversioni.h"
#include "vq/data.h"
#include "vq/errore.h"

namespace {

// Progress on the terminal: one line rewritten in place, every tenth.
class ProgressoConsole : public travasa::IndicatoreProgresso {
public:
    float Min() const override { return 0; }
    float Max() const override { return 100; }
    void Value(float valore) override {
        const int decimo = static_cast<int>(valore) / 10;
        if (decimo != ultimo_) {
            ultimo_ = decimo;
            std::fprintf(stderr, "\rscrittura: %3d%%", static_cast<int>(valore));
            if (valore >= Max()) std::fputc('\n', stderr);
        }
    }

private:
    int ultimo_ = -1;
};

// "dd-MMM-yyyy" with the Italian abbreviated month, as the period text of the export.
std::string DataPeriodo(vq::DATA d) {
    static const char* const mesi[] = {"gen", "feb", "mar", "apr", "mag", "giu",
                                       "lug", "ago", "set", "ott", "nov", "dic"};
    const vq::DataOra p = vq::ScomponiData(d);
    char testo[32];
    std::snprintf(testo, sizeof testo, "%02d-%s-%04d", p.giorno, mesi[p.mese - 1], p.anno);
    return testo;
}

vq::DATA DataOpzione(const std::string& testo) {
    auto d = vq::DataDaIso(testo);
    if (!d) vq::Solleva(13, "Data non valida: " + testo + " (atteso AAAA-MM-GG)");
    return *d;
}

std::string Unisci(const std::vector<std::string>& voci) {
    std::string r;
    for (const auto& v : voci) r += (r.empty() ? "" : ";") + v;
    return r;
}

template <class T>
ole::ComPtr<T> Elemento(_Collection* c, LONG i, REFIID iid) {
    ole::Variante indice = ole::Variante::I4(i), voce;
    ole::Verifica(c->Item(indice.get(), voce.put()));
    if (voce.vt() != VT_DISPATCH || !voce->pdispVal) vq::Solleva(13);
    ole::ComPtr<IDispatch> d;
    d.attach(voce->pdispVal);
    d->AddRef();
    return d.as<T>(iid);
}

// The stylesheet is copied as every file we write is saved: a failed copy leaves the
// stylesheet already beside the file as it was.
void CopiaFoglioStile(const std::string& sorgente, const std::string& destinazione) {
    std::ifstream in(sorgente, std::ios::binary);
    if (!in) vq::Solleva(vq::kErrFileNonTrovato, "Impossibile leggere " + sorgente);
    std::ostringstream contenuto;
    contenuto << in.rdbuf();
    const std::string testo = std::move(contenuto).str();
    travasa::ScriviFileAtomico(destinazione, [&testo](travasa::UscitaFile& uscita) { uscita.scrivi(testo); });
}

LONG Conta(_Collection* c) {
    LONG n = 0;
    ole::Verifica(c->Count(&n));
    return n;
}

int Esporta(int argc, char** argv) {
    std::string dal, al, uscita;
    std::vector<std::string> conti, casse;
    bool foglio = true, verifica = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto valore = [&]() -> std::string {
            if (i + 1 >= argc) vq::Solleva(5, "Manca il valore di " + a);
            return argv[++i];
        };
        if (a == "--dal") dal = valore();
        else if (a == "--al") al = valore();
        else if (a == "--conto") conti.push_back(valore());
        else if (a == "--cassa") casse.push_back(valore());
        else if (a == "--senza-foglio") foglio = false;
        else if (a == "--verifica") verifica = true;
        else if (!a.empty() && a[0] == '-') vq::Solleva(5, "Opzione sconosciuta: " + a);
        else uscita = a;
    }
    if (uscita.empty()) {
        std::cerr << "uso: esporta-demo [--dal AAAA-MM-GG] [--al AAAA-MM-GG] [--conto ID]... "
                     "[--cassa ID]... [--senza-foglio] [--verifica] FILE.xml\n";
        return 2;
    }

    ole::Inizializza com;
    auto dati = ole::Crea<_ClsDatiMirtesa>(CLSID_ClsDatiMirtesa, IID__ClsDatiMirtesa);
    ole::Verifica(dati->ApriDataBase());

    // The accounts and their cash codes, as the window lists them.
    ole::ComPtr<_Collection> elenco;
    ole::Verifica(dati->GetConti(elenco.put()));
    std::vector<std::string> testiConti;
    std::cout << "Conti:\n";
    for (LONG i = 1; i <= Conta(elenco.get()); ++i) {
        auto conto = Elemento<_clsConti>(elenco.get(), i, IID__clsConti);
        LONG id = 0;
        ole::Bstr nome;
        ole::Verifica(conto->get_IDConto(&id));
        ole::Verifica(conto->get_Conto(nome.put()));
        SHORT id16 = vq::CInt(static_cast<std::int64_t>(id));
        ole::ComPtr<_Collection> codici;
        ole::Verifica(dati->GetCodiciCassa(&id16, codici.put()));
        std::cout << "  " << id << "  " << nome.utf8() << "  (" << Conta(codici.get()) << " codici cassa)\n";
        if (conti.empty() && casse.empty()) testiConti.push_back(nome.utf8() + "\\ <Tutti i Codici>");
    }

    // The filter and the export header.
    auto& info = travasa::Info();
    info.ClearValori();
    ole::Verifica(dati->ClearFiltri());
    if (conti.empty() && casse.empty()) {
        info.Conto = "Tutti i conti\\codici";
    } else {
        for (const auto& c : conti) info.Conto += (info.Conto.empty() ? "" : "\r") + ("conto " + c);
        for (const auto& c : casse) info.Conto += (info.Conto.empty() ? "" : "\r") + ("codice cassa " + c);
    }
    ole::Verifica(dati->put_f_mult_conto(ole::Bstr(Unisci(conti)).get()));
    ole::Verifica(dati->put_f_mult_cassa(ole::Bstr(Unisci(casse)).get()));
    DATE inizio = dal.empty() ? 0 : DataOpzione(dal);
    DATE fine = al.empty() ? 0 : DataOpzione(al);
    if (inizio != 0) ole::Verifica(dati->put_FiltroDataIniziale(&inizio));
    if (fine != 0) ole::Verifica(dati->put_FiltroDataFinale(&fine));
    if (inizio != 0 && fine != 0) info.Periodo = "Dal " + DataPeriodo(inizio) + " al " + DataPeriodo(fine);
    else if (inizio != 0) info.Periodo = "Dal " + DataPeriodo(inizio);
    else if (fine != 0) info.Periodo = "Fino al " + DataPeriodo(fine);
    else info.Periodo = "Tutto";

    LONG totale = 0;
    double euro = 0, lire = 0;
    ole::Verifica(dati->GetTotRecord(&totale));
    ole::Verifica(dati->GetImportoEuro(&euro));
    ole::Verifica(dati->GetImportoLire(&lire));
    std::cout << "Periodo: " << info.Periodo << "\nMovimenti: " << totale << "\nTotale euro: "
              << vq::TestoNumero(euro) << "\nTotale lire: " << vq::TestoNumero(lire) << "\n";
    if (totale == 0) {
        std::cout << "Nessun movimento rientra nei filtri impostati. Esportazione non effettuata\n";
        return 0;
    }

    SAFEARRAY* righe = nullptr;
    LONG n = 0;
    ole::Verifica(dati->GetArrayDati(&righe, &n));
    ole::Variante possesso = ole::Variante::Array(righe);  // released however we leave

    // The stylesheet below the program's folder, copied beside the file under its base name.
    std::string cartella = std::filesystem::canonical("/proc/self/exe").parent_path().string();
    const std::string sorgente = vqUtilita::AggiungiSepDir(cartella) + "template/html/css.xsl";
    if (!std::filesystem::is_regular_file(sorgente)) foglio = false;

    ProgressoConsole barra;
    travasa::CreaFileXML(righe, uscita, barra, verifica ? VARIANT_TRUE : VARIANT_FALSE,
                         foglio ? VARIANT_TRUE : VARIANT_FALSE);
    if (foglio) {
        // Named as the file's stylesheet instruction refers to it.
        const std::string destinazione =
            vqUtilita::EstraiPath(uscita) + travasa::NomeBaseFoglioStile(uscita) + ".xsl";
        CopiaFoglioStile(sorgente, destinazione);
        std::cout << "Foglio di stile: " << destinazione << "\n";
    }
    ole::Verifica(dati->ChiudiDataBase());
    std::cout << "Esportazione completata correttamente. Totale record esportati: " << n << "\n"
              << "File: " << uscita << "\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Esporta(argc, argv);
    } catch (...) {
        const auto& e = vq::ImpostaErroreDa(std::current_exception());
        std::cerr << "errore " << e.numero << ": " << e.descrizione << "\n";
        return 1;
    }
}
