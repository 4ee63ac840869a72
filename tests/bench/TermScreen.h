// A small model of a terminal for the table's tests; the tmux test checks
// the same table in a real one.
#pragma once

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

namespace benchtest {

// What a terminal of a given size shows of the bytes it is sent: printable
// characters, CR, LF, cursor up (ESC [ n A), erase below (ESC [ J) and erase
// to the end of the line (ESC [ K), also when a read ends inside one. It
// counts the lines scrolled off its top and the characters that reached its
// last column, where a real terminal would wrap.
class CScreen {
public:
    CScreen(int columns, int rows)
        : m_columns(columns), m_lines(static_cast<std::size_t>(rows), std::string()) {}

    void Feed(const std::string& more) {
        const std::string bytes = m_partial + more;
        m_partial.clear();
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            const char c = bytes[i];
            std::size_t end = i + 2;
            while (end < bytes.size() && std::isdigit(static_cast<unsigned char>(bytes[end]))) {
                ++end;
            }
            if (c == '\x1b' && end >= bytes.size()) {
                m_partial = bytes.substr(i);  // the rest comes with the next read
                return;
            }
            if (c == '\x1b' && bytes[i + 1] == '[') {
                const int n = end > i + 2 ? std::stoi(bytes.substr(i + 2, end - i - 2)) : 1;
                if (bytes[end] == 'A') {
                    m_row = std::max(0, m_row - n);
                } else if (bytes[end] == 'K') {
                    std::string& line = m_lines[static_cast<std::size_t>(m_row)];
                    line.resize(std::min(line.size(), static_cast<std::size_t>(m_column)));
                } else if (bytes[end] == 'J') {
                    m_lines[static_cast<std::size_t>(m_row)].resize(
                        std::min(m_lines[static_cast<std::size_t>(m_row)].size(),
                                 static_cast<std::size_t>(m_column)));
                    for (std::size_t r = static_cast<std::size_t>(m_row) + 1; r < m_lines.size();
                         ++r) {
                        m_lines[r].clear();
                    }
                } else {
                    ADD_FAILURE() << "unexpected control sequence " << bytes.substr(i + 1, 4);
                }
                i = end;
            } else if (c == '\r') {
                m_column = 0;
            } else if (c == '\n') {
                NextLine();
            } else {
                if (m_column >= m_columns - 1) {
                    ++lastColumnHits;
                }
                std::string& line = m_lines[static_cast<std::size_t>(m_row)];
                line.resize(std::max(line.size(), static_cast<std::size_t>(m_column) + 1), ' ');
                line[static_cast<std::size_t>(m_column++)] = c;
            }
        }
    }

    // The screen's lines, down to the cursor's.
    std::vector<std::string> Lines() const { return {m_lines.begin(), m_lines.begin() + m_row}; }

    int scrolled = 0;
    int lastColumnHits = 0;

private:
    void NextLine() {
        if (++m_row == static_cast<int>(m_lines.size())) {
            m_lines.erase(m_lines.begin());
            m_lines.emplace_back();
            --m_row;
            ++scrolled;
        }
    }

    int m_columns;
    std::string m_partial;  // an escape sequence cut short by the end of a read
    std::vector<std::string> m_lines;
    int m_row = 0;
    int m_column = 0;
};

}  // namespace benchtest
