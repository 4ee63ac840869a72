#include "app/MainDialogView.h"

#include <QPushButton>

#include <algorithm>

#include "app/MainDialog.h"

std::string& CMainDialogView::BootCode() {
    return m_dialog.m_panel.m_strBootCode;
}

std::string& CMainDialogView::ChargerCode() {
    return m_dialog.m_panel.m_strChargerCode;
}

const std::string& CMainDialogView::UpgradeVersion() const {
    return m_dialog.m_panel.m_strUpgradeVersion;
}

void CMainDialogView::ShowStatus(const std::string& text) {
    m_lastStatus = text;
    m_dialog.m_panel.ShowStatus(text);
}

void CMainDialogView::SetProgress(int position, int total) {
    m_highestBlock = std::max(m_highestBlock, position);
    m_dialog.m_panel.SetProgress(position, total);
}

void CMainDialogView::PaintVersions() {
    m_dialog.m_panel.PaintVersions();
}

void CMainDialogView::ClearVersions() {
    IChargerView::ClearVersions();
    m_dialog.m_panel.PaintVersions();
}

void CMainDialogView::InvalidateWindow() {
    m_dialog.update();
}

void CMainDialogView::PaintWindow() {
    m_dialog.OnPaint();
}

void CMainDialogView::ShowUpgradeButton(bool show) {
    m_dialog.m_btnUpgrade->setVisible(show);
}

void CMainDialogView::ShowReadButton(bool show) {
    m_dialog.m_btnRead->setVisible(show);
}
