// Usage: bench_tessadati FOLDER FROM TO     (automation dates)
//        bench_tessadati --calibra FOLDER FROM
// Runs the data object's part of one export on FOLDER/Mirtesa.mdb twice, a new object each
// time (as the export program does at each start): ApriDataBase with its version gate, the
// period FROM..TO, GetTotRecord, GetArrayDati (at most 32,767 rows), GetImportoEuro and
// GetImportoLire. --calibra prints the last TO whose period holds at most 32,767 rows.
// Prints wall times and the peak memory of this process and of the engine's reader child.
#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>

#include "database.h"
#include "oggetti.h"
#include "ole/ole.hpp"
#include "vq/errore.h"

namespace {

// The folder given on the command line in place of the host's answer.
class MotoreBench final : public tessadati::Motore {
public:
    explicit MotoreBench(std::string c) : cartella_(std::move(c)) {}
    std::string CartellaDati() override { return cartella_; }
    std::unique_ptr<tessadati::Database> Apri(const std::string& p, const std::string& c) override {
        return tessadati::MotorePredefinito().Apri(p, c);
    }

private:
    std::string cartella_;
};

struct Giro {
    double secondi = 0;
    LONG totale = 0, righe = 0;
    double euro = 0, lire = 0;
};

void Periodo(_ClsDatiMirtesa& dati, DATE da, DATE a) {
    ole::Verifica(dati.put_FiltroDataIniziale(&da));
    ole::Verifica(dati.put_FiltroDataFinale(&a));
}

Giro Esegui(MotoreBench& motore, DATE da, DATE a) {
    const auto inizio = std::chrono::steady_clock::now();
    Giro g;
    auto dati = tessadati::ClsDatiMirtesa::Crea(motore);
    ole::Verifica(dati->ApriDataBase());
    Periodo(*dati, da, a);
    ole::Verifica(dati->GetTotRecord(&g.totale));
    SAFEARRAY* righe = nullptr;
    ole::Verifica(dati->GetArrayDati(&righe, &g.righe));
    if (righe) SafeArrayDestroy(righe);
    ole::Verifica(dati->GetImportoEuro(&g.euro));
    ole::Verifica(dati->GetImportoLire(&g.lire));
    ole::Verifica(dati->ChiudiDataBase());
    g.secondi = std::chrono::duration<double>(std::chrono::steady_clock::now() - inizio).count();
    return g;
}

// The last day E from `da` on such that the period da..E holds at most 32,767
// transactions (the row array's limit), found with count queries.
DATE Calibra(MotoreBench& motore, DATE da) {
    auto dati = tessadati::ClsDatiMirtesa::Crea(motore);
    ole::Verifica(dati->ApriDataBase());
    DATE basso = da, alto = da + 4000;
    while (alto - basso > 1) {
        const DATE medio = std::floor((basso + alto) / 2);
        Periodo(*dati, da, medio);
        LONG n = 0;
        ole::Verifica(dati->GetTotRecord(&n));
        (n <= 32767 ? basso : alto) = medio;
    }
    return basso;
}

}  // namespace

int main(int argc, char** argv) {
    // bench_tessadati --calibra CARTELLA DA: prints the end of the period
    // bench_tessadati CARTELLA DA A:          the two timed runs
    const bool calibra = argc == 4 && std::string(argv[1]) == "--calibra";
    if (!calibra && argc != 4) {
        std::fprintf(stderr,
                     "uso: bench_tessadati [--calibra] CARTELLA DA [A]  (date automation)\n");
        return 2;
    }
    try {
        ole::Verifica(CoInitialize(nullptr));
        std::string cartella = argv[calibra ? 2 : 1];
        if (!cartella.ends_with('/')) cartella += '/';
        struct stat st {};
        if (stat((cartella + "Mirtesa.mdb").c_str(), &st) != 0) {
            std::fprintf(stderr, "manca %sMirtesa.mdb\n", cartella.c_str());
            return 1;
        }
        MotoreBench motore(cartella);
        const DATE da = std::stod(argv[calibra ? 3 : 2]);
        if (calibra) {
            std::printf("%.0f\n", Calibra(motore, da));
            return 0;
        }
        const DATE a = std::stod(argv[3]);
        const Giro primo = Esegui(motore, da, a);
        const Giro secondo = Esegui(motore, da, a);
        rusage self{}, figli{};
        getrusage(RUSAGE_SELF, &self);
        getrusage(RUSAGE_CHILDREN, &figli);
        std::printf("file_mb %.1f\n", static_cast<double>(st.st_size) / 1048576.0);
        std::printf("operazioni_nel_periodo %d\n", static_cast<int>(primo.totale));
        std::printf("righe_array %d\n", static_cast<int>(primo.righe));
        std::printf("euro %.2f lire %.0f\n", primo.euro, primo.lire);
        std::printf("primo_giro_s %.3f\n", primo.secondi);
        std::printf("secondo_giro_s %.3f\n", secondo.secondi);
        std::printf("picco_processo_mb %.1f\n", static_cast<double>(self.ru_maxrss) / 1024.0);
        std::printf("picco_figlio_mb %.1f\n", static_cast<double>(figli.ru_maxrss) / 1024.0);
        CoUninitialize();
    } catch (const vq::Errore& e) {
        std::fprintf(stderr, "errore %d: %s\n", e.numero(), e.descrizione().c_str());
        return 1;
    }
    return 0;
}
