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

void GridCells::Clear() {
    for (auto& column : columns_) {
        column.assign(1, std::string());
    }
}

void Grid::SetRowCount(int rows) {
    cells_.SetRowCount(rows);
    RowCountChanged();
}

void Grid::Clear() {
    cells_.Clear();
    RowCountChanged();
}

void Grid::Append(std::string value) {
    if (!cells_.Cell(0, cells_.RowCount() - 1).empty()) {
        cells_.SetRowCount(cells_.RowCount() + 1);
        RowCountChanged();
    }
    cells_.SetCell(0, cells_.RowCount() - 1, std::move(value));
}

} // namespace platform
