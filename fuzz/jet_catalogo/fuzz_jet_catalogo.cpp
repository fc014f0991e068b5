#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

#include "jet/dao.h"
#include "jet/errori.h"
#include "vq/errore.h"

namespace {

// One working folder per process, removed at exit.
struct Cartella {
    std::string dir;
    Cartella() {
        char m[] = "/tmp/fuzz-jet-XXXXXX";
        if (!mkdtemp(m)) std::abort();
        dir = m;
    }
    ~Cartella() {
        unlink((dir + "/f.mdb").c_str());
        rmdir(dir.c_str());
    }
};

std::string FileDiLavoro() {
    static Cartella c;
    return c.dir + "/f.mdb";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dati, std::size_t n) {
    static const std::set<int> kAmmessi = {jet::kErrFormato, jet::kErrDanneggiato, jet::kErrTabella,
                                           jet::kErrPassword, jet::kErrParametri};
    const std::string file = FileDiLavoro();
    FILE* f = std::fopen(file.c_str(), "wb");
    if (!f) std::abort();
    if (n) std::fwrite(dati, 1, n, f);
    std::fclose(f);
    jet::Limiti l;
    l.memoriaMb = 512;
    l.tempo = std::chrono::seconds(3);
    jet::DBEngine::DelThread().ImpostaLimiti(l);
    try {
        auto db = jet::DBEngine::DelThread().Workspaces(0).OpenDatabase(file, false, true,
                                                                        ";Pwd=604kmr73");
        auto rs = db->OpenRecordset("SELECT * FROM Conti");
        while (!rs->Eof()) {
            for (int i = 0; i < rs->FieldsCount(); ++i) rs->Campo(i);
            rs->MoveNext();
        }
    } catch (const vq::Errore& e) {
        if (!kAmmessi.count(e.numero())) {
            std::fprintf(stderr, "errore inatteso %d: %s\n", e.numero(), e.descrizione().c_str());
            std::abort();
        }
    }
    return 0;
}
