#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <thread>

#include "vq/errore.h"

namespace {

TEST(Errore, SollevaImpostaIlCorrenteELanciaLoStesso) {
    vq::CancellaErrore();
    try {
        vq::Solleva(4567, "Versione dati non supportata");
        FAIL() << "Solleva returned";
    } catch (const vq::Errore& e) {
        EXPECT_EQ(e.numero(), 4567);
        EXPECT_EQ(e.descrizione(), "Versione dati non supportata");
        EXPECT_STREQ(e.what(), "Versione dati non supportata");
    }
    EXPECT_EQ(vq::Err().numero, 4567);
    EXPECT_EQ(vq::Err().descrizione, "Versione dati non supportata");
    vq::CancellaErrore();
    EXPECT_EQ(vq::Err().numero, 0);
    EXPECT_TRUE(vq::Err().descrizione.empty());
}

TEST(Errore, DescrizioneVuotaPrendeIlTestoDelRuntime) {
    struct Caso {
        int numero;
        const char* testo;
    };
    const Caso casi[] = {
        {6, "Overflow"},
        {3, "Return senza GoSub"},
        {10, "Questa matrice è fissa o temporaneamente bloccata "},
        {53, "Impossibile trovare il file"},
        {76, "Impossibile trovare il percorso "},
        {746, "Sostituzioni troppo lunghe"},
        {1000, "Errore definito dall'applicazione o dall'oggetto"},
        {-2147467259, "Errore definito dall'applicazione o dall'oggetto"},
    };
    for (const auto& c : casi) {
        SCOPED_TRACE(c.numero);
        EXPECT_EQ(vq::DescrizioneRuntime(c.numero), c.testo);
        EXPECT_THROW(vq::Solleva(c.numero), vq::Errore);
        EXPECT_EQ(vq::Err().descrizione, c.testo);
    }
}

TEST(Errore, IlCorrenteEPerThread) {
    vq::ImpostaErrore(53, "qui");
    int visto = -1;
    std::thread t([&] {
        visto = vq::Err().numero;
        vq::ImpostaErrore(70, "altrove");
    });
    t.join();
    EXPECT_EQ(visto, 0);
    EXPECT_EQ(vq::Err().numero, 53);
    EXPECT_EQ(vq::Err().descrizione, "qui");
    vq::CancellaErrore();
}

TEST(Errore, ImpostaErroreDaOgniEccezione) {
    auto da = [](auto&& lancia) {
        try {
            lancia();
        } catch (...) {
            return vq::ImpostaErroreDa(std::current_exception());
        }
        return vq::Err();
    };
    auto e1 = da([] { throw vq::Errore(-2147217900, "Errore di sintassi"); });
    EXPECT_EQ(e1.numero, -2147217900);
    EXPECT_EQ(e1.descrizione, "Errore di sintassi");
    auto e2 = da([] { throw std::bad_alloc(); });
    EXPECT_EQ(e2.numero, 7);
    EXPECT_EQ(e2.descrizione, "Memoria esaurita");
    auto e3 = da([] { throw std::runtime_error("guasto"); });
    EXPECT_EQ(e3.numero, 5);
    EXPECT_EQ(e3.descrizione, "guasto");
    auto e4 = da([] { throw 42; });
    EXPECT_EQ(e4.numero, 5);
    EXPECT_EQ(e4.descrizione, "Chiamata di routine o argomento non valido");
    vq::CancellaErrore();
}

}  // namespace
