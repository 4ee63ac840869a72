// The version panel: what it draws where, the status line's erasing, the
// monitor's rows, the progress bar, detaching, and that its drawings reach
// the screen at once without making owners repaint for ever.
#include <QFontMetrics>
#include <QImage>
#include <QPaintEvent>
#include <QProgressBar>
#include <QTest>
#include <QWidget>

#include "app/PanelCanvas.h"
#include "app/VersionPanel.h"

namespace {

using Drawing = CVersionPanel::Drawing;
using PanelFont = CVersionPanel::PanelFont;

constexpr QRgb kBackground = qRgb(212, 208, 200);

struct Metrics {
    int w;
    int height;
    int descent;
    int leading;
};

Metrics SurfaceMetrics() {
    const QFontMetrics m(CVersionPanel::SurfaceFont());
    return {m.averageCharWidth(), m.height(), m.descent(), std::max(0, m.leading())};
}

// The nth recorded text drawing with this text, or null.
const Drawing* FindText(const CVersionPanel& panel, const QString& text, int nth = 0) {
    for (const Drawing& d : panel.Drawings()) {
        if (d.kind == Drawing::Kind::Text && d.text == text && nth-- == 0) {
            return &d;
        }
    }
    return nullptr;
}

// Whether any pixel of the rectangle is dark, as drawn text is.
bool HasInk(const QImage& image, const QRect& rect) {
    const QRect area = rect.intersected(image.rect());
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.alpha() == 255 && c.red() < 100 && c.green() < 100 && c.blue() < 100) {
                return true;
            }
        }
    }
    return false;
}

bool AllColour(const QImage& image, const QRect& rect, QRgb colour) {
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x) {
            if (image.pixel(x, y) != colour) {
                return false;
            }
        }
    }
    return true;
}

int TextWidth(PanelFont font, const QString& text) {
    const QFont f = font == PanelFont::Surface
                        ? CVersionPanel::SurfaceFont()
                        : CVersionPanel::CellFont(16, font == PanelFont::Bold ? 700 : 400);
    return QFontMetrics(f).horizontalAdvance(text);
}

class CountingFilter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++paints;
        }
        return false;
    }
};

// An owner that paints the monitor's rows from its own paint event.
class PaintingOwner : public QWidget {
public:
    CVersionPanel* panel = nullptr;
    int paints = 0;

protected:
    void paintEvent(QPaintEvent*) override {
        ++paints;
        panel->PaintVariables();
    }
};

// An owner with the progress bar the panel drives.
struct Owner {
    QWidget window;
    QProgressBar* bar;
    Owner() : bar(new QProgressBar(&window)) {
        window.resize(346, 323);
        bar->setObjectName(QLatin1String(CVersionPanel::kProgressName));
        bar->setGeometry(12, 205, 322, 10);
        bar->setValue(0);
        bar->hide();
    }
};

}  // namespace

class VersionPanelTest : public QObject {
    Q_OBJECT

private slots:
    void drawsNothingBeforeAttach() {
        Owner owner;
        CVersionPanel panel;
        panel.PaintVersions();
        panel.ShowStatus("Upgrading");
        panel.PaintVariables();
        panel.SetProgress(0, 101);
        QVERIFY(panel.Drawings().empty());
        QVERIFY(panel.Surface().isNull());
        QVERIFY(owner.bar->isHidden());
        QVERIFY(!panel.m_fontBold.has_value());
        QCOMPARE(panel.m_crBackground, kBackground);
    }

    void versionPanelLayoutBeforeIdentification() {
        Owner owner;
        CVersionPanel panel;
        panel.AttachWindow(&owner.window);
        panel.m_strUpgradeVersion = "2.10e";
        panel.PaintVersions();

        const Metrics m = SurfaceMetrics();
        const int labelX = 4 * m.w + 30;
        const int valueX = 19 * m.w + 30;
        const struct {
            QString text;
            int nth;
            QPoint at;
            PanelFont font;
        } expected[] = {
            {"Current Version", 0, {30, 10}, PanelFont::Bold},
            {"Boot Code:", 0, {labelX, 30}, PanelFont::Normal},
            {"Charger Code:", 0, {labelX, 50}, PanelFont::Normal},
            {"Upgrade Version", 0, {30, 80}, PanelFont::Bold},
            {"Charger Code:", 1, {labelX, 100}, PanelFont::Normal},
            {"2.10e", 0, {valueX, 100}, PanelFont::Normal},
        };
        for (const auto& e : expected) {
            const Drawing* d = FindText(panel, e.text, e.nth);
            QVERIFY2(d != nullptr, qPrintable(e.text));
            QCOMPARE(d->rect.topLeft(), e.at);
            QVERIFY(d->font == e.font);
            QCOMPARE(d->rect.width(), TextWidth(e.font, e.text));
            QVERIFY(HasInk(panel.Surface(), d->rect));
        }
        // The two values not yet read are drawn empty in the value column.
        int emptyValues = 0;
        for (const Drawing& d : panel.Drawings()) {
            if (d.kind == Drawing::Kind::Text && d.text.isEmpty()) {
                QCOMPARE(d.rect.left(), valueX);
                QVERIFY(d.rect.top() == 30 || d.rect.top() == 50);
                ++emptyValues;
            }
        }
        QCOMPARE(emptyValues, 2);
        // Each text's cells are filled with the background colour.
        const Drawing* heading = FindText(panel, "Current Version");
        QCOMPARE(panel.Surface().pixel(heading->rect.topLeft()), kBackground);
        // Nothing is drawn outside the texts.
        QCOMPARE(qAlpha(panel.Surface().pixel(5, 5)), 0);
    }

    void versionValuesAreDrawn() {
        Owner owner;
        CVersionPanel panel;
        panel.AttachWindow(&owner.window);
        panel.m_strBootCode = "1.3";
        panel.m_strChargerCode = "2.09";
        panel.PaintVersions();
        const int valueX = 19 * SurfaceMetrics().w + 30;
        QCOMPARE(FindText(panel, "1.3")->rect.topLeft(), QPoint(valueX, 30));
        QCOMPARE(FindText(panel, "2.09")->rect.topLeft(), QPoint(valueX, 50));
    }

    void statusLineErasesOnlyItsFirst250Pixels() {
        Owner owner;
        CVersionPanel panel;
        panel.AttachWindow(&owner.window);
        const Metrics m = SurfaceMetrics();
        const int y = m.descent + m.leading + 180;

        const QString longText(60, QLatin1Char('W'));
        panel.ShowStatus(longText.toStdString());
        const int longWidth = TextWidth(PanelFont::Surface, longText);
        QVERIFY(longWidth > 300);
        panel.ShowStatus("OK");

        const Drawing& erase = panel.Drawings().at(panel.Drawings().size() - 2);
        QVERIFY(erase.kind == Drawing::Kind::Fill);
        QCOMPARE(erase.rect, QRect(30, y, 250, m.height));
        const Drawing& text = panel.Drawings().back();
        QCOMPARE(text.text, QString("OK"));
        QCOMPARE(text.rect.topLeft(), QPoint(30, y));
        QVERIFY(text.font == PanelFont::Surface);

        const QImage surface = panel.Surface();
        const int okEnd = 30 + TextWidth(PanelFont::Surface, "OK");
        QVERIFY(HasInk(surface, QRect(30, y, okEnd - 30, m.height)));
        QVERIFY(AllColour(surface, QRect(okEnd + 1, y, 280 - okEnd - 1, m.height), kBackground));
        // Beyond 250 pixels the longer predecessor stays visible.
        QVERIFY(HasInk(surface, QRect(281, y, 30 + longWidth - 281, m.height)));
    }

    void showingTheOwnerAfreshErasesTheSurface() {
        Owner owner;
        CVersionPanel panel;
        panel.AttachWindow(&owner.window);
        owner.window.show();
        panel.ShowStatus("Upgrading");
        const Drawing status = panel.Drawings().back();
        QVERIFY(HasInk(panel.Surface(), status.rect));
        owner.window.hide();
        owner.window.show();
        QVERIFY(!HasInk(panel.Surface(), status.rect));
    }

    void monitorRows() {
        Owner owner;
        CVersionPanel panel;
        panel.AttachWindow(&owner.window);
        panel.ResetVariables();
        panel.m_vars.batteryPresent = 1;
        panel.m_vars.nac = 10;
        panel.m_vars.vsb = 12.345;
        panel.ShowStatus("earlier drawing");
        panel.PaintVariables();

        const Metrics m = SurfaceMetrics();
        const auto& drawings = panel.Drawings();
        QCOMPARE(drawings.size(), std::size_t(1 + 2 * kVariableRows));
        QVERIFY(drawings.front().kind == Drawing::Kind::Fill);
        QCOMPARE(drawings.front().rect, owner.window.rect());
        const auto rows = FormatVariables(panel.m_vars);
        for (int k = 1; k <= kVariableRows; ++k) {
            const int top = m.descent + m.leading + k * (m.height + m.leading + 4);
            const Drawing& label = drawings.at(k);
            const Drawing& value = drawings.at(kVariableRows + k);
            QCOMPARE(label.text, QString::fromLatin1(rows[k - 1].label));
            QCOMPARE(label.rect.topLeft(), QPoint(10, top));
            QCOMPARE(value.text, QString::fromStdString(rows[k - 1].text));
            QCOMPARE(value.rect.topLeft(), QPoint(170, top));
        }
        QCOMPARE(drawings.at(kVariableRows + 1).text, QString("true"));
        QCOMPARE(drawings.at(kVariableRows + 9).text, QString("000A"));
        QCOMPARE(drawings.at(kVariableRows + 10).text, QString("12.35"));
        // The whole client area is the background now, the earlier status included.
        const QImage surface = panel.Surface();
        QCOMPARE(surface.pixel(surface.width() - 1, surface.height() - 1), kBackground);
        QCOMPARE(surface.pixel(300, m.descent + m.leading + 180), kBackground);
    }

    void resetVariablesZeroesTheRecord() {
        CVersionPanel panel;
        panel.m_vars.gasGauge = 0x1f;
        panel.m_vars.supplyVoltage = 13.8;
        panel.ResetVariables();
        QCOMPARE(panel.m_vars.gasGauge, 0);
        QCOMPARE(panel.m_vars.supplyVoltage, 0.0);
        QCOMPARE(FormatVariables(panel.m_vars)[0].text, std::string("false"));
    }

    void progress_data() {
        QTest::addColumn<int>("before");  // position left by an earlier upload
        QTest::addColumn<int>("position");
        QTest::addColumn<int>("total");
        QTest::addColumn<bool>("visible");
        QTest::addColumn<int>("maximum");
        QTest::addColumn<int>("value");
        QTest::newRow("show a new bar") << 0 << 0 << 101 << true << 101 << 0;
        QTest::newRow("show keeps the last position") << 57 << 0 << 101 << true << 101 << 57;
        QTest::newRow("step") << 0 << 57 << 101 << true << 101 << 57;
        QTest::newRow("step past the end") << 0 << 500 << 101 << true << 101 << 101;
        QTest::newRow("hide") << 57 << 0 << 0 << false << 101 << 57;
        QTest::newRow("total modulo 65536") << 0 << 0 << 65536 + 101 << true << 101 << 0;
        QTest::newRow("total 70000") << 0 << 0 << 70000 << true << 70000 - 65536 << 0;
    }

    void progress() {
        QFETCH(int, before);
        QFETCH(int, position);
        QFETCH(int, total);
        QFETCH(bool, visible);
        QFETCH(int, maximum);
        QFETCH(int, value);
        Owner owner;
        CVersionPanel panel;
        panel.AttachWindow(&owner.window);
        owner.window.show();
        panel.SetProgress(0, 101);
        if (before != 0) {
            panel.SetProgress(before, 101);
        }
        panel.SetProgress(position, total);
        QCOMPARE(owner.bar->isVisible(), visible);
        QCOMPARE(owner.bar->minimum(), 0);
        QCOMPARE(owner.bar->maximum(), maximum);
        QCOMPARE(owner.bar->value(), value);
    }

    void progressBarIsBlue() {
        Owner owner;
        CVersionPanel panel;
        panel.AttachWindow(&owner.window);
        owner.window.show();
        panel.SetProgress(0, 101);
        panel.SetProgress(80, 101);
        QCOMPARE(owner.bar->palette().color(QPalette::Highlight), QColor(0, 0, 255));
        const QImage picture = owner.bar->grab().toImage();
        int blue = 0;
        for (int x = 0; x < picture.width(); ++x) {
            const QColor c = picture.pixelColor(x, picture.height() / 2);
            blue += (c.blue() > 180 && c.red() < 90 && c.green() < 90) ? 1 : 0;
        }
        QVERIFY2(blue > picture.width() / 2, qPrintable(QString::number(blue)));
    }

    void detachStopsDrawing() {
        Owner owner;
        CVersionPanel panel;
        panel.AttachWindow(&owner.window);
        panel.m_strUpgradeVersion = "2.10e";
        panel.PaintVersions();
        const QImage before = panel.Surface();
        const std::size_t drawings = panel.Drawings().size();
        panel.DetachWindow();
        QVERIFY(panel.m_pOwner == nullptr);
        panel.ShowStatus("Upgrade Successful");
        panel.PaintVersions();
        panel.PaintVariables();
        panel.SetProgress(0, 101);
        QCOMPARE(panel.Drawings().size(), drawings);
        QCOMPARE(panel.Surface(), before);
        QVERIFY(owner.bar->isHidden());
    }

    void drawingReachesTheScreenBeforeReturning() {
        Owner owner;
        CVersionPanel panel;
        panel.AttachWindow(&owner.window);
        owner.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&owner.window));
        auto* canvas = owner.window.findChild<CPanelCanvas*>();
        QVERIFY(canvas != nullptr);
        CountingFilter counter;
        canvas->installEventFilter(&counter);
        panel.ShowStatus("Reading Version Information");
        QVERIFY(counter.paints > 0);
        const int afterStatus = counter.paints;
        panel.PaintVersions();
        QVERIFY(counter.paints > afterStatus);
    }

    void ownerPaintingThePanelSettles() {
        PaintingOwner owner;
        owner.resize(300, 360);
        CVersionPanel panel;
        owner.panel = &panel;
        panel.AttachWindow(&owner);
        owner.show();
        QVERIFY(QTest::qWaitForWindowExposed(&owner));
        for (int i = 0; i < 10; ++i) {
            QCoreApplication::processEvents();
        }
        const int settled = owner.paints;
        QVERIFY(settled > 0);
        for (int i = 0; i < 20; ++i) {
            QCoreApplication::processEvents();
        }
        QCOMPARE(owner.paints, settled);
        // A drawing outside the paint event still shows at once.
        panel.PaintVariables();
        QVERIFY(owner.paints > settled);
    }
};

QTEST_MAIN(VersionPanelTest)
#include "VersionPanelTest.moc"
