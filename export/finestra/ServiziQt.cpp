#include "ServiziQt.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

#include <utility>
#include <vector>

#include "vq/errore.h"

namespace travasa::finestra {

namespace {

QMessageBox::Icon IconaQt(shell::Icona icona) {
    switch (icona) {
        case shell::Icona::Stop: return QMessageBox::Critical;
        case shell::Icona::Domanda: return QMessageBox::Question;
        case shell::Icona::Esclamazione: return QMessageBox::Warning;
        case shell::Icona::Informazione: return QMessageBox::Information;
        case shell::Icona::Nessuna: break;
    }
    return QMessageBox::NoIcon;
}

// The buttons of the style values and the results they give back.
const std::vector<std::pair<int, QMessageBox::StandardButton>>& Pulsanti() {
    static const std::vector<std::pair<int, QMessageBox::StandardButton>> tabella = {
        {shell::IDOK, QMessageBox::Ok},         {shell::IDCANCEL, QMessageBox::Cancel},
        {shell::IDABORT, QMessageBox::Abort},   {shell::IDRETRY, QMessageBox::Retry},
        {shell::IDIGNORE, QMessageBox::Ignore}, {shell::IDYES, QMessageBox::Yes},
        {shell::IDNO, QMessageBox::No}};
    return tabella;
}

QMessageBox::StandardButton PulsanteQt(int id) {
    for (const auto& [risultato, pulsante] : Pulsanti())
        if (risultato == id) return pulsante;
    return QMessageBox::Ok;
}

}  // namespace

int MessageBoxQt::Mostra(const std::string& testo, const std::string& titolo, std::uint32_t stile) {
    QMessageBox box(IconaQt(shell::IconaDi(stile)), QString::fromStdString(titolo),
                    QString::fromStdString(testo), QMessageBox::NoButton,
                    QApplication::activeWindow());
    const std::vector<int> ids = shell::PulsantiDi(stile);
    for (int id : ids) box.addButton(PulsanteQt(id));
    box.setDefaultButton(PulsanteQt(shell::PulsantePredefinito(stile)));
    // Closing the box with Esc or its frame gives Cancel when there is one, else the
    // default button, as the desktop's boxes do.
    bool annulla = false;
    for (int id : ids) annulla = annulla || id == shell::IDCANCEL;
    const int fuga = annulla ? shell::IDCANCEL : shell::PulsantePredefinito(stile);
    box.setEscapeButton(PulsanteQt(fuga));
    // The busy cursor is not the pointer a person answers a box with.
    const bool attesa = attesa_;
    if (attesa) QApplication::setOverrideCursor(Qt::ArrowCursor);
    box.exec();
    if (attesa) QApplication::restoreOverrideCursor();
    const auto scelto = box.standardButton(box.clickedButton());
    for (const auto& [risultato, pulsante] : Pulsanti())
        if (pulsante == scelto) return risultato;
    return fuga;
}

void MessageBoxQt::Beep() { QApplication::beep(); }

void MessageBoxQt::CursoreAttesa(bool attivo) {
    if (attivo == attesa_) return;
    attesa_ = attivo;
    if (attivo) QApplication::setOverrideCursor(Qt::WaitCursor);
    else QApplication::restoreOverrideCursor();
}

QStringList DialogoSalvaQt::FiltriQt(const std::string& filtro) {
    const QStringList parti = QString::fromStdString(filtro).split(u'|');
    QStringList filtri;
    for (qsizetype i = 0; i + 1 < parti.size(); i += 2) {
        const QString& descrizione = parti[i];
        QString modelli = parti[i + 1];
        modelli.replace(u';', u' ');
        filtri << (descrizione.contains(u'(')
                       ? descrizione
                       : descrizione + QStringLiteral(" (") + modelli + u')');
    }
    return filtri;
}

void DialogoSalvaQt::ShowSave(ImpostazioniDialogo& impostazioni) {
    constexpr std::int32_t kChiediSostituzione = 2;
    constexpr std::int32_t kPercorsoEsistente = 2048;

    QFileDialog dialogo(genitore_, QStringLiteral("Salva con nome"));
    dialogo.setAcceptMode(QFileDialog::AcceptSave);
    dialogo.setFileMode(QFileDialog::AnyFile);
    dialogo.setNameFilters(FiltriQt(impostazioni.Filter));
    dialogo.setDefaultSuffix(QString::fromStdString(impostazioni.DefaultExt));
    if (!(impostazioni.Flags & kChiediSostituzione))
        dialogo.setOption(QFileDialog::DontConfirmOverwrite);

    // The previous choice opens the dialog in its own folder; otherwise the initial one.
    const QFileInfo precedente(QString::fromStdString(impostazioni.FileName));
    QString cartella = QString::fromStdString(impostazioni.InitDir);
    if (!impostazioni.FileName.empty() && precedente.dir().exists() &&
        !precedente.path().isEmpty() && precedente.path() != QStringLiteral("."))
        cartella = precedente.path();
    if (cartella.isEmpty() || !QDir(cartella).exists()) cartella = QDir::homePath();
    dialogo.setDirectory(cartella);
    if (!impostazioni.FileName.empty()) dialogo.selectFile(precedente.fileName());

    for (;;) {
        if (dialogo.exec() != QDialog::Accepted || dialogo.selectedFiles().isEmpty()) {
            if (impostazioni.CancelError)
                vq::Solleva(kErrDialogoAnnullato, "Annullato dall'utente.");
            impostazioni.FileName.clear();
            return;
        }
        const QString scelto = dialogo.selectedFiles().constFirst();
        if ((impostazioni.Flags & kPercorsoEsistente) && !QFileInfo(scelto).dir().exists()) {
            QMessageBox::warning(
                &dialogo, dialogo.windowTitle(),
                scelto + QStringLiteral("\nIl percorso non esiste.\nVerificare che "
                                        "sia stato specificato il percorso corretto."));
            continue;
        }
        impostazioni.FileName = QDir::toNativeSeparators(scelto).toStdString();
        return;
    }
}

}  // namespace travasa::finestra
