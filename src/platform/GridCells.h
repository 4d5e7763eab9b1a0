// The cells of a grid: column-major texts with a row count of at least 1.
#pragma once

#include <string>
#include <vector>

namespace platform {

class GridCells {
public:
    explicit GridCells(int columns);

    int ColCount() const { return static_cast<int>(columns_.size()); }
    int RowCount() const { return static_cast<int>(columns_[0].size()); }
    // Rows gained are empty; rows removed drop their cells. Never below 1.
    void SetRowCount(int rows);
    // Cells outside the grid read as empty and ignore writes, as the toolkit's grid does.
    const std::string& Cell(int column, int row) const;
    void SetCell(int column, int row, std::string text);
    // Back to one empty row; false when it already was, so nothing needs repainting.
    bool Clear();

private:
    bool Inside(int column, int row) const;

    std::vector<std::vector<std::string>> columns_;
};

} // namespace platform
