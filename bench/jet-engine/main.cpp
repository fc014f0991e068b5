// bench_jet_engine FILE PASSWORD
// Runs, twice, the engine's part of one export on FILE: open, the version query, the
// count, the first 32,767 rows in date order through GetRows, and both totals; prints
// the time of each run and the peak memory of this process and of the reading child.
#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "jet/dao.h"
#include "vq/errore.h"

namespace {

const char* const kFrom =
    " FROM Conti INNER JOIN (TabellaCassa INNER JOIN   Operazioni ON TabellaCassa.IDCassa = "
    "Operazioni.IDCassa)  "
    "ON Conti.IDConto = TabellaCassa.IDConto ";

double Giro(jet::Database& db, long& conteggio, long& righe) {
    auto inizio = std::chrono::steady_clock::now();
    {
        auto rs = db.OpenRecordset("Select versione from Versione");
        rs->Close();
    }
    {
        auto rs = db.OpenRecordset(std::string(" SELECT Count(*) ") + kFrom);
        conteggio = static_cast<long>(rs->Campo(0).intero);
    }
    {
        auto rs = db.OpenRecordset(
            std::string(
                " SELECT Conti.Descrizione as Conto ,  TabellaCassa.Cassa as Cassa,   "
                "Operazioni.Data as Data, "
                " Operazioni.Causale as Causale,  Operazioni.Euro as Euro,  Operazioni.[Totale£] "
                "as Lire, "
                " Operazioni.Bancomat as Bancomat,  Operazioni.ContoCorrente as ContoCorrente,  "
                "Operazioni.Carta as Carta,  Operazioni.NoStatistiche as NoStatistiche ") +
            kFrom + " order by Operazioni.Data, Operazioni.IDMovimento ");
        VARIANT a = rs->GetRows(32767);
        LONG hi = -1;
        if (a.vt != VT_EMPTY) SafeArrayGetUBound(a.parray, 2, &hi);
        righe = hi + 1;
        VariantClear(&a);
    }
    {
        auto rs = db.OpenRecordset(
            std::string(
                " SELECT   Sum(Operazioni.Euro) as Euro,  Sum(Operazioni.[Totale£]) as Lire ") +
            kFrom);
        rs->Campo("Euro");
        rs->Campo("Lire");
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - inizio).count();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "uso: bench_jet_engine FILE PASSWORD\n");
        return 2;
    }
    try {
        struct stat st {};
        stat(argv[1], &st);
        auto t0 = std::chrono::steady_clock::now();
        auto db = jet::DBEngine::DelThread().Workspaces(0).OpenDatabase(
            argv[1], false, true, std::string(";Pwd=") + argv[2]);
        double apertura =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        long conteggio = 0, righe = 0;
        double primo = Giro(*db, conteggio, righe) + apertura;
        double secondo = Giro(*db, conteggio, righe);
        db->Close();
        rusage self{}, figli{};
        getrusage(RUSAGE_SELF, &self);
        getrusage(RUSAGE_CHILDREN, &figli);
        std::printf("file_mb %.1f\n", static_cast<double>(st.st_size) / 1048576.0);
        std::printf("operazioni %ld\n", conteggio);
        std::printf("righe_getrows %ld\n", righe);
        std::printf("primo_giro_s %.3f\n", primo);
        std::printf("secondo_giro_s %.3f\n", secondo);
        std::printf("picco_processo_mb %.1f\n", static_cast<double>(self.ru_maxrss) / 1024.0);
        std::printf("picco_figlio_mb %.1f\n", static_cast<double>(figli.ru_maxrss) / 1024.0);
        return 0;
    } catch (const vq::Errore& e) {
        std::fprintf(stderr, "errore %d: %s\n", e.numero(), e.descrizione().c_str());
        return 1;
    }
}
