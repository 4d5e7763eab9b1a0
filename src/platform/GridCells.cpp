#include "GridCells.h"

#include "Ui.h"

namespace platform {

namespace {
const std::string kEmpty;
}

GridCells::GridCells(int columns)
    : columns_(columns < 1 ? 1 : columns, std::vector<std::string>(1)) {}

void GridCells::SetRowCount(int rows) {
    if (rows < 1) {
        rows = 1;
    }
    for (auto& column : columns_) {
        column.resize(static_cast<std::size_t>(rows));
    }
}

bool GridCells::Inside(int column, int row) const {
    return column >= 0 && column < ColCount() && row >= 0 && row < RowCount();
}

const std::string& GridCells::Cell(int column, int row) const {
    if (!Inside(column, row)) {
        return kEmpty;
    }
    return columns_[static_cast<std::size_t>(column)][static_cast<std::size_t>(row)];
}

void GridCells::SetCell(int column, int row, std::string text) {
    if (Inside(column, row)) {
        columns_[static_cast<std::size_t>(column)][static_cast<std::size_t>(row)] = std::move(text);
    }
}

bool GridCells::Clear() {
    bool changed = false;
    for (auto& column : columns_) {
        changed = changed || column.size() != 1 || !column[0].empty();
        column.assign(1, std::string());
    }
    return changed;
}

void Grid::SetRowCount(int rows) {
    cells_.SetRowCount(rows);
    RowCountChanged();
}

// Every folder made during a run clears the scratch grid: a grid that is clear already
// costs the list view no repaint.
void Grid::Clear() {
    if (cells_.Clear()) {
        RowCountChanged();
    }
}

void Grid::Append(std::string value) {
    if (!cells_.Cell(0, cells_.RowCount() - 1).empty()) {
        cells_.SetRowCount(cells_.RowCount() + 1);
        RowCountChanged();
    }
    cells_.SetCell(0, cells_.RowCount() - 1, std::move(value));
}

} // namespace platform
