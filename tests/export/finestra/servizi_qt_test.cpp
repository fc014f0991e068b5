// The Qt message box and save dialog, answered while they are open (offscreen platform;
// the application object comes from finestra_test.cpp's environment, in the same program).
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <functional>
#include <string>

#include "ServiziQt.h"
#include "componenti_prova.h"
#include "vq/errore.h"

namespace {

using travasa::finestra::DialogoSalvaQt;
using travasa::finestra::MessageBoxQt;

// Runs `risposta` on the modal window as soon as it is open.
template <class T>
void AlModale(std::function<void(T*)> risposta) {
    QTimer::singleShot(0, [risposta] {
        auto* w = qobject_cast<T*>(QApplication::activeModalWidget());
        ASSERT_NE(w, nullptr);
        risposta(w);
    });
}

TEST(MessageBoxQt, IconaPulsantiERisultatoDalloStile) {
    struct Caso {
        std::uint32_t stile;
        QMessageBox::Icon icona;
        QMessageBox::StandardButtons pulsanti;
        QMessageBox::StandardButton predefinito;
        QMessageBox::StandardButton premuto;  // NoButton: closed with Esc
        int risultato;
    } casi[] = {
        {16, QMessageBox::Critical, QMessageBox::Ok, QMessageBox::Ok, QMessageBox::Ok, shell::IDOK},
        {64, QMessageBox::Information, QMessageBox::Ok, QMessageBox::Ok, QMessageBox::NoButton,
         shell::IDOK},
        {1 | 32, QMessageBox::Question, QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok,
         QMessageBox::Cancel, shell::IDCANCEL},
        {4 | 48 | 256, QMessageBox::Warning, QMessageBox::Yes | QMessageBox::No, QMessageBox::No,
         QMessageBox::No, shell::IDNO},
        {3, QMessageBox::NoIcon, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
         QMessageBox::Yes, QMessageBox::NoButton, shell::IDCANCEL},
    };
    MessageBoxQt servizio;
    for (const Caso& k : casi) {
        SCOPED_TRACE(k.stile);
        AlModale<QMessageBox>([&k](QMessageBox* box) {
            EXPECT_EQ(box->windowTitle(), QStringLiteral("Titolo"));
            EXPECT_EQ(box->text(), QStringLiteral("Testo è così"));
            EXPECT_EQ(box->icon(), k.icona);
            EXPECT_EQ(box->standardButtons(), k.pulsanti);
            EXPECT_EQ(box->standardButton(box->defaultButton()), k.predefinito);
            if (k.premuto == QMessageBox::NoButton) QTest::keyClick(box, Qt::Key_Escape);
            else box->button(k.premuto)->click();
        });
        EXPECT_EQ(servizio.Mostra("Testo è così", "Titolo", k.stile), k.risultato);
    }
}

TEST(MessageBoxQt, CursoreDiAttesaAccesoESpentoUnaVolta) {
    MessageBoxQt servizio;
    servizio.CursoreAttesa(true);
    servizio.CursoreAttesa(true);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    servizio.CursoreAttesa(false);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(DialogoSalvaQt, FiltriDelDesktopInFiltriQt) {
    EXPECT_EQ(DialogoSalvaQt::FiltriQt("File XML (*.xml)|*.xml"), QStringList{"File XML (*.xml)"});
    EXPECT_EQ(DialogoSalvaQt::FiltriQt("Testo|*.txt;*.log|Tutti|*.*"),
              (QStringList{"Testo (*.txt *.log)", "Tutti (*.*)"}));
}

TEST(DialogoSalvaQt, SceltaEstensioneCartellaInizialeEAnnullamento) {
    prova::Cartella cartella("vq-dialogo", prova::kInMemoria);
    std::filesystem::create_directories(cartella / "sotto");
    const QString base = QString::fromStdString(cartella.percorso().string());
    struct Caso {
        const char* nome;
        std::string initDir;
        std::string precedente;
        QString cartellaAttesa;
        QString nomeAtteso;  // the name selected when the dialog opens
        QString risposta;    // typed name; empty: cancel
        std::string file;    // FileName afterwards
    } casi[] = {
        {"estensione aggiunta", cartella.percorso().string(), "", base, "", "spese",
         (cartella / "spese.xml").string()},
        {"nome precedente", cartella.percorso().string(),
         (cartella / "sotto" / "prima.xml").string(), base + "/sotto", "prima.xml", "prima.xml",
         (cartella / "sotto" / "prima.xml").string()},
        {"cartella vuota: home", "", "", QDir::homePath(), "", "", ""},
    };
    DialogoSalvaQt dialogo;
    for (const Caso& k : casi) {
        SCOPED_TRACE(k.nome);
        travasa::ImpostazioniDialogo i;
        i.CancelError = true;
        i.DefaultExt = "xml";
        i.Filter = "File XML (*.xml)|*.xml";
        i.Flags = 2054;
        i.InitDir = k.initDir;
        i.FileName = k.precedente;
        AlModale<QFileDialog>([&k](QFileDialog* d) {
            EXPECT_EQ(d->acceptMode(), QFileDialog::AcceptSave);
            EXPECT_EQ(d->nameFilters(), QStringList{"File XML (*.xml)"});
            EXPECT_FALSE(d->testOption(QFileDialog::DontConfirmOverwrite));
            EXPECT_EQ(QDir(d->directory()).canonicalPath(), QDir(k.cartellaAttesa).canonicalPath());
            if (!k.nomeAtteso.isEmpty()) {
                ASSERT_FALSE(d->selectedFiles().isEmpty());
                EXPECT_EQ(QFileInfo(d->selectedFiles().constFirst()).fileName(), k.nomeAtteso);
            }
            if (k.risposta.isEmpty()) {
                d->reject();
                return;
            }
            d->selectFile(k.risposta);
            static_cast<QDialog*>(d)->accept();  // QFileDialog::accept, as the Save button
        });
        if (k.risposta.isEmpty()) {
            try {
                dialogo.ShowSave(i);
                ADD_FAILURE() << "nessun errore all'annullamento";
            } catch (const vq::Errore& e) {
                EXPECT_EQ(e.numero(), travasa::kErrDialogoAnnullato);
            }
            continue;
        }
        dialogo.ShowSave(i);
        EXPECT_EQ(i.FileName, k.file);
    }
}

TEST(DialogoSalvaQt, CartellaInesistenteAvvisaELasciaApertoIlDialogo) {
    prova::Cartella cartella("vq-dialogo", prova::kInMemoria);
    const std::string assente = (cartella / "manca" / "spese.xml").string();
    QString avviso;
    AlModale<QFileDialog>([&](QFileDialog* d) {
        AlModale<QMessageBox>([&](QMessageBox* box) {
            avviso = box->text();
            box->button(QMessageBox::Ok)->click();
            AlModale<QFileDialog>([](QFileDialog* ancora) { ancora->reject(); });
        });
        d->selectFile(QString::fromStdString(assente));
        static_cast<QDialog*>(d)->accept();
    });
    travasa::ImpostazioniDialogo i;
    i.CancelError = true;
    i.DefaultExt = "xml";
    i.Flags = 2054;
    i.InitDir = cartella.percorso().string();
    try {
        DialogoSalvaQt().ShowSave(i);
        ADD_FAILURE() << "accettato un file in una cartella che non esiste";
    } catch (const vq::Errore& e) {
        EXPECT_EQ(e.numero(), travasa::kErrDialogoAnnullato);
    }
    EXPECT_TRUE(avviso.contains(QStringLiteral("Il percorso non esiste"))) << avviso.toStdString();
    EXPECT_FALSE(std::filesystem::exists(cartella / "manca"));
}

}  // namespace
