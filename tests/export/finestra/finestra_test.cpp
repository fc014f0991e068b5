// The window under Qt's offscreen platform, on a generated household of a demo host
// installation: its controls, and each of its events driven as a person would (clicks and
// keys), with the message boxes, the beep and the busy cursor recorded.
#include <gtest/gtest.h>

#include <shell/messagebox.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "componenti_prova.h"
#include "frmMain.h"
#include "ole/ole.hpp"

namespace {

using travasa::finestra::frmMain;
namespace fs = std::filesystem;

// The application object lives from before the first test to after the last: destroyed
// among the process's static objects, it would outlive parts of Qt it still uses.
class AmbienteQt : public ::testing::Environment {
public:
    void SetUp() override {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        app_ = std::make_unique<QApplication>(argc_, argv_);
    }
    void TearDown() override { app_.reset(); }

private:
    int argc_ = 1;
    char nome_[16] = "test_finestra";
    char* argv_[2] = {nome_, nullptr};
    std::unique_ptr<QApplication> app_;
};
[[maybe_unused]] auto* const ambiente = ::testing::AddGlobalTestEnvironment(new AmbienteQt);

// The save dialog's stand-in: answers with a file, or cancels.
class DialogoFinto : public travasa::DialogoSalva {
public:
    std::string risposta;  // "" = cancel
    std::vector<travasa::ImpostazioniDialogo> aperture;
    void ShowSave(travasa::ImpostazioniDialogo& i) override {
        aperture.push_back(i);
        if (risposta.empty()) vq::Solleva(travasa::kErrDialogoAnnullato);
        i.FileName = risposta;
    }
};

class ApriFinto : public travasa::ApriDocumento {
public:
    struct Chiamata {
        std::string file;
        bool muto;
    };
    std::vector<Chiamata> chiamate;
    std::int32_t Apri(std::intptr_t, const std::string& file, bool muto) override {
        chiamate.push_back({file, muto});
        return 0;
    }
};

class Finestra : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        cartella_ = std::make_unique<prova::Cartella>("vq-finestra", prova::kInMemoria);
        cartella_->UsaPerIlRegistro();
        const std::string comando = std::string(VQ_INSTALLA_DEMO) + " " +
                                    (*cartella_ / "host").string() +
                                    " --operazioni 400 --seme 7 >/dev/null";
        installato_ = std::system(comando.c_str()) == 0;
    }
    static void TearDownTestSuite() { cartella_.reset(); }

    void SetUp() override {
        if (!installato_)
            GTEST_SKIP() << "mirtesa-installa-demo non ha installato l'host dimostrativo";
        travasa::finestra::OpzioniFinestra o;
        o.dialogo = &dialogo_;
        o.documenti = &apri_;
        o.pausa = [this](std::int32_t ms) {
            pause_.push_back(ms);
            barraPiena_ = barra()->isVisible() && barra()->value() == barra()->maximum();
        };
        o.identita =
            travasa::IdentitaProgramma{std::string(VQ_CARTELLA_PROGRAMMI) + "/", "travasa"};
        finestra_ = std::make_unique<frmMain>(std::move(o));
        finestra_->Carica();
        finestra_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(finestra_.get()));
        registro_->Svuota();
    }
    void TearDown() override {
        if (finestra_) finestra_->close();
        finestra_.reset();
    }

    template <class T>
    T* c(const char* nome) const {
        auto* w = finestra_->findChild<T*>(QString::fromLatin1(nome));
        EXPECT_NE(w, nullptr) << nome;
        return w;
    }
    QComboBox* conti() const { return c<QComboBox>("cboConti"); }
    QComboBox* casse() const { return c<QComboBox>("cboCassa"); }
    QListWidget* lista() const { return c<QListWidget>("ListaSelezione"); }
    QProgressBar* barra() const { return c<QProgressBar>("prgStato"); }
    void clic(const char* nome) const {
        QTest::mouseClick(c<QAbstractButton>(nome), Qt::LeftButton);
    }
    // Chooses an entry of a drop-down list from the keyboard, as a person does.
    static void scegli(QComboBox* cbo, const QString& testo) {
        const int i = cbo->findText(testo);
        ASSERT_GE(i, 0) << testo.toStdString();
        cbo->setFocus();
        while (cbo->currentIndex() < i) QTest::keyClick(cbo, Qt::Key_Down);
        while (cbo->currentIndex() > i) QTest::keyClick(cbo, Qt::Key_Up);
    }
    QStringList voci() const {
        QStringList r;
        for (int i = 0; i < lista()->count(); ++i) r << lista()->item(i)->text();
        return r;
    }

    static inline std::unique_ptr<prova::Cartella> cartella_;
    static inline bool installato_ = false;
    ole::Inizializza com_;
    std::shared_ptr<shell::RegistratoreMessaggi> registro_ =
        std::make_shared<shell::RegistratoreMessaggi>();
    shell::ServizioTemporaneo servizio_{registro_};
    DialogoFinto dialogo_;
    ApriFinto apri_;
    std::vector<std::int32_t> pause_;
    bool barraPiena_ = false;
    std::unique_ptr<frmMain> finestra_;
};

TEST(Twip, PixelAllaRisoluzioneLogica) {
    struct Caso {
        int twip;
        double dpi;
        int pixel;
    } casi[] = {{1440, 96, 96}, {7965, 96, 531}, {6825, 96, 455},
                {375, 96, 25},  {375, 120, 31},  {120, 144, 12}};
    for (const Caso& k : casi)
        EXPECT_EQ(travasa::finestra::DaTwip(k.twip, k.dpi), k.pixel) << k.twip << "@" << k.dpi;
}

TEST_F(Finestra, ControlliConTestoSuggerimentoEStatoIniziale) {
    struct Controllo {
        const char* nome;
        const char* testo;
        const char* suggerimento;
        bool abilitato;
    } tabella[] = {
        {"chkIniziale", "Data Iniziale", "Usa il filtro data iniziale", true},
        {"cmdDefaultDI", "D", "Reimposta il valore di default della data iniziale", false},
        {"chkFinale", "Data Finale", "Usa il filtro data finale", true},
        {"cmdDefaultDF", "D", "Reimposta il valore di default della data finale", false},
        {"cmdAggiungi", "Aggiungi",
         "Aggiunge il conto\\cassa selezionato nella lista dei selezionati", true},
        {"cmdRemove", "Rimuovi", "Rimuove la voce selezionata dalla lista", true},
        {"cmdClear", "Ripulisci", "Ripulisce il contenuto della lista", true},
        {"chkVerifica", "Verifica il formato dei dati", "", true},
        {"chkCss", "Includi foglio di stile (xsl)", "", true},
        {"cmdEsporta", "Esporta", "Inizia la procedura di esportazione", true},
    };
    for (const Controllo& k : tabella) {
        auto* b = c<QAbstractButton>(k.nome);
        if (!b) continue;
        EXPECT_EQ(b->text().toStdString(), k.testo) << k.nome;
        EXPECT_EQ(b->toolTip().toStdString(), k.suggerimento) << k.nome;
        EXPECT_EQ(b->isEnabled(), k.abilitato) << k.nome;
    }
    EXPECT_FALSE(c<QCheckBox>("chkIniziale")->isChecked());
    EXPECT_FALSE(c<QCheckBox>("chkFinale")->isChecked());
    EXPECT_FALSE(c<QCheckBox>("chkVerifica")->isChecked());
    EXPECT_TRUE(c<QCheckBox>("chkCss")->isChecked());
    EXPECT_FALSE(c<QDateEdit>("DtDataIniziale")->isEnabled());
    EXPECT_EQ(c<QDateEdit>("DtDataFinale")->displayFormat(), QStringLiteral("dd/MM/yyyy"));
    EXPECT_TRUE(c<QDateEdit>("DtDataFinale")->calendarPopup());
    EXPECT_EQ(c<QGroupBox>("Frame2")->title(), QStringLiteral("Filtro Data "));
    EXPECT_EQ(c<QGroupBox>("Frame1")->title(), QStringLiteral("Filtro Conto "));
    EXPECT_TRUE(c<QGroupBox>("Frame1")->font().bold());
    EXPECT_FALSE(c<QLabel>("Label3")->font().bold());
    EXPECT_EQ(c<QLabel>("Label3")->text(), QStringLiteral("Lista Conti/Codici Cassa selezionati:"));
    EXPECT_EQ(c<QToolButton>("cmdEsporta")->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
    EXPECT_FALSE(c<QToolButton>("cmdEsporta")->icon().isNull());
    EXPECT_FALSE(barra()->isVisible());
    // The tool bar: a separator, then the help button.
    const auto azioni = c<QToolBar>("toolMain")->actions();
    ASSERT_EQ(azioni.size(), 2);
    EXPECT_TRUE(azioni[0]->isSeparator());
    EXPECT_EQ(azioni[1]->toolTip(), QStringLiteral("Help"));
    EXPECT_FALSE(azioni[1]->icon().isNull());

    // Tab order from the first control to take the focus.
    EXPECT_EQ(QApplication::focusWidget(), c<QCheckBox>("chkIniziale"));
    const char* ordine[] = {"chkIniziale",  "DtDataIniziale", "chkFinale",   "DtDataFinale",
                            "cboConti",     "cboCassa",       "cmdAggiungi", "ListaSelezione",
                            "cmdRemove",    "cmdClear",       "chkVerifica", "cmdEsporta",
                            "cmdDefaultDI", "cmdDefaultDF",   "chkCss"};
    QWidget* w = c<QWidget>(ordine[0]);
    for (std::size_t i = 1; i < std::size(ordine); ++i) {
        w = w->nextInFocusChain();
        while (w->focusPolicy() == Qt::NoFocus || w->focusProxy()) w = w->nextInFocusChain();
        EXPECT_EQ(w->objectName().toStdString(), ordine[i]) << "dopo " << ordine[i - 1];
        w = c<QWidget>(ordine[i]);
    }
}

TEST_F(Finestra, CaricamentoRiempieIContiEScriveTitoloEVersione) {
    ASSERT_GE(conti()->count(), 2);
    EXPECT_EQ(conti()->itemText(0), QStringLiteral("<Tutti i Conti>"));
    EXPECT_EQ(conti()->itemData(0).toInt(), -1);
    EXPECT_EQ(conti()->currentIndex(), 0);
    for (const char* conto :
         {"Casa", "Carta di credito", "Conto corrente Banca Popolare", "Contanti"})
        EXPECT_GE(conti()->findText(QString::fromUtf8(conto)), 1) << conto;
    EXPECT_EQ(casse()->count(), 0);
    EXPECT_FALSE(casse()->isEnabled());
    EXPECT_EQ(finestra_->windowTitle(),
              QStringLiteral("Esporta XML - Modulo Aggiuntivo di Mirtesa"));
    EXPECT_EQ(c<QLabel>("lblVersione")->text(),
              QStringLiteral("V.%1.%2").arg(VQ_VERSIONE_MAGGIORE).arg(VQ_VERSIONE_MINORE));
    auto* esporta = c<QWidget>("cmdEsporta");
    EXPECT_LE(std::abs(esporta->x() * 2 + esporta->width() - finestra_->width()), 1);
}

TEST_F(Finestra, ContoSceltoCaricaISuoiCodiciCassa) {
    scegli(conti(), QStringLiteral("Casa"));
    EXPECT_TRUE(casse()->isEnabled());
    ASSERT_EQ(casse()->count(), 4);
    EXPECT_EQ(casse()->itemText(0), QStringLiteral("<Tutti i Codici>"));
    EXPECT_EQ(casse()->currentIndex(), 0);
    QStringList codici;
    for (int i = 1; i < casse()->count(); ++i) codici << casse()->itemText(i);
    codici.sort();
    EXPECT_EQ(codici,
              (QStringList{"Casa e manutenzione", "Scuola e università", "Spesa alimentare"}));
    EXPECT_EQ(casse()->itemData(casse()->findText(QStringLiteral("Spesa alimentare"))).toInt(), 1);
    scegli(conti(), QStringLiteral("<Tutti i Conti>"));
    EXPECT_EQ(casse()->count(), 0);
    EXPECT_FALSE(casse()->isEnabled());
}

TEST_F(Finestra, CaselleDataAbilitanoDataEPulsanteEDRiporta) {
    const QDate oggi = QDate::currentDate();
    struct Caso {
        const char* casella;
        const char* data;
        const char* pulsante;
        QDate predefinita;
    } casi[] = {{"chkIniziale", "DtDataIniziale", "cmdDefaultDI", QDate(oggi.year(), 1, 1)},
                {"chkFinale", "DtDataFinale", "cmdDefaultDF", oggi}};
    for (const Caso& k : casi) {
        auto* data = c<QDateEdit>(k.data);
        clic(k.casella);
        EXPECT_TRUE(data->isEnabled()) << k.data;
        EXPECT_TRUE(c<QWidget>(k.pulsante)->isEnabled()) << k.pulsante;
        data->setFocus();
        data->setDate(QDate(2001, 2, 3));
        clic(k.pulsante);
        EXPECT_EQ(data->date(), k.predefinita) << k.pulsante;
        clic(k.casella);
        EXPECT_FALSE(data->isEnabled()) << k.data;
        EXPECT_FALSE(c<QWidget>(k.pulsante)->isEnabled()) << k.pulsante;
    }
    EXPECT_TRUE(registro_->Messaggi().empty());
}

TEST_F(Finestra, AggiungiRimuoviRipulisci) {
    struct Passo {
        const char* conto;  // nullptr: no choice
        const char* cassa;
        const char* pulsante;
        QStringList lista;
        int selezionata;
        int beep;
    } passi[] = {
        {"<Tutti i Conti>", nullptr, "cmdAggiungi", {"<Tutti i Conti>"}, 0, 0},
        {"<Tutti i Conti>", nullptr, "cmdAggiungi", {"<Tutti i Conti>"}, 0, 1},
        {"Casa",
         "<Tutti i Codici>",
         "cmdAggiungi",
         {"<Tutti i Conti>", "Casa\\ <Tutti i Codici>"},
         1,
         1},
        {"Casa",
         "Spesa alimentare",
         "cmdAggiungi",
         {"<Tutti i Conti>", "Casa\\ <Tutti i Codici>", "Casa\\ Spesa alimentare"},
         2,
         1},
        {"Casa",
         "<Tutti i Codici>",
         "cmdAggiungi",
         {"<Tutti i Conti>", "Casa\\ <Tutti i Codici>", "Casa\\ Spesa alimentare"},
         1,
         2},
        {nullptr, nullptr, "cmdRemove", {"<Tutti i Conti>", "Casa\\ Spesa alimentare"}, 0, 2},
        {nullptr, nullptr, "cmdRemove", {"Casa\\ Spesa alimentare"}, 0, 2},
        {nullptr, nullptr, "cmdClear", {}, -1, 2},
        {nullptr, nullptr, "cmdRemove", {}, -1, 3},
        {nullptr, nullptr, "cmdClear", {}, -1, 3},
    };
    int n = 0;
    for (const Passo& p : passi) {
        SCOPED_TRACE(++n);
        if (p.conto) scegli(conti(), QString::fromUtf8(p.conto));
        if (p.cassa) scegli(casse(), QString::fromUtf8(p.cassa));
        clic(p.pulsante);
        EXPECT_EQ(voci(), p.lista);
        EXPECT_EQ(lista()->currentRow(), p.selezionata);
        EXPECT_EQ(registro_->Beeps(), p.beep);
    }
    // The ids kept with the entries: -1 for every account, the account's id for all its
    // codes, the cash code's id otherwise.
    scegli(conti(), QStringLiteral("<Tutti i Conti>"));
    clic("cmdAggiungi");
    scegli(conti(), QStringLiteral("Casa"));
    clic("cmdAggiungi");
    scegli(casse(), QStringLiteral("Casa e manutenzione"));
    clic("cmdAggiungi");
    ASSERT_EQ(lista()->count(), 3);
    // A click below the entries leaves the chosen one highlighted.
    QTest::mouseClick(lista()->viewport(), Qt::LeftButton, {},
                      QPoint(5, lista()->viewport()->height() - 3));
    EXPECT_EQ(lista()->currentRow(), 2);
    EXPECT_TRUE(lista()->item(2)->isSelected());
    EXPECT_EQ(lista()->item(0)->data(Qt::UserRole).toInt(), -1);
    EXPECT_EQ(lista()->item(1)->data(Qt::UserRole).toInt(), 1);
    EXPECT_EQ(lista()->item(2)->data(Qt::UserRole).toInt(), 14);
    EXPECT_TRUE(registro_->Messaggi().empty());
}

TEST_F(Finestra, PulsanteHelpApreLaPagina) {
    auto* strumenti = c<QToolBar>("toolMain");
    QTest::mouseClick(strumenti->widgetForAction(strumenti->actions().at(1)), Qt::LeftButton);
    ASSERT_EQ(apri_.chiamate.size(), 1u);
    EXPECT_EQ(apri_.chiamate[0].file, std::string(VQ_CARTELLA_PROGRAMMI) + "/travasa.htm");
    EXPECT_FALSE(apri_.chiamate[0].muto);
}

TEST_F(Finestra, EsportaFinoAlDialogo) {
    struct Caso {
        const char* nome;
        bool aggiungi;
        const char* file;  // the dialog's answer, "" = cancel
        const char* messaggio;
        const char* titolo;
        std::uint32_t stile;
        int aperture;
    } casi[] = {
        {"lista vuota", false, "x.xml",
         "E' necessario aggiungere almeno una voce nella lista dei conti/codici cassa.", "Errore",
         16, 0},
        {"annullato", true, "", nullptr, nullptr, 0, 1},
        {"esportato", true, "estratto.xml",
         "Esportazione completata correttamente. Totale record esportati: 400", "Esportazione", 64,
         2},
    };
    for (const Caso& k : casi) {
        SCOPED_TRACE(k.nome);
        registro_->Svuota();
        const fs::path file =
            *cartella_ / "uscita" / (std::string(k.file).empty() ? "nessuno.xml" : k.file);
        fs::create_directories(file.parent_path());
        dialogo_.risposta = std::string(k.file).empty() ? "" : file.string();
        if (k.aggiungi && lista()->count() == 0) clic("cmdAggiungi");
        clic("cmdEsporta");
        EXPECT_EQ(dialogo_.aperture.size(), static_cast<std::size_t>(k.aperture));
        const auto messaggi = registro_->Messaggi();
        if (!k.messaggio) {
            EXPECT_TRUE(messaggi.empty());
            EXPECT_FALSE(fs::exists(file));
            continue;
        }
        ASSERT_EQ(messaggi.size(), 1u);
        EXPECT_EQ(messaggi[0].testo, k.messaggio);
        EXPECT_EQ(messaggi[0].titolo, k.titolo);
        EXPECT_EQ(messaggi[0].stile, k.stile);
    }
    // The successful run: the file and its stylesheet written, the bar full and shown
    // during the pause, then hidden; the busy cursor on, then off.
    const fs::path file = *cartella_ / "uscita" / "estratto.xml";
    EXPECT_TRUE(fs::exists(file));
    EXPECT_TRUE(fs::exists(*cartella_ / "uscita" / "estratto.xsl"));
    EXPECT_EQ(pause_, std::vector<std::int32_t>{300});
    EXPECT_TRUE(barraPiena_);
    EXPECT_FALSE(barra()->isVisible());
    EXPECT_EQ(registro_->Cursori(), (std::vector<bool>{true, false}));
    ASSERT_FALSE(dialogo_.aperture.empty());
    EXPECT_EQ(dialogo_.aperture.back().DefaultExt, "xml");
    EXPECT_EQ(dialogo_.aperture.back().Filter, "File XML (*.xml)|*.xml");
    EXPECT_EQ(dialogo_.aperture.back().Flags, 2054);
}

}  // namespace
