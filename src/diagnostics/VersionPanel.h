// Version panel: the painter through which the charger's versions, the status
// line, the progress bar and the monitor's sixteen rows reach the screen.
//
// Principles of operation
//   The main window holds one panel and attaches it to itself at start-up; the
//   monitor window holds a second one. Every drawing operation draws at once,
//   outside any paint request: it opens a "device context" on the owner's
//   client area, measures the surface's default font, draws, and shows the
//   change on the screen before it returns. The drawing lands in a surface
//   (CPanelCanvas, a window-sized image under the owner's controls) that keeps
//   what was drawn, so the owner's own repaints show it again unchanged;
//   showing the window afresh (first show, restore) erases it.
//
//   Texts are drawn with their top left corner at the given point, each
//   character cell filled with the background colour. The panel's fonts are a
//   sans-serif face with a 16-pixel character cell, bold and normal; the
//   surface's default font, whose metrics place the columns and rows, stands
//   in for the desktop's system font: the same face and cell, normal weight.
//
//   The panel records what it draws (a bounded list, cleared when a drawing
//   fills the whole client area) so that tests and tools can read the texts
//   and their places back.
//
//   A version too long for its field is drawn shortened at its end, measured
//   in the font it is drawn in; hovering over it shows the whole text as the
//   owner's tool tip.
//
//   SetProgress drives the owner's child progress bar named kProgressName
//   (the main window's control 1014); an owner without one is left alone.
//
// Threads: user-interface thread only; no locks.
#pragma once

#include <QFont>
#include <QImage>
#include <QPointer>
#include <QRect>
#include <QRgb>
#include <QString>

#include <cstddef>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "diagnostics/ChargerVariables.h"

class QWidget;
class CPanelCanvas;

class CVersionPanel {
public:
    // The object name of the owner's progress bar that SetProgress drives.
    static constexpr const char* kProgressName = "control1014";
    // The cell height of the panel's fonts and of the surface's default font.
    static constexpr int kFontCellHeight = 16;
    static constexpr int kBoldWeight = 700;
    // How many drawings the record keeps at most (the oldest are dropped).
    static constexpr std::size_t kDrawingLimit = 512;

    // Which font a text was drawn in.
    enum class PanelFont { Surface, Bold, Normal };

    // One recorded drawing, in client coordinates (0, 0 = client top left).
    struct Drawing {
        enum class Kind { Fill, Text };
        Kind kind = Kind::Text;
        QRect rect;  // the filled rectangle, or the text's cells
        QString text;
        PanelFont font = PanelFont::Surface;
    };

    CVersionPanel();
    virtual ~CVersionPanel();
    CVersionPanel(const CVersionPanel&) = delete;
    CVersionPanel& operator=(const CVersionPanel&) = delete;

    // Remembers the window and creates both fonts. Called once per panel.
    void AttachWindow(QWidget* owner);
    // Forgets the window: every drawing operation does nothing afterwards.
    void DetachWindow();

    void PaintVersions();
    void ShowStatus(const std::string& text);
    // The text shortened in its middle to the width that each new status
    // clears, so a long one leaves no tail behind the next.
    QString FitStatus(const QString& text) const;
    // (p, t): p not 0 moves the bar; (0, t) shows it with range 0..t (t taken
    // modulo 65536) in blue, at position 0; (0, 0) hides it.
    void SetProgress(int position, int total);

    // The whole text of the shortened version whose field holds the point, in
    // client coordinates; empty where no version was shortened.
    QString ToolTipAt(const QPoint& clientPoint) const;

    // The monitor's record: all sixteen values zero.
    void ResetVariables();
    // The monitor's sixteen rows over the whole client area.
    void PaintVariables();
    // Where the sixteenth row ends, in client pixels from the top.
    static int VariableRowsBottom();

    // The font a fresh drawing surface holds before the panel selects its own.
    static QFont SurfaceFont();
    // A sans-serif font whose character cell is at most cellHeight pixels high.
    static QFont CellFont(int cellHeight, int weight);

    // What the panel has drawn, oldest first.
    const std::deque<Drawing>& Drawings() const { return m_drawings; }
    void ClearDrawings() { m_drawings.clear(); }
    // A copy of the surface (null before AttachWindow).
    QImage Surface() const;

    // The version texts, read and written directly by identification.
    std::string m_strBootCode;
    std::string m_strChargerCode;
    std::string m_strUpgradeVersion;
    QWidget* m_pOwner = nullptr;  // not owned
    QRgb m_crBackground;
    // The record of charger variables the monitor shows.
    ChargerVariables m_vars;
    std::optional<QFont> m_fontBold;
    std::optional<QFont> m_fontNormal;

private:
    class CDeviceContext;
    class CToolTipFilter;

    void Record(Drawing drawing);

    QPointer<CPanelCanvas> m_canvas;
    std::deque<Drawing> m_drawings;
    // The fields of shortened versions and their whole texts.
    std::vector<std::pair<QRect, QString>> m_toolTips;
    std::unique_ptr<CToolTipFilter> m_toolTipFilter;
};
