// The window methods on real Qt widgets, offscreen: the shaded background's pixels, a
// centred form, a selected line edit, windows found by title.
#include <util/qt/finestre_qt.h>
#include <util/vqUtilita.h>

#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QScreen>
#include <QWidget>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>

namespace {

class FinestreQt : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (QApplication::instance() == nullptr) {
            ::setenv("QT_QPA_PLATFORM", "offscreen", 0);  // a platform chosen by the caller stays
            static int argc = 1;
            static char nome[] = "test_utilita_qt";
            static char* argv[] = {nome, nullptr};
            app_ = new QApplication(argc, argv);
        }
    }
    static QApplication* app_;
    vq::finestre::ServizioTemporaneo sistema{std::make_shared<vq::finestre::qt::SistemaQt>()};
};

QApplication* FinestreQt::app_ = nullptr;

TEST_F(FinestreQt, SfumaFormPaintsTheBackground) {
    QWidget w;
    w.resize(120, 90);
    vq::finestre::qt::FormQt form(w);
    vqUtilita::SfumaForm(form, 0x0000FF, 3, 100);  // red: 255, 155, 55; bands of 30 rows
    EXPECT_EQ(form.ScaleMode(), vq::finestre::kScalaTwip);
    const QImage img = form.Sfondo().toImage();
    ASSERT_EQ(img.size(), QSize(120, 90));
    struct Punto {
        int x, y;
        QRgb colore;
    };
    const Punto punti[] = {{0, 0, qRgb(255, 0, 0)},  {119, 29, qRgb(255, 0, 0)},
                           {0, 30, qRgb(155, 0, 0)}, {60, 59, qRgb(155, 0, 0)},
                           {5, 60, qRgb(55, 0, 0)},  {119, 89, qRgb(55, 0, 0)}};
    for (const auto& p : punti) {
        EXPECT_EQ(img.pixel(p.x, p.y), p.colore) << p.x << "," << p.y;
    }
    // The widget shows it: a grab of the widget has the same pixels.
    const QImage mostrato = w.grab().toImage();
    EXPECT_EQ(mostrato.pixel(10, 10), qRgb(255, 0, 0));
    EXPECT_EQ(mostrato.pixel(10, 80), qRgb(55, 0, 0));
}

TEST_F(FinestreQt, SfumaFormDefaultsOnAnImage) {
    QImage img(50, 120, QImage::Format_RGB32);
    img.fill(Qt::white);
    vq::finestre::qt::SuperficieQt superficie(img);
    superficie.RiempiRettangolo(0, 0, 50, 2, 0xFF0000);
    superficie.RiempiRettangolo(0, 2, 50, 4, 0x00FBFA);
    superficie.RiempiRettangolo(10, 10, 10, 20, 0x000000);  // empty: nothing painted
    EXPECT_EQ(img.pixel(49, 1), qRgb(0, 0, 255));
    EXPECT_EQ(img.pixel(0, 3), qRgb(0xFA, 0xFB, 0));
    EXPECT_EQ(img.pixel(0, 4), qRgb(255, 255, 255));
    EXPECT_EQ(img.pixel(10, 15), qRgb(255, 255, 255));
}

TEST_F(FinestreQt, CentraFormInTwips) {
    QWidget w;
    w.resize(200, 100);
    vq::finestre::qt::FormQt form(w);
    const double dpi = w.logicalDpiX();
    EXPECT_NEAR(form.Width(), 200 * 1440 / dpi, 1e-9);
    vqUtilita::CentraForm(form);
    const QRect schermo = w.screen()->geometry();
    EXPECT_NEAR(w.frameGeometry().x(), (schermo.width() - w.frameGeometry().width()) / 2.0, 1.0);
    EXPECT_NEAR(w.frameGeometry().y(), (schermo.height() - w.frameGeometry().height()) / 2.0, 1.0);
    form.SetScaleMode(vq::finestre::kScalaPixel);
    EXPECT_DOUBLE_EQ(form.ScaleWidth(), 200);
}

TEST_F(FinestreQt, EvidenziaSelectsTheLineEdit) {
    QLineEdit e;
    e.setText(QString::fromUtf8("caff\xc3\xa8 \xf0\x9f\x98\x80"));
    vq::finestre::qt::CasellaTestoQt casella(e);
    vqUtilita::Evidenzia(casella);
    EXPECT_EQ(e.selectedText(), e.text());
}

TEST_F(FinestreQt, WindowsFoundByTitle) {
    QWidget a;
    a.setWindowTitle("Esporta XML");
    a.show();
    QWidget b;
    b.setWindowTitle("Altro");
    b.show();
    EXPECT_TRUE(vqUtilita::ShowFinestraConTitolo("esporta xml"));
    EXPECT_FALSE(vqUtilita::ShowFinestraConTitolo("Nessuna"));
    const auto handle = static_cast<std::intptr_t>(a.winId());
    vqUtilita::FinetraTopMost(handle, true);
    EXPECT_TRUE(a.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(a.isVisible());
    vqUtilita::FinetraTopMost(handle, false);
    EXPECT_FALSE(a.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
}

}  // namespace
