#include <glib.h>
// glib first: mdbtools.h uses its types.
#include <mdbtools.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "jetwriter/jetwriter.h"

namespace {

// libmdb needs an open file for the text conversion of property names: a small Jet 3 one.
MdbHandle* Handle() {
    static MdbHandle* mdb = [] {
        char d[] = "/tmp/fuzz-prop-XXXXXX";
        if (!mkdtemp(d)) std::abort();
        const std::filesystem::path p = std::filesystem::path(d) / "f.mdb";
        jetwriter::OpzioniMirtesa o;
        o.operazioni = 1;
        jetwriter::ScriviDemoMirtesa(o, p);
        MdbHandle* h = mdb_open(p.c_str(), MDB_NOFLAGS);
        std::filesystem::remove_all(d);
        if (!h) std::abort();
        return h;
    }();
    return mdb;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dati, std::size_t n) {
    // An exact copy on the heap: a read past its end shows.
    std::vector<std::uint8_t> blob(dati, dati + n);
    // The loader's own mdb_kkd_to_props: checked, then libmdb's parser. What it returns is
    // freed below, so a leak report means the parser lost memory.
    GPtrArray* p = mdb_kkd_to_props(Handle(), blob.data(), blob.size());
    if (!p) std::abort();
    for (guint i = 0; i < p->len; ++i)
        mdb_free_props(static_cast<MdbProperties*>(g_ptr_array_index(p, i)));
    g_ptr_array_free(p, TRUE);
    return 0;
}
