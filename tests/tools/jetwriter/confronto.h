// Checks shared by the tests: what two readers and the mdbtools commands find in a file.
#pragma once

#include "lettori.h"

#include <gtest/gtest.h>

namespace prova {

// Datetime values of a libmdb reading, turned into mdb-reader's milliseconds.
inline Righe InMillisecondi(const TabellaLetta& t) {
    Righe r = t.righe;
    for (std::size_t c = 0; c < t.colonne.size(); ++c) {
        if (t.colonne[c].tipo != "datetime") continue;
        for (auto& riga : r)
            if (riga[c] != "NULL") riga[c] = CanonicoData(std::stod(riga[c]), true);
    }
    return r;
}

// The mdbtools commands agree with a libmdb reading: version, table list, row counts.
inline void ControllaComandi(const std::filesystem::path& file, const DatabaseLetto& db) {
    int stato = 0;
    const std::string f = Quota(file.string());
    EXPECT_EQ(Esegui("mdb-ver " + f + " 2>/dev/null", stato),
              db.formato == "jet3" ? "JET3\n" : "JET4\n");
    EXPECT_EQ(stato, 0);
    std::string attese;
    for (const auto& t : db.tabelle) attese += t.nome + "\n";
    EXPECT_EQ(Esegui("mdb-tables -1 " + f + " 2>/dev/null", stato), attese);
    for (const auto& t : db.tabelle) {
        EXPECT_EQ(Esegui("mdb-count " + f + " " + Quota(t.nome) + " 2>/dev/null", stato),
                  std::to_string(t.righe.size()) + "\n")
            << t.nome;
        // mdb-export prints a header line and one line per row (no text here holds a line break
        // unless a test says so, hence only a lower bound).
        const std::string csv =
            Esegui("mdb-export " + f + " " + Quota(t.nome) + " 2>/dev/null", stato);
        EXPECT_EQ(stato, 0) << t.nome;
        EXPECT_GE(static_cast<std::size_t>(std::count(csv.begin(), csv.end(), '\n')),
                  t.righe.size() + 1)
            << t.nome;
    }
}

// libmdb and mdb-reader find the same tables, columns and values. Columns of types the
// writer does not produce (OLE, binary and the later ones) are left out: mdb-reader 3.1
// reports OLE columns as long integers.
inline bool TipoScritto(const std::string& tipo) {
    return tipo != "ole" && tipo != "binary" && tipo != "altro";
}

inline void ControllaLettoriConcordi(const DatabaseLetto& a, const DatabaseLetto& b) {
    EXPECT_EQ(a.formato, b.formato);
    ASSERT_EQ(a.tabelle.size(), b.tabelle.size());
    for (const auto& ta : a.tabelle) {
        const TabellaLetta* tb = b.Tabella(ta.nome);
        ASSERT_NE(tb, nullptr) << ta.nome;
        ASSERT_EQ(ta.colonne.size(), tb->colonne.size()) << ta.nome;
        for (std::size_t c = 0; c < ta.colonne.size(); ++c) {
            EXPECT_EQ(ta.colonne[c].nome, tb->colonne[c].nome) << ta.nome;
            if (!TipoScritto(ta.colonne[c].tipo)) continue;
            EXPECT_EQ(ta.colonne[c].tipo, tb->colonne[c].tipo)
                << ta.nome << "." << ta.colonne[c].nome;
            EXPECT_EQ(ta.colonne[c].contatore, tb->colonne[c].contatore)
                << ta.nome << "." << ta.colonne[c].nome;
        }
        EXPECT_EQ(ta.righeDichiarate, tb->righeDichiarate) << ta.nome;
        Righe ra = InMillisecondi(ta);
        Righe rb = tb->righe;
        for (std::size_t c = 0; c < ta.colonne.size(); ++c) {
            if (TipoScritto(ta.colonne[c].tipo)) continue;
            for (auto& r : ra) r[c] = "-";
            for (auto& r : rb) r[c] = "-";
        }
        ASSERT_EQ(ra.size(), rb.size()) << ta.nome;
        for (std::size_t r = 0; r < ra.size(); ++r)
            ASSERT_EQ(ra[r], rb[r]) << ta.nome << " riga " << r + 1;
    }
}

}  // namespace prova
