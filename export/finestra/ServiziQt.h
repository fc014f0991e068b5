// The window's implementations of the program's small services: the message box (with
// the beep and the busy cursor) and the save dialog.
#pragma once

#include <shell/messagebox.h>

#include <QPointer>
#include <QString>

#include "export/Servizi.h"

class QWidget;

namespace travasa::finestra {

// Boxes as QMessageBox with the icon and the buttons of the style value, owned by the
// window that is active when they open; the beep of the desktop; the wait cursor over
// the whole application.
class MessageBoxQt final : public shell::MessageBox {
public:
    int Mostra(const std::string& testo, const std::string& titolo, std::uint32_t stile) override;
    void Beep() override;
    void CursoreAttesa(bool attivo) override;

private:
    bool attesa_ = false;
};

// The save dialog: QFileDialog in save mode. The filter "description|pattern|..." becomes
// Qt's name filters; flag 2 asks before replacing a file, flag 2048 refuses a name in a
// folder that does not exist (the dialog stays open, as on the desktop it imitates).
class DialogoSalvaQt final : public DialogoSalva {
public:
    explicit DialogoSalvaQt(QWidget* genitore = nullptr) : genitore_(genitore) {}
    void ShowSave(ImpostazioniDialogo& impostazioni) override;

    // The Qt name filters of a "description|pattern|description|pattern" text. A
    // description that already names its patterns in brackets is kept as it is.
    static QStringList FiltriQt(const std::string& filtro);

private:
    QPointer<QWidget> genitore_;
};

}  // namespace travasa::finestra
