// Benchmark of the XML writer: a household's largest export (32,767 rows, the most the
// data component returns), built and saved as the export run does, with and without the
// data-type check; then the same bytes written with a plain buffered write, the floor
// that any writer pays for the I/O.
//
// Usage: bench_xml_writer [rows] [output file to keep]
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <ole/ole.hpp>

#include "export/Globale.h"
#include "export/ModXML.h"
#include "vq/data.h"

namespace {

namespace fs = std::filesystem;
using Orologio = std::chrono::steady_clock;

class Contatore : public travasa::IndicatoreProgresso {
public:
    float Min() const override { return 0; }
    float Max() const override { return 100; }
    void Value(float v) override { ultimo = v, ++volte; }
    float ultimo = 0;
    long volte = 0;
};

// A plausible household: accounts, cash codes, descriptions with accents and symbols.
SAFEARRAY* CreaArray(LONG righe) {
    static const char* const kConti[] = {"Casa", "Auto", "Banca Popolare", "Contanti",
                                         "Carta di credito"};
    static const char* const kCasse[] = {
        "Spesa",     "Benzina", "Bollette luce & gas", "Affitto",     "Ristorante", "Farmacia",
        "Stipendio", "Regali",  "Manutenzione",        "Tempo libero"};
    static const char* const kCausali[] = {"Supermercato <Coop>",
                                           "Pieno self-service",
                                           "Bolletta bimestrale",
                                           "Caffè e brioche",
                                           "Cena di compleanno",
                                           "Farmaci da banco",
                                           "Accredito stipendio",
                                           "Tagliando annuale",
                                           "Cinema",
                                           ""};
    SAFEARRAYBOUND limiti[2] = {{10, 0}, {static_cast<ULONG>(righe), 0}};
    SAFEARRAY* array = SafeArrayCreate(VT_VARIANT, 2, limiti);
    if (!array) std::abort();
    const DATE inizio = *vq::ComponiData({2001, 1, 1, 0, 0, 0});
    for (LONG r = 0; r < righe; ++r) {
        const auto i = static_cast<std::size_t>(r);
        const double euro =
            std::round((static_cast<double>((r * 7919) % 200000) / 100.0 - 300.0) * 100.0) / 100.0;
        ole::Variante campi[10] = {
            ole::Variante::Testo(kConti[i % 5]),
            ole::Variante::Testo(kCasse[(i * 3) % 10]),
            ole::Variante::Data(inizio + static_cast<double>(r / 12) + 0.5),
            r % 97 == 0 ? ole::Variante::Null() : ole::Variante::Testo(kCausali[(i * 7) % 10]),
            ole::Variante::R8(euro),
            ole::Variante::I4(static_cast<LONG>(std::lround(euro * 1936.27))),
            ole::Variante::Booleano(r % 3 == 0),
            ole::Variante::Booleano(r % 5 == 0),
            ole::Variante::Booleano(r % 7 == 0),
            ole::Variante::Booleano(r % 11 == 0),
        };
        for (LONG c = 0; c < 10; ++c) {
            LONG indici[2] = {c, r};
            if (FAILED(SafeArrayPutElement(array, indici, campi[c].get()))) std::abort();
        }
    }
    return array;
}

long PiccoKiB() {
    std::ifstream stato("/proc/self/status");
    std::string riga;
    while (std::getline(stato, riga))
        if (riga.rfind("VmHWM:", 0) == 0) return std::atol(riga.c_str() + 6);
    return -1;
}
long AttualeKiB() {
    std::ifstream stato("/proc/self/status");
    std::string riga;
    while (std::getline(stato, riga))
        if (riga.rfind("VmRSS:", 0) == 0) return std::atol(riga.c_str() + 6);
    return -1;
}
// Resets the peak resident size to the current one (Linux 4.0 and later).
void AzzeraPicco() { std::ofstream("/proc/self/clear_refs") << "5"; }

double TempoCpu() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

double Mediana(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The I/O floor: the same bytes through stdio's buffer, flushed to disk as the save does.
double ScritturaSemplice(const std::string& byte, const fs::path& percorso, bool conFsync) {
    const auto inizio = Orologio::now();
    std::FILE* f = std::fopen(percorso.c_str(), "wb");
    if (!f) std::abort();
    std::setvbuf(f, nullptr, _IOFBF, 1 << 16);
    if (std::fwrite(byte.data(), 1, byte.size(), f) != byte.size()) std::abort();
    if (std::fflush(f) != 0) std::abort();
    if (conFsync && ::fsync(fileno(f)) != 0) std::abort();
    std::fclose(f);
    return std::chrono::duration<double, std::milli>(Orologio::now() - inizio).count();
}

}  // namespace

int main(int argc, char** argv) {
    const LONG righe = argc > 1 ? static_cast<LONG>(std::atol(argv[1])) : 32767;
    const std::string daTenere = argc > 2 ? argv[2] : "";
    const fs::path cartella =
        fs::temp_directory_path() / ("vq-bench-xml-" + std::to_string(::getpid()));
    fs::create_directories(cartella);
    const fs::path xml = cartella / "estratto.xml";

    travasa::Info().Periodo = "Dal 01-gen-2001 al 31-dic-2008";
    travasa::Info().Conto =
        "Casa\\ <Tutti i Codici>\rAuto\\ Benzina\rBanca Popolare\\ <Tutti i Codici>";

    const long rssPrima = AttualeKiB();
    SAFEARRAY* array = CreaArray(righe);
    const long rssArray = AttualeKiB() - rssPrima;

    // The plain write is timed in the same rounds as the writer, and every timed write
    // starts after a sync: neither pays for what the other left to the disk (an fsync
    // costs from 10 to 40 ms depending on it). The first round writes the bytes to copy.
    constexpr int kRipetizioni = 9;
    std::vector<double> tempi[2], cpu[2];
    std::vector<double> pavimento, pavimentoSenzaFsync;
    std::string byte;
    long piccoScrittura = 0;
    for (int k = 0; k < kRipetizioni; ++k) {
        if (!byte.empty()) {
            ::sync();
            pavimento.push_back(ScritturaSemplice(byte, cartella / "semplice.xml", true));
            ::sync();
            pavimentoSenzaFsync.push_back(
                ScritturaSemplice(byte, cartella / "semplice.xml", false));
        }
        for (int verifica = 0; verifica < 2; ++verifica) {
            Contatore barra;
            ::sync();
            const long base = AttualeKiB();
            AzzeraPicco();
            const auto inizio = Orologio::now();
            const double inizioCpu = TempoCpu();
            travasa::CreaFileXML(array, xml.string(), barra,
                                 verifica ? VARIANT_TRUE : VARIANT_FALSE, VARIANT_TRUE);
            cpu[verifica].push_back(TempoCpu() - inizioCpu);
            tempi[verifica].push_back(
                std::chrono::duration<double, std::milli>(Orologio::now() - inizio).count());
            piccoScrittura = std::max(piccoScrittura, PiccoKiB() - base);
            if (barra.volte != righe || (righe > 1 && barra.ultimo != 100)) std::abort();
        }
        if (byte.empty()) {
            byte.resize(static_cast<std::size_t>(fs::file_size(xml)));
            std::FILE* letto = std::fopen(xml.c_str(), "rb");
            if (!letto || std::fread(byte.data(), 1, byte.size(), letto) != byte.size())
                std::abort();
            std::fclose(letto);
        }
    }

    const double senza = Mediana(tempi[0]), con = Mediana(tempi[1]);
    const double floor = Mediana(pavimento), floorNoSync = Mediana(pavimentoSenzaFsync);
    std::printf("rows                              %ld\n", static_cast<long>(righe));
    std::printf("output size                       %zu bytes (%.1f MiB, %.0f bytes/row)\n",
                byte.size(), static_cast<double>(byte.size()) / 1048576.0,
                static_cast<double>(byte.size()) / righe);
    std::printf("CreaFileXML, no type check        %.1f ms wall, %.1f ms CPU (median of %d)\n",
                senza, Mediana(cpu[0]), kRipetizioni);
    std::printf("CreaFileXML, with type check      %.1f ms wall, %.1f ms CPU\n", con,
                Mediana(cpu[1]));
    std::printf(
        "first call of the process         %.1f ms wall (fresh memory), %.1f ms with check\n",
        tempi[0][0], tempi[1][0]);
    std::printf("I/O floor: buffered write + fsync %.1f ms\n", floor);
    std::printf("  without fsync                   %.1f ms\n", floorNoSync);
    std::printf(
        "ratio to the floor (with fsync)   %.2f without check, %.2f with check (aim: <= 3 with "
        "check)\n",
        senza / floor, con / floor);
    std::printf("ratio to the floor without fsync  %.2f without check, %.2f with check\n",
                senza / floorNoSync, con / floorNoSync);
    std::printf("row array in memory               %ld KiB\n", rssArray);
    std::printf(
        "peak memory while writing         %ld KiB above the resident size before the call\n",
        piccoScrittura);
    std::printf("process peak resident size        %ld KiB\n", PiccoKiB());
    double carico[1] = {0};
    if (getloadavg(carico, 1) == 1)
        std::printf("load average during the run       %.1f\n", carico[0]);

    if (!daTenere.empty()) fs::copy_file(xml, daTenere, fs::copy_options::overwrite_existing);
    SafeArrayDestroy(array);
    fs::remove_all(cartella);
    return 0;
}
