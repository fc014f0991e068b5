// The window interface of vqUtilita (util/finestre.h) over Qt Widgets: the program's
// forms, text boxes and top-level windows, the folder picker and the event pump.
//
//   vq::finestre::ServizioTemporaneo s(std::make_shared<vq::finestre::qt::SistemaQt>());
//   vq::finestre::qt::FormQt form(finestra);
//   vqUtilita::CentraForm(form);
#pragma once

#include <util/finestre.h>

#include <memory>

#include <QPixmap>
#include <QPointer>

class QLineEdit;
class QPaintDevice;
class QWidget;

namespace vq::finestre::qt {

// Painting on any Qt paint device (an image, a pixmap).
class SuperficieQt final : public Superficie {
public:
    explicit SuperficieQt(QPaintDevice& dispositivo) : dispositivo_(dispositivo) {}
    void RiempiRettangolo(int sinistra, int alto, int destra, int basso,
                          std::uint32_t colore) override;

private:
    QPaintDevice& dispositivo_;
};

// A widget as a form: position and outer size in twips at the screen's logical
// resolution, inner size in the scale unit (twips or pixels), and a background that
// what is painted on hDC() becomes.
class FormQt final : public Form {
public:
    explicit FormQt(QWidget& widget);
    double Left() const override;
    double Top() const override;
    double Width() const override;
    double Height() const override;
    void SetLeft(double valore) override;
    void SetTop(double valore) override;
    double ScaleWidth() const override;
    double ScaleHeight() const override;
    int ScaleMode() const override { return scala_; }
    void SetScaleMode(int modo) override { scala_ = modo; }
    double LarghezzaSchermo() const override;
    double AltezzaSchermo() const override;
    Superficie& hDC() override;

    // The background painted so far (null before any painting).
    const QPixmap& Sfondo() const { return sfondo_; }

private:
    class SuperficieSfondo;
    double DpiX() const;
    double DpiY() const;

    QPointer<QWidget> widget_;
    int scala_ = kScalaTwip;
    QPixmap sfondo_;
    std::unique_ptr<Superficie> superficie_;
};

class CasellaTestoQt final : public CasellaTesto {
public:
    explicit CasellaTestoQt(QLineEdit& casella) : casella_(&casella) {}
    std::string Text() const override;
    void SetSelStart(std::int32_t inizio) override;
    void SetSelLength(std::int32_t lunghezza) override;

private:
    QPointer<QLineEdit> casella_;
};

// The application's top-level widgets as the windows of the system (another program's
// windows are out of reach: they are never listed), QFileDialog as the folder picker,
// QCoreApplication::processEvents as the pump. Handles are the widgets' window ids.
class SistemaQt final : public Sistema {
public:
    std::vector<FinestraPrincipale> Finestre() override;
    bool PortaInPrimoPiano(std::intptr_t handle) override;
    bool SempreInPrimoPiano(std::intptr_t handle, bool attivo) override;
    std::optional<std::string> ScegliCartella(std::intptr_t proprietario,
                                              const std::string& titolo) override;
    void ElaboraEventi() override;

    static QWidget* WidgetDi(std::intptr_t handle);
};

}  // namespace vq::finestre::qt
