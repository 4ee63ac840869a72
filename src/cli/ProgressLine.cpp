#include "cli/ProgressLine.h"

namespace {

std::string Clock(std::uint32_t ms) {
    const std::uint32_t seconds = ms / 1000;
    char text[16];
    std::snprintf(text, sizeof text, "%02u:%02u", seconds / 60, seconds % 60);
    return text;
}

}  // namespace

std::string CProgressLine::Format(int block, int total, int resends, std::uint32_t elapsedMs) {
    const int percent = total > 0 ? block * 100 / total : 0;
    std::string left = "--:--";
    if (block > 0 && total >= block) {
        const auto perBlock = static_cast<double>(elapsedMs) / block;
        left = Clock(static_cast<std::uint32_t>(perBlock * (total - block)));
    }
    char text[128];
    std::snprintf(text, sizeof text, "block %d of %d  %3d%%  %s elapsed  %s left  %d resend%s",
                  block, total, percent, Clock(elapsedMs).c_str(), left.c_str(), resends,
                  resends == 1 ? "" : "s");
    return text;
}

void CProgressLine::Update(int block, int total, int resends, std::uint32_t elapsedMs) {
    const std::string text = Format(block, total, resends, elapsedMs);
    if (m_terminal) {
        std::fprintf(m_out, "\r\033[K%s", text.c_str());
        m_open = true;
    } else if (block / 10 != m_lastPrinted / 10 || block == total) {
        if (block != m_lastPrinted) {
            std::fprintf(m_out, "%s\n", text.c_str());
        }
        m_lastPrinted = block;
    }
    std::fflush(m_out);
}

void CProgressLine::Finish() {
    if (m_terminal && m_open) {
        std::fputc('\n', m_out);
        std::fflush(m_out);
    }
    m_open = false;
}
