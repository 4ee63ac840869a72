// The version panel: what it draws where, the status line's erasing, the
// monitor's rows, the progress bar, detaching, and that its drawings reach
// the screen at once without making owners repaint for ever.
#include <QFontMetrics>
#include <QHelpEvent>
#include <QProgressBar>
#include <QTest>
#include <QToolTip>
#include <QWidget>

#include "diagnostics/PanelCanvas.h"
#include "diagnostics/VersionPanel.h"

namespace {

using Drawing = CVersionPanel::Drawing;
using PanelFont = CVersionPanel::PanelFont;

constexpr QRgb kBackground = qRgb(212, 208, 200);

// The metrics every position is taken from: the surface's default font.
const QFontMetrics& Surface() {
    static const QFontMetrics metrics(CVersionPanel::SurfaceFont());
    return metrics;
}

const Drawing* FindText(const CVersionPanel& panel, const QString& text, int nth = 0) {
    for (const Drawing& d : panel.Drawings()) {
        if (d.kind == Drawing::Kind::Text && d.text == text && nth-- == 0) {
            return &d;
        }
    }
    return nullptr;
}

// Counts the pixels of the rectangle that are dark, as drawn text is, and
// those that are not the background colour.
int Ink(const QImage& image, const QRect& rect, bool notBackground = false) {
    int count = 0;
    const QRect area = rect.intersected(image.rect());
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb p = image.pixel(x, y);
            count += notBackground ? p != kBackground : (qAlpha(p) == 255 && qGray(p) < 100);
        }
    }
    return count;
}

// A window with the progress bar the panel drives, and a panel attached to it.
struct Owner {
    QWidget window;
    QProgressBar* bar = new QProgressBar(&window);
    CVersionPanel panel;
    explicit Owner(int width = 346) {
        window.resize(width, 323);
        bar->setObjectName(QLatin1String(CVersionPanel::kProgressName));
        bar->setValue(0);
        bar->hide();
        panel.AttachWindow(&window);
    }
};

// An owner that paints the monitor's rows from its own paint event.
class PaintingOwner : public QWidget {
public:
    CVersionPanel panel;
    int paints = 0;

protected:
    void paintEvent(QPaintEvent*) override {
        ++paints;
        panel.PaintVariables();
    }
};

}  // namespace

class VersionPanelTest : public QObject {
    Q_OBJECT

private slots:
    void versionPanelLayout() {
        Owner owner;
        owner.panel.m_strBootCode = "1.3";
        owner.panel.m_strUpgradeVersion = "2.10e";
        owner.panel.PaintVersions();
        const int w = Surface().averageCharWidth();
        const int label = 4 * w + 30;
        const int value = 19 * w + 30;
        const struct {
            QString text;
            int nth;
            QPoint at;
            PanelFont font;
        } expected[] = {
            {"Current Version", 0, {30, 10}, PanelFont::Bold},
            {"Boot Code:", 0, {label, 30}, PanelFont::Normal},
            {"1.3", 0, {value, 30}, PanelFont::Normal},
            {"Charger Code:", 0, {label, 50}, PanelFont::Normal},
            {"", 0, {value, 50}, PanelFont::Normal},  // not read yet
            {"Upgrade Version", 0, {30, 80}, PanelFont::Bold},
            {"Charger Code:", 1, {label, 100}, PanelFont::Normal},
            {"2.10e", 0, {value, 100}, PanelFont::Normal},
        };
        for (const auto& e : expected) {
            const Drawing* d = FindText(owner.panel, e.text, e.nth);
            QVERIFY2(d != nullptr, qPrintable(e.text));
            QCOMPARE(d->rect.topLeft(), e.at);
            QVERIFY(d->font == e.font);
            QCOMPARE(Ink(owner.panel.Surface(), d->rect) > 0, !e.text.isEmpty());
        }
        // Each text's cells are filled with the background; nothing else is drawn.
        QCOMPARE(owner.panel.Surface().pixel(30, 10), kBackground);
        QCOMPARE(qAlpha(owner.panel.Surface().pixel(5, 5)), 0);
    }

    // "2.09" drawn where "2.10e" stood: no stale character shows through.
    void shorterValueLeavesNothingOfTheLongerOne() {
        Owner owner;
        owner.panel.m_strChargerCode = "2.10e";
        owner.panel.PaintVersions();
        const QRect before = FindText(owner.panel, "2.10e")->rect;
        owner.panel.ClearDrawings();
        owner.panel.m_strChargerCode = "2.09";
        owner.panel.PaintVersions();
        const QRect after = FindText(owner.panel, "2.09")->rect;
        QCOMPARE(after.topLeft(), before.topLeft());
        QVERIFY(after.right() < before.right());
        const QRect tail(after.right() + 1, before.top(), before.right() - after.right(),
                         before.height());
        QCOMPARE(Ink(owner.panel.Surface(), tail), 0);
    }

    // A version wider than its field is shortened at its end, as wide as the
    // field allows in the font it is drawn in, and shown whole in the tool tip.
    void longVersionIsShortenedWithTheWholeTextInTheToolTip() {
        const QString whole = "2.09-build.20261207-rc1-v4.17.2-factory-calibrated-release";
        Owner owner;
        owner.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&owner.window));
        owner.panel.m_strChargerCode = whole.toStdString();
        owner.panel.m_strUpgradeVersion = "2.10e";
        owner.panel.PaintVersions();

        const int value = 19 * Surface().averageCharWidth() + 30;
        const QFontMetrics drawn(CVersionPanel::CellFont(16, QFont::Normal));
        const int field = 346 - value;
        QVERIFY(drawn.horizontalAdvance(whole) > field);
        const Drawing* d = nullptr;
        for (const Drawing& each : owner.panel.Drawings()) {
            if (each.kind == Drawing::Kind::Text && each.rect.topLeft() == QPoint(value, 50)) {
                d = &each;
            }
        }
        QVERIFY(d != nullptr);
        QVERIFY(d->font == PanelFont::Normal);
        QVERIFY2(d->text.startsWith("2.09-build.") && d->text.endsWith(QChar(0x2026)),
                 qPrintable(d->text));
        const QString kept = d->text.chopped(1);
        QVERIFY(whole.startsWith(kept));
        QVERIFY(drawn.horizontalAdvance(d->text) <= field);
        QVERIFY(d->rect.right() < 346);
        // As long as fits: one more character of the version would not.
        QVERIFY(drawn.horizontalAdvance(whole.left(kept.size() + 1) + QChar(0x2026)) > field - 4);
        QCOMPARE(Ink(owner.panel.Surface(), QRect(value, 50, field, 16)) > 0, true);

        // The whole text over the shortened field, nothing over the short one.
        QCOMPARE(owner.panel.ToolTipAt(QPoint(value + 5, 55)), whole);
        QCOMPARE(owner.panel.ToolTipAt(QPoint(345, 55)), whole);
        QCOMPARE(owner.panel.ToolTipAt(QPoint(value + 5, 105)), QString());
        QCOMPARE(owner.panel.ToolTipAt(QPoint(value + 5, 35)), QString());
        QVERIFY(FindText(owner.panel, "2.10e") != nullptr);

        // Only a tool-tip request is answered: asked "What's this?" there,
        // the owner gets the question itself.
        const QPoint at(value + 5, 55);
        QHelpEvent whatsThis(QEvent::WhatsThis, at, owner.window.mapToGlobal(at));
        QCoreApplication::sendEvent(&owner.window, &whatsThis);
        QVERIFY(QToolTip::text() != whole);

        // The owner asked for its tool tip there shows the whole text.
        QHelpEvent help(QEvent::ToolTip, at, owner.window.mapToGlobal(at));
        QCoreApplication::sendEvent(&owner.window, &help);
        QCOMPARE(QToolTip::text(), whole);
        // Over the version drawn whole, the owner's own tool tip shows.
        owner.window.setToolTip("The charger's versions");
        const QPoint overShort(value + 5, 105);
        QHelpEvent ownTip(QEvent::ToolTip, overShort, owner.window.mapToGlobal(overShort));
        QCoreApplication::sendEvent(&owner.window, &ownTip);
        QCOMPARE(QToolTip::text(), QString("The charger's versions"));
        QToolTip::hideText();

        // Read afresh with a short version: drawn whole, and no tool tip stays.
        owner.panel.ClearDrawings();
        owner.panel.m_strChargerCode = "2.09";
        owner.panel.PaintVersions();
        QVERIFY(FindText(owner.panel, "2.09") != nullptr);
        QCOMPARE(owner.panel.ToolTipAt(QPoint(value + 5, 55)), QString());
    }

    // The version's field reaches the client area's right edge exactly: a
    // version as wide as the field less its margin is drawn whole, one a
    // pixel wider is shortened.
    void versionFieldEndsAtTheRightEdge_data() {
        QTest::addColumn<int>("tooNarrow");  // pixels the window lacks for the whole text
        QTest::addColumn<bool>("shortened");
        QTest::newRow("fits exactly") << 0 << false;
        QTest::newRow("a pixel too narrow") << 1 << true;
    }

    void versionFieldEndsAtTheRightEdge() {
        QFETCH(int, tooNarrow);
        QFETCH(bool, shortened);
        const QString whole = "2.09-build.20261207-rc1";
        const QFontMetrics drawn(CVersionPanel::CellFont(16, QFont::Normal));
        // The narrowest width the whole text fits in.
        int fits = drawn.horizontalAdvance(whole) / 2;
        while (drawn.elidedText(whole, Qt::ElideRight, fits) != whole) {
            ++fits;
        }
        const int value = 19 * Surface().averageCharWidth() + 30;
        const int width = value + fits + 4 - tooNarrow;
        Owner owner(width);
        owner.panel.m_strChargerCode = whole.toStdString();
        owner.panel.PaintVersions();

        const Drawing* text = nullptr;
        const Drawing* field = nullptr;
        for (const Drawing& d : owner.panel.Drawings()) {
            if (d.rect.topLeft() == QPoint(value, 50)) {
                (d.kind == Drawing::Kind::Text ? text : field) = &d;
            }
        }
        QVERIFY(text != nullptr && field != nullptr);
        QCOMPARE(field->rect.right(), width - 1);
        QCOMPARE(text->text != whole, shortened);
        QCOMPARE(owner.panel.ToolTipAt(QPoint(value + 5, 55)), shortened ? whole : QString());
    }

    void statusLineErasesOnlyItsFirst250Pixels() {
        Owner owner;
        const int y = Surface().descent() + 180;
        const QString longText(60, QLatin1Char('W'));
        const int longEnd = 30 + Surface().horizontalAdvance(longText);
        QVERIFY(longEnd > 330);
        owner.panel.ShowStatus(longText.toStdString());
        owner.panel.ShowStatus("OK");

        const auto& drawings = owner.panel.Drawings();
        QCOMPARE(drawings.at(drawings.size() - 2).rect, QRect(30, y, 250, Surface().height()));
        QCOMPARE(drawings.back().rect.topLeft(), QPoint(30, y));
        QVERIFY(drawings.back().font == PanelFont::Surface);
        const QImage surface = owner.panel.Surface();
        const int okEnd = 30 + Surface().horizontalAdvance("OK");
        QVERIFY(Ink(surface, QRect(30, y, okEnd - 30, Surface().height())) > 0);
        QCOMPARE(Ink(surface, QRect(okEnd + 1, y, 280 - okEnd - 1, Surface().height()), true), 0);
        // Beyond 250 pixels the longer predecessor stays visible.
        QVERIFY(Ink(surface, QRect(281, y, longEnd - 281, Surface().height())) > 0);
    }

    void monitorRows() {
        Owner owner;
        owner.panel.ShowStatus("earlier drawing");
        owner.panel.ResetVariables();
        owner.panel.m_vars.batteryPresent = 1;
        owner.panel.m_vars.nac = 10;
        owner.panel.PaintVariables();

        const auto& drawings = owner.panel.Drawings();
        QCOMPARE(drawings.size(), std::size_t(1 + 2 * kVariableRows));
        QCOMPARE(drawings.front().rect, owner.window.rect());
        const auto rows = FormatVariables(owner.panel.m_vars);
        const int line = Surface().height() + 4;
        for (int k = 1; k <= kVariableRows; ++k) {
            const int top = Surface().descent() + k * line;
            QCOMPARE(drawings.at(k).text, QString::fromLatin1(rows[k - 1].label));
            QCOMPARE(drawings.at(k).rect.topLeft(), QPoint(10, top));
            QCOMPARE(drawings.at(kVariableRows + k).text, QString::fromStdString(rows[k - 1].text));
            QCOMPARE(drawings.at(kVariableRows + k).rect.topLeft(), QPoint(170, top));
        }
        QCOMPARE(drawings.at(kVariableRows + 1).text, QString("true"));
        QCOMPARE(drawings.at(kVariableRows + 9).text, QString("000A"));
        // The whole client area is painted over, the earlier status included.
        QCOMPARE(Ink(owner.panel.Surface(), QRect(250, 0, 96, 323), true), 0);
        QCOMPARE(Ink(owner.panel.Surface(), QRect(50, 180, 110, 20), true), 0);  // beside "NAC"
    }

    void progress_data() {
        QTest::addColumn<int>("before");  // position left by an earlier upload
        QTest::addColumn<int>("position");
        QTest::addColumn<int>("total");
        QTest::addColumn<bool>("visible");
        QTest::addColumn<int>("maximum");
        QTest::addColumn<int>("value");
        QTest::newRow("show a new bar") << 0 << 0 << 101 << true << 101 << 0;
        QTest::newRow("a new range starts at zero") << 57 << 0 << 101 << true << 101 << 0;
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
        Owner owner;
        owner.window.show();
        owner.panel.SetProgress(0, 101);
        if (before != 0) {
            owner.panel.SetProgress(before, 101);
        }
        owner.panel.SetProgress(position, total);
        QTEST(owner.bar->isVisible(), "visible");
        QCOMPARE(owner.bar->minimum(), 0);
        QTEST(owner.bar->maximum(), "maximum");
        QTEST(owner.bar->value(), "value");
        QCOMPARE(owner.bar->palette().color(QPalette::Highlight), QColor(0, 0, 255));
    }

    void detachStopsDrawing() {
        Owner owner;
        owner.panel.m_strChargerCode = std::string(80, '9');
        owner.panel.PaintVersions();
        const QPoint overVersion(346 - 10, 55);
        QVERIFY(!owner.panel.ToolTipAt(overVersion).isEmpty());
        const QImage before = owner.panel.Surface();
        const std::size_t drawings = owner.panel.Drawings().size();
        owner.panel.DetachWindow();
        // No tool tip of the versions drawn before stays.
        QCOMPARE(owner.panel.ToolTipAt(overVersion), QString());
        owner.panel.ShowStatus("Upgrade Successful");
        owner.panel.PaintVersions();
        owner.panel.PaintVariables();
        owner.panel.SetProgress(0, 101);
        QCOMPARE(owner.panel.Drawings().size(), drawings);
        QCOMPARE(owner.panel.Surface(), before);
        QVERIFY(owner.bar->isHidden());
    }

    void drawingReachesTheScreenBeforeReturning() {
        Owner owner;
        owner.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&owner.window));
        struct : QObject {
            int paints = 0;
            bool eventFilter(QObject*, QEvent* event) override {
                paints += event->type() == QEvent::Paint;
                return false;
            }
        } counter;
        owner.window.findChild<CPanelCanvas*>()->installEventFilter(&counter);
        owner.panel.ShowStatus("Reading Version Information");
        QVERIFY(counter.paints > 0);
    }

    void ownerPaintingThePanelSettles() {
        PaintingOwner owner;
        owner.resize(300, 360);
        owner.panel.AttachWindow(&owner);
        owner.show();
        QVERIFY(QTest::qWaitForWindowExposed(&owner));
        for (int i = 0; i < 10; ++i) {
            QCoreApplication::processEvents();
        }
        const int settled = owner.paints;
        for (int i = 0; i < 20; ++i) {
            QCoreApplication::processEvents();
        }
        QCOMPARE(owner.paints, settled);
        owner.panel.PaintVariables();  // from outside a paint event: shown at once
        QVERIFY(owner.paints > settled);
    }
};

QTEST_MAIN(VersionPanelTest)
#include "VersionPanelTest.moc"
