// The Jet engine for its tests: the thread's workspace, small limits, whole query results.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "jet/dao.h"
#include "errore_prova.h"
#include "file_prova.h"
#include "jet_prova.h"

namespace prova {

inline jet::Workspace& Ws() { return jet::DBEngine::DelThread().Workspaces(0); }

// Test limits for the reading child: small enough that a runaway costs little.
inline void LimitiDiProva() {
    jet::Limiti l;
    l.memoriaMb = 1024;
    l.tempo = std::chrono::seconds(20);
    jet::DBEngine::DelThread().ImpostaLimiti(l);
}

// All rows of a query, each field as an engine value.
inline std::vector<std::vector<jet::Valore>> Righe(jet::Database& db, const std::string& sql) {
    auto rs = db.OpenRecordset(sql);
    std::vector<std::vector<jet::Valore>> out;
    while (!rs->Eof()) {
        std::vector<jet::Valore> r;
        for (int i = 0; i < rs->FieldsCount(); ++i) r.push_back(rs->Campo(i));
        out.push_back(std::move(r));
        rs->MoveNext();
    }
    return out;
}

// The single value of a one-row, one-column query.
inline jet::Valore Uno(jet::Database& db, const std::string& sql) {
    auto r = Righe(db, sql);
    EXPECT_EQ(r.size(), 1u) << sql;
    return r.at(0).at(0);
}

// A Count(*): one row holding a long.
inline std::int64_t Conta(jet::Database& db, const std::string& sql) {
    jet::Valore v = Uno(db, sql);
    EXPECT_EQ(v.tipo, jet::Valore::Tipo::Lungo);
    return v.intero;
}

}  // namespace prova
