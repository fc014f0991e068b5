#include <util/qt/finestre_qt.h>

#include <QApplication>
#include <QColor>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPainter>
#include <QPalette>
#include <QScreen>
#include <QVariant>
#include <QWidget>

#include <cmath>

namespace vq::finestre::qt {

namespace {

constexpr double kTwipPerPollice = 1440.0;

QColor Colore(std::uint32_t bgr) {
    return QColor(static_cast<int>(bgr & 0xFFu), static_cast<int>((bgr >> 8) & 0xFFu),
                  static_cast<int>((bgr >> 16) & 0xFFu));
}

void Riempi(QPaintDevice& dispositivo, int sinistra, int alto, int destra, int basso,
            std::uint32_t colore) {
    if (destra <= sinistra || basso <= alto) return;
    QPainter p(&dispositivo);
    p.fillRect(QRect(QPoint(sinistra, alto), QPoint(destra - 1, basso - 1)), Colore(colore));
}

QScreen* SchermoDi(const QWidget* w) {
    QScreen* s = w != nullptr ? w->screen() : nullptr;
    return s != nullptr ? s : QGuiApplication::primaryScreen();
}

}  // namespace

void SuperficieQt::RiempiRettangolo(int sinistra, int alto, int destra, int basso,
                                    std::uint32_t colore) {
    Riempi(dispositivo_, sinistra, alto, destra, basso, colore);
}

// The form's background: a pixmap the size of the widget, shown as its window brush.
class FormQt::SuperficieSfondo final : public Superficie {
public:
    explicit SuperficieSfondo(FormQt& form) : form_(form) {}
    void RiempiRettangolo(int sinistra, int alto, int destra, int basso,
                          std::uint32_t colore) override {
        QWidget* w = form_.widget_;
        if (w == nullptr) return;
        if (form_.sfondo_.size() != w->size()) {
            QPixmap nuovo(w->size());
            nuovo.fill(w->palette().color(QPalette::Window));
            if (!form_.sfondo_.isNull()) {
                QPainter p(&nuovo);
                p.drawPixmap(0, 0, form_.sfondo_);
            }
            form_.sfondo_ = nuovo;
        }
        Riempi(form_.sfondo_, sinistra, alto, destra, basso, colore);
        QPalette pal = w->palette();
        pal.setBrush(QPalette::Window, QBrush(form_.sfondo_));
        w->setPalette(pal);
        w->setAutoFillBackground(true);
        w->update();
    }

private:
    FormQt& form_;
};

FormQt::FormQt(QWidget& widget)
    : widget_(&widget), superficie_(std::make_unique<SuperficieSfondo>(*this)) {}

double FormQt::DpiX() const { return widget_ != nullptr ? widget_->logicalDpiX() : 96.0; }

double FormQt::DpiY() const { return widget_ != nullptr ? widget_->logicalDpiY() : 96.0; }

double FormQt::Left() const {
    return widget_ != nullptr ? widget_->frameGeometry().x() * kTwipPerPollice / DpiX() : 0.0;
}

double FormQt::Top() const {
    return widget_ != nullptr ? widget_->frameGeometry().y() * kTwipPerPollice / DpiY() : 0.0;
}

double FormQt::Width() const {
    return widget_ != nullptr ? widget_->frameGeometry().width() * kTwipPerPollice / DpiX() : 0.0;
}

double FormQt::Height() const {
    return widget_ != nullptr ? widget_->frameGeometry().height() * kTwipPerPollice / DpiY() : 0.0;
}

void FormQt::SetLeft(double valore) {
    if (widget_ == nullptr) return;
    widget_->move(static_cast<int>(std::lround(valore * DpiX() / kTwipPerPollice)),
                  widget_->frameGeometry().y());
}

void FormQt::SetTop(double valore) {
    if (widget_ == nullptr) return;
    widget_->move(widget_->frameGeometry().x(),
                  static_cast<int>(std::lround(valore * DpiY() / kTwipPerPollice)));
}

double FormQt::ScaleWidth() const {
    if (widget_ == nullptr) return 0.0;
    const double px = widget_->width();
    return scala_ == kScalaPixel ? px : px * kTwipPerPollice / DpiX();
}

double FormQt::ScaleHeight() const {
    if (widget_ == nullptr) return 0.0;
    const double px = widget_->height();
    return scala_ == kScalaPixel ? px : px * kTwipPerPollice / DpiY();
}

double FormQt::LarghezzaSchermo() const {
    const QScreen* s = SchermoDi(widget_);
    return s != nullptr ? s->geometry().width() * kTwipPerPollice / DpiX() : 0.0;
}

double FormQt::AltezzaSchermo() const {
    const QScreen* s = SchermoDi(widget_);
    return s != nullptr ? s->geometry().height() * kTwipPerPollice / DpiY() : 0.0;
}

Superficie& FormQt::hDC() { return *superficie_; }

std::string CasellaTestoQt::Text() const {
    return casella_ != nullptr ? casella_->text().toStdString() : std::string();
}

void CasellaTestoQt::SetSelStart(std::int32_t inizio) {
    if (casella_ != nullptr) casella_->setCursorPosition(inizio);
}

void CasellaTestoQt::SetSelLength(std::int32_t lunghezza) {
    if (casella_ == nullptr) return;
    const int inizio =
        casella_->hasSelectedText() ? casella_->selectionStart() : casella_->cursorPosition();
    casella_->setSelection(inizio, lunghezza);
}

namespace {

// A window keeps answering to the handle it was first known by, even when the window
// system gives it a new one (changing the stay-on-top flag recreates a native window).
constexpr const char* kHandleNoto = "vq_handle";

}  // namespace

QWidget* SistemaQt::WidgetDi(std::intptr_t handle) {
    if (handle == 0) return nullptr;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        const QVariant noto = w->property(kHandleNoto);
        if (noto.isValid() && noto.toLongLong() == handle) return w;
    }
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->internalWinId() != 0 && static_cast<std::intptr_t>(w->internalWinId()) == handle) {
            w->setProperty(kHandleNoto, QVariant::fromValue(static_cast<qlonglong>(handle)));
            return w;
        }
    }
    return nullptr;
}

std::vector<FinestraPrincipale> SistemaQt::Finestre() {
    std::vector<FinestraPrincipale> r;
    QWidget* attiva = QApplication::activeWindow();
    auto aggiungi = [&r](QWidget* w) {
        r.push_back({static_cast<std::intptr_t>(w->winId()), w->windowTitle().toStdString()});
    };
    if (attiva != nullptr && attiva->isVisible()) aggiungi(attiva);
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w != attiva && w->isVisible() && w->isWindow()) aggiungi(w);
    }
    return r;
}

bool SistemaQt::PortaInPrimoPiano(std::intptr_t handle) {
    QWidget* w = WidgetDi(handle);
    if (w == nullptr) return false;
    w->showNormal();
    w->raise();
    w->activateWindow();
    return true;
}

bool SistemaQt::SempreInPrimoPiano(std::intptr_t handle, bool attivo) {
    QWidget* w = WidgetDi(handle);
    if (w == nullptr) return false;
    const bool visibile = w->isVisible();
    w->setWindowFlag(Qt::WindowStaysOnTopHint, attivo);  // hides the window
    if (visibile) w->show();
    return true;
}

std::optional<std::string> SistemaQt::ScegliCartella(std::intptr_t proprietario,
                                                     const std::string& titolo) {
    const QString scelta =
        QFileDialog::getExistingDirectory(WidgetDi(proprietario), QString::fromStdString(titolo),
                                          QString(), QFileDialog::ShowDirsOnly);
    if (scelta.isEmpty()) return std::nullopt;
    return scelta.toStdString();
}

void SistemaQt::ElaboraEventi() { QCoreApplication::processEvents(); }

}  // namespace vq::finestre::qt
