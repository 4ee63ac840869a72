#include "app/HistoryModel.h"

#include <iterator>

void CHistoryModel::SetRows(std::vector<Row> rows) {
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

void CHistoryModel::AppendRows(std::vector<Row> rows) {
    if (rows.empty()) {
        return;
    }
    const int first = rowCount();
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(rows.size()) - 1);
    std::move(rows.begin(), rows.end(), std::back_inserter(m_rows));
    endInsertRows();
}

QString CHistoryModel::Text(int row, int column) const {
    if (row < 0 || row >= rowCount() || column < 0 || column >= kColumns) {
        return {};
    }
    return m_rows[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)];
}

int CHistoryModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int CHistoryModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant CHistoryModel::data(const QModelIndex& index, int role) const {
    const QString text = Text(index.row(), index.column());
    if (role == Qt::DisplayRole) {
        return text;
    }
    if (role == Qt::ToolTipRole && (index.column() == kReason || index.column() == kPort) &&
        !text.isEmpty()) {
        return QStringLiteral("<p>%1</p>").arg(text.toHtmlEscaped());
    }
    return {};
}

QVariant CHistoryModel::headerData(int section, Qt::Orientation orientation, int role) const {
    static const char* const kTitles[kColumns] = {"Time", "Device ID", "Outcome", "Versions",
                                                  "Port", "Host",      "Tool",    "Reason"};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= kColumns) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    return QString::fromLatin1(kTitles[section]);
}
