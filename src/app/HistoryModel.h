// History model: the rows the History window's table shows.
//
// Principles of operation
//   The rows come ready from the loader's thread, their journal texts already
//   made harmless (records::ShownText), so putting a result in the table is
//   one model reset, or one insertion for a later part of it, however many
//   rows it has, and the window does not stall on a big result. The port and reason, often wider
//   than their columns, are also tool tips; a tool tip that looks like markup is rendered as such
//   by Qt, so they are given as escaped rich text that shows every character.
//
// Threads: user-interface thread only.
#pragma once

#include <QAbstractTableModel>

#include <array>
#include <vector>

class CHistoryModel : public QAbstractTableModel {
public:
    enum Column { kTime, kDeviceId, kOutcome, kVersions, kPort, kHost, kTool, kReason, kColumns };
    using Row = std::array<QString, kColumns>;

    using QAbstractTableModel::QAbstractTableModel;

    void SetRows(std::vector<Row> rows);
    void AppendRows(std::vector<Row> rows);
    // Empty for a cell outside the rows.
    QString Text(int row, int column) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::vector<Row> m_rows;
};
