#include "diagnostics/VersionPanel.h"

#include <QEvent>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QPainter>
#include <QPalette>
#include <QProgressBar>
#include <QToolTip>
#include <QWidget>

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <utility>

#include "diagnostics/PanelCanvas.h"

namespace {

constexpr QRgb kTextColour = qRgb(0, 0, 0);
constexpr QRgb kBarColour = qRgb(0, 0, 255);

// The panel's fixed places, in pixels of the client area.
constexpr int kHeadingX = 30;
constexpr int kStatusX = 30;
constexpr int kStatusTop = 180;
constexpr int kStatusEraseWidth = 250;
// Kept free right of a shortened version, so its ellipsis does not touch the
// window's edge.
constexpr int kValueRightMargin = 4;
constexpr int kVariableLabelX = 10;
constexpr int kVariableValueX = 170;
constexpr int kVariableRowGap = 4;
constexpr std::size_t kFormatBufferSize = 1024;

}  // namespace

// The stand-in for a device context on the owner's client area: one painter
// on the canvas image for the duration of one drawing operation, with the
// colours, mode and font that drawing selected. Whatever it touched is shown
// when it closes.
class CVersionPanel::CDeviceContext {
public:
    struct Metrics {
        int aveCharWidth = 0;
        int height = 0;
        int descent = 0;
        int externalLeading = 0;
    };

    explicit CDeviceContext(CVersionPanel& panel) : m_panel(panel) {
        if (panel.m_pOwner == nullptr || panel.m_canvas.isNull() ||
            panel.m_canvas->Surface().isNull()) {
            return;
        }
        m_canvas = panel.m_canvas.data();
        m_painter.begin(&m_canvas->Surface());
        m_painter.setFont(SurfaceFont());
    }

    ~CDeviceContext() {
        if (m_canvas == nullptr) {
            return;
        }
        m_painter.end();
        m_canvas->Present(m_dirty);
    }

    CDeviceContext(const CDeviceContext&) = delete;
    CDeviceContext& operator=(const CDeviceContext&) = delete;

    explicit operator bool() const { return m_canvas != nullptr; }

    QRect ClientRect() const { return m_canvas->rect(); }

    // The metrics of the surface's default font, whatever is selected now.
    Metrics DefaultMetrics() const {
        const QFontMetrics metrics(SurfaceFont(), &m_canvas->Surface());
        return {metrics.averageCharWidth(), metrics.height(), metrics.descent(),
                std::max(0, metrics.leading())};
    }

    // Black text on the panel's background, each character cell filled.
    void SetColours() {
        m_textColour = kTextColour;
        m_backColour = m_panel.m_crBackground;
        m_opaque = true;
    }

    // A font that was never created is not selected: the current one stays.
    void Select(const std::optional<QFont>& font, PanelFont kind) {
        if (!font) {
            return;
        }
        m_painter.setFont(*font);
        m_font = kind;
    }

    void FillRect(const QRect& rect, QRgb colour) {
        m_painter.fillRect(rect, QColor(colour));
        m_dirty |= rect;
        m_panel.Record({Drawing::Kind::Fill, rect, {}, m_font});
    }

    // Draws the text with its top left corner at (x, y), in full, unclipped.
    void TextOut(int x, int y, const QString& text) {
        const QFontMetrics metrics = m_painter.fontMetrics();
        const QRect cells(x, y, metrics.horizontalAdvance(text), metrics.height());
        if (m_opaque) {
            m_painter.fillRect(cells, QColor(m_backColour));
        }
        m_painter.setPen(QColor(m_textColour));
        m_painter.drawText(QPoint(x, y + metrics.ascent()), text);
        m_dirty |= cells;
        m_panel.Record({Drawing::Kind::Text, cells, text, m_font});
    }

    // A value whose field may hold a longer predecessor ("2.10e" before
    // "2.09"): the field, from x to the client area's right edge, is cleared
    // first, so no character of the old value shows through. A value wider
    // than the field is shortened at its end, measured in the font selected
    // now, the one it is drawn in. Returns the field and whether the value
    // was shortened.
    std::pair<QRect, bool> ValueOut(int x, int y, const QString& text) {
        const QFontMetrics metrics = m_painter.fontMetrics();
        const QRect field(x, y, std::max(0, ClientRect().right() + 1 - x), metrics.height());
        FillRect(field, m_backColour);
        const QString shown = metrics.elidedText(text, Qt::ElideRight,
                                                 std::max(0, field.width() - kValueRightMargin));
        TextOut(x, y, shown);
        return {field, shown != text};
    }

    // Formats printf-style into a bounded buffer and draws the result.
    __attribute__((format(printf, 4, 5))) void DrawFormatted(int x, int y, const char* format,
                                                             ...) {
        char buffer[kFormatBufferSize];
        va_list args;
        va_start(args, format);
        std::vsnprintf(buffer, sizeof buffer, format, args);
        va_end(args);
        TextOut(x, y, QString::fromUtf8(buffer));
    }

private:
    CVersionPanel& m_panel;
    CPanelCanvas* m_canvas = nullptr;
    QPainter m_painter;
    QRect m_dirty;
    PanelFont m_font = PanelFont::Surface;
    QRgb m_textColour = kTextColour;
    QRgb m_backColour = qRgb(255, 255, 255);
    bool m_opaque = false;
};

// Answers the owner's tool-tip requests over shortened versions. The canvas
// lets the mouse through, so the owner is asked where the versions are shown.
class CVersionPanel::CToolTipFilter : public QObject {
public:
    explicit CToolTipFilter(CVersionPanel& panel) : m_panel(panel) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::ToolTip || watched != m_panel.m_pOwner ||
            m_panel.m_canvas.isNull()) {
            return false;
        }
        const auto* help = static_cast<QHelpEvent*>(event);
        const QString text =
            m_panel.ToolTipAt(m_panel.m_canvas->mapFrom(m_panel.m_pOwner, help->pos()));
        if (text.isEmpty()) {
            return false;  // the owner's own tool tip, if any
        }
        QToolTip::showText(help->globalPos(), text, m_panel.m_pOwner);
        return true;
    }

private:
    CVersionPanel& m_panel;
};

CVersionPanel::CVersionPanel() : m_crBackground(qRgb(212, 208, 200)) {}

CVersionPanel::~CVersionPanel() {
    m_pOwner = nullptr;
    m_fontNormal.reset();
    m_fontBold.reset();
}

QFont CVersionPanel::CellFont(int cellHeight, int weight) {
    QFont font(QStringLiteral("Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setWeight(static_cast<QFont::Weight>(weight));
    // The cell (ascent plus descent) must fit the height, as a font asked for
    // by its cell height is chosen; pixel sizes name the em, which is smaller.
    for (int pixels = cellHeight; pixels > 1; --pixels) {
        font.setPixelSize(pixels);
        if (QFontMetrics(font).height() <= cellHeight) {
            break;
        }
    }
    return font;
}

QFont CVersionPanel::SurfaceFont() {
    return CellFont(kFontCellHeight, QFont::Normal);
}

void CVersionPanel::AttachWindow(QWidget* owner) {
    m_pOwner = owner;
    if (owner != nullptr && m_canvas.isNull()) {
        m_canvas = new CPanelCanvas(owner);  // owned by the window
    }
    if (owner != nullptr) {
        m_toolTipFilter = std::make_unique<CToolTipFilter>(*this);
        owner->installEventFilter(m_toolTipFilter.get());
    }
    m_fontBold = CellFont(kFontCellHeight, kBoldWeight);
    m_fontNormal = CellFont(kFontCellHeight, QFont::Normal);
}

void CVersionPanel::DetachWindow() {
    m_pOwner = nullptr;
    m_toolTips.clear();
}

QImage CVersionPanel::Surface() const {
    return m_canvas.isNull() ? QImage() : m_canvas->Surface();
}

void CVersionPanel::Record(Drawing drawing) {
    if (m_drawings.size() >= kDrawingLimit) {
        m_drawings.pop_front();
    }
    m_drawings.push_back(std::move(drawing));
}

void CVersionPanel::PaintVersions() {
    CDeviceContext dc(*this);
    if (!dc) {
        return;
    }
    const int w = dc.DefaultMetrics().aveCharWidth;
    const int labelX = 4 * w + 30;
    const int valueX = 15 * w + 4 * w + 30;
    dc.SetColours();
    m_toolTips.clear();
    const auto value = [&](int y, const std::string& text) {
        const QString whole = QString::fromStdString(text);
        const auto [field, shortened] = dc.ValueOut(valueX, y, whole);
        if (shortened) {
            m_toolTips.emplace_back(field, whole);
        }
    };

    dc.Select(m_fontBold, PanelFont::Bold);
    dc.TextOut(kHeadingX, 10, QStringLiteral("Current Version"));
    dc.Select(m_fontNormal, PanelFont::Normal);
    dc.TextOut(labelX, 30, QStringLiteral("Boot Code:"));
    value(30, m_strBootCode);
    dc.TextOut(labelX, 50, QStringLiteral("Charger Code:"));
    value(50, m_strChargerCode);

    dc.Select(m_fontBold, PanelFont::Bold);
    dc.TextOut(kHeadingX, 80, QStringLiteral("Upgrade Version"));
    // The upgrade would install this charger-code version, hence the label.
    dc.Select(m_fontNormal, PanelFont::Normal);
    dc.TextOut(labelX, 100, QStringLiteral("Charger Code:"));
    value(100, m_strUpgradeVersion);
}

void CVersionPanel::ShowStatus(const std::string& text) {
    CDeviceContext dc(*this);
    if (!dc) {
        return;
    }
    const CDeviceContext::Metrics tm = dc.DefaultMetrics();
    const int y = tm.descent + tm.externalLeading + kStatusTop;
    dc.SetColours();
    // Only the first 250 pixels are erased: a longer predecessor keeps its
    // tail until the window is shown afresh.
    dc.FillRect(QRect(kStatusX, y, kStatusEraseWidth, tm.height), m_crBackground);
    dc.TextOut(kStatusX, y, QString::fromStdString(text));
}

QString CVersionPanel::FitStatus(const QString& text) const {
    // Measured as ShowStatus draws: the surface's default font on the surface.
    const QFontMetrics metrics =
        m_canvas ? QFontMetrics(SurfaceFont(), &m_canvas->Surface()) : QFontMetrics(SurfaceFont());
    return metrics.elidedText(text, Qt::ElideMiddle, kStatusEraseWidth);
}

QString CVersionPanel::ToolTipAt(const QPoint& clientPoint) const {
    for (const auto& [field, text] : m_toolTips) {
        if (field.contains(clientPoint)) {
            return text;
        }
    }
    return {};
}

void CVersionPanel::SetProgress(int position, int total) {
    if (m_pOwner == nullptr) {
        return;
    }
    auto* bar = m_pOwner->findChild<QProgressBar*>(QLatin1String(kProgressName));
    if (bar == nullptr) {
        return;
    }
    if (position != 0) {
        // A position outside the range goes to its nearest end.
        bar->setValue(std::clamp(position, bar->minimum(), bar->maximum()));
        return;
    }
    if (total == 0) {
        bar->hide();
        return;
    }
    bar->show();
    const int maximum = static_cast<std::uint16_t>(total);
    // An empty range would turn the bar into a busy indicator; keep it an
    // empty bar instead. A new range is a new upload: it starts empty, never
    // at the position the last one reached.
    bar->setRange(0, std::max(maximum, 1));
    bar->setValue(0);
    QPalette palette = bar->palette();
    palette.setColor(QPalette::Highlight, QColor(kBarColour));
    bar->setPalette(palette);
}

void CVersionPanel::ResetVariables() {
    ::ResetVariables(m_vars);
}

int CVersionPanel::VariableRowsBottom() {
    // The rows are placed by the surface font's metrics, as PaintVariables does.
    const QFontMetrics tm(SurfaceFont());
    const int leading = std::max(0, tm.leading());
    const int lineHeight = tm.height() + leading + kVariableRowGap;
    return tm.descent() + leading + kVariableRows * lineHeight + tm.height();
}

void CVersionPanel::PaintVariables() {
    CDeviceContext dc(*this);
    if (!dc) {
        return;
    }
    const CDeviceContext::Metrics tm = dc.DefaultMetrics();
    const QRect client = dc.ClientRect();
    const int lineHeight = tm.height + tm.externalLeading + kVariableRowGap;
    const auto rowTop = [&](int k) {
        return client.top() + tm.descent + tm.externalLeading + k * lineHeight;
    };
    dc.SetColours();
    m_drawings.clear();  // everything earlier is painted over now
    m_toolTips.clear();
    dc.FillRect(client, m_crBackground);

    const auto rows = FormatVariables(m_vars);
    for (int k = 1; k <= kVariableRows; ++k) {
        dc.DrawFormatted(client.left() + kVariableLabelX, rowTop(k), "%s", rows[k - 1].label);
    }
    for (int k = 1; k <= kVariableRows; ++k) {
        dc.DrawFormatted(client.left() + kVariableValueX, rowTop(k), "%s",
                         rows[k - 1].text.c_str());
    }
}
