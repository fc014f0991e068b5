// The property blobs ("KKD"/"MR2" in MSysObjects.LvProp) are parsed by libmdb while it
// reads the catalog. Its parser trusts every length in them: a record length of 0 makes
// it loop for ever, allocating at each turn, and short records make it read past the
// blob. This definition takes the place of libmdb's own (libmdb calls it through its
// PLT, so the loader's symbol wins): a blob is handed on only when every length in it
// is consistent, so the parser ends and stays inside it. A damaged blob gives an empty
// property list: the engine reads no properties, only tables and their rows.
#include <glib.h>
// glib first: mdbtools.h uses its types.
#include <dlfcn.h>
#include <mdbtools.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <set>
#include <string_view>
#include <vector>

#include "proprieta.h"

namespace vqjet {
namespace {

std::uint32_t Le16(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0] | (p[1] << 8));
}
std::uint32_t Le32(const unsigned char* p) {
    return Le16(p) | (static_cast<std::uint32_t>(Le16(p + 2)) << 16);
}

// The bytes a value of `tipo` is read as, whatever its declared size says.
std::size_t Minimo(int tipo) {
    switch (tipo) {
        case MDB_BOOL:
        case MDB_BYTE: return 1;
        case MDB_INT: return 2;
        case MDB_LONGINT:
        case MDB_FLOAT: return 4;
        case MDB_MONEY:
        case MDB_DOUBLE:
        case MDB_DATETIME: return 8;
        case MDB_REPID: return 16;
        case MDB_NUMERIC: return 17;
        default: return 0;
    }
}

// A list of names: 16-bit length, then that many bytes, to the end of the block. A name
// given twice is refused: libmdb keys each block's values by name and loses the memory of
// a value whose name comes again (Access writes each name once). Two byte strings that
// libmdb turns into the same key count as the same name.
bool ListaNomi(const unsigned char* b, std::size_t n, const NomeProprieta& nome,
               std::size_t& nomi) {
    std::size_t p = 0;
    std::set<std::string> visti;
    while (p < n) {
        if (n - p < 2) return false;
        std::size_t l = Le16(b + p);
        p += 2;
        if (l > n - p) return false;
        const std::string_view byte(reinterpret_cast<const char*>(b + p), l);
        if (!visti.insert(nome(byte)).second) return false;
        p += l;
    }
    nomi = visti.size();
    return true;
}

// A block of values: a header with the block's name, then records of at least 8 bytes
// (length, type, name index, value size, value). libmdb stops at the first record whose
// name index or value size is out of range, so only what precedes it must hold. Each name
// has one value in a block (see ListaNomi).
bool BloccoValori(const unsigned char* b, std::size_t n, std::size_t nomi) {
    if (n < 6) return false;
    std::size_t p = 6 + static_cast<std::size_t>(Le16(b + 4));
    if (p > n) return false;
    std::vector<bool> dato(nomi);
    while (p < n) {
        if (n - p < 8) return false;
        std::size_t lunghezza = Le16(b + p);
        int tipo = b[p + 3];
        std::size_t elemento = Le16(b + p + 4);
        std::size_t dimensione = Le16(b + p + 6);
        if (elemento >= nomi || p + 8 + dimensione > n) return true;  // libmdb stops here
        if (dato[elemento]) return false;
        dato[elemento] = true;
        if (dimensione < Minimo(tipo == MDB_MEMO ? MDB_TEXT : tipo)) return false;
        if (lunghezza < 8 || lunghezza > n - p) return false;
        p += lunghezza;
    }
    return true;
}

}  // namespace

bool ProprietaValide(const void* blob, std::size_t lunghezza, const NomeProprieta& nome) {
    const auto* b = static_cast<const unsigned char*>(blob);
    if (!b || lunghezza < 4 || (std::memcmp(b, "KKD", 4) != 0 && std::memcmp(b, "MR2", 4) != 0))
        return false;
    std::size_t p = 4;
    std::size_t nomi = 0;
    bool nomiLetti = false;
    while (p < lunghezza) {
        if (lunghezza - p < 6) return false;
        std::size_t record = Le32(b + p);
        std::uint32_t tipo = Le16(b + p + 4);
        if (record < 6 || record > lunghezza - p) return false;
        const unsigned char* dati = b + p + 6;
        const std::size_t n = record - 6;
        if (tipo == 0x80) {
            if (!ListaNomi(dati, n, nome, nomi)) return false;
            nomiLetti = true;
        } else if (tipo <= 2 && nomiLetti) {
            if (!BloccoValori(dati, n, nomi)) return false;
        }
        p += record;
    }
    return true;
}

}  // namespace vqjet

extern "C" __attribute__((visibility("default"))) GPtrArray* mdb_kkd_to_props(MdbHandle* mdb,
                                                                              void* buffer,
                                                                              size_t len) {
    using Originale = GPtrArray* (*)(MdbHandle*, void*, size_t);
    static const auto originale = reinterpret_cast<Originale>(dlsym(RTLD_NEXT, "mdb_kkd_to_props"));
    // The key libmdb makes of a name: converted from the file's encoding, to its first NUL.
    const auto nome = [mdb](std::string_view byte) {
        std::string s(3 * byte.size() + 1, '\0');
        mdb_unicode2ascii(mdb, byte.data(), byte.size(), s.data(), s.size());
        s.resize(std::strlen(s.c_str()));
        return s;
    };
    if (!originale || !vqjet::ProprietaValide(buffer, len, nome)) return g_ptr_array_new();
    return originale(mdb, buffer, len);
}
