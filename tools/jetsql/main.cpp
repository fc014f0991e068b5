// jetsql [--password PWD] FILE SQL [SQL...]
// Runs Jet SQL SELECTs on FILE through the engine, in turn on the same open database,
// and prints each row as one JSON object per line, keyed by field name. The first
// failure ends the run. On failure prints "errore N: description" on
// standard error and exits with status 1 (2 for a wrong command line).
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "jet/dao.h"
#include "json_righe.h"
#include "vq/errore.h"

namespace {

int Uso() {
    std::fprintf(stderr, "uso: jetsql [--password PWD] FILE SQL [SQL...]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string password;
    bool conPassword = false;
    int i = 1;
    if (i < argc && std::strcmp(argv[i], "--help") == 0) {
        std::printf("uso: jetsql [--password PWD] FILE SQL [SQL...]\n");
        return 0;
    }
    if (i < argc && std::strcmp(argv[i], "--password") == 0) {
        if (i + 1 >= argc) return Uso();
        password = argv[i + 1];
        conPassword = true;
        i += 2;
    }
    if (argc - i < 2) return Uso();
    const std::string file = argv[i];
    try {
        auto& ws = jet::DBEngine::DelThread().Workspaces(0);
        auto db =
            ws.OpenDatabase(file, false, true, conPassword ? ";Pwd=" + password : std::string());
        for (int q = i + 1; q < argc; ++q) {
            auto rs = db->OpenRecordset(argv[q], jet::dbOpenForwardOnly);
            const int n = rs->FieldsCount();
            std::vector<std::pair<std::string, jet::Valore>> riga(static_cast<std::size_t>(n));
            for (int c = 0; c < n; ++c) riga[static_cast<std::size_t>(c)].first = rs->FieldName(c);
            std::string out;
            while (!rs->Eof()) {
                for (int c = 0; c < n; ++c) riga[static_cast<std::size_t>(c)].second = rs->Campo(c);
                out = jetsql::RigaJson(riga);
                out += '\n';
                std::fwrite(out.data(), 1, out.size(), stdout);
                rs->MoveNext();
            }
            rs->Close();
        }
        db->Close();
        if (std::fflush(stdout) != 0) {
            std::fprintf(stderr, "errore 57: errore di scrittura dei risultati\n");
            return 1;
        }
        return 0;
    } catch (const vq::Errore& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "errore %d: %s\n", e.numero(), e.descrizione().c_str());
        return 1;
    } catch (const std::exception& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "errore 7: %s\n", e.what());
        return 1;
    }
}
