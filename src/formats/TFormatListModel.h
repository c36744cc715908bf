// The rows of the pop-up format list as data: a two-level tree of category rows and format rows
// that the list widget draws and forwards its mouse presses to. Collapsed states live in the
// settings section "lstformat" (key = category number, missing = collapsed) and are written back
// only by SaveFormatListState.
#pragma once

#include "FormatCatalogue.h"
#include "TIniStore.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quovo {

struct TItemInfo {
    std::uint8_t IsFormat = 0;
    std::uint8_t IsCategory = 0;
    bool Collapsed = false; // category rows only
    std::int32_t Code = 0;  // category number, or format code
};

struct TFormatRow {
    std::string Text;
    TItemInfo Info;
};

struct TFormatChoice {
    std::string Name;
    int Code;
};

// Placement of the pop-up, which opens upwards from a fixed baseline above the format field.
struct TPopupGeometry {
    int Top;
    int Height;
};

constexpr int kFormatRowHeight = 20;
constexpr int kToggleZoneWidth = 20;

class TFormatListModel {
public:
    // Rebuilds every row from the catalogue and the stored collapsed states, then selects the row
    // of the stored FormatName (none when no row has that text).
    void FillFormatList(const TIniStore& settings);
    // Writes the collapsed state of every category row into "lstformat".
    bool SaveFormatListState(TIniStore& settings) const;

    const std::vector<TFormatRow>& Rows() const { return rows_; }
    int Selected() const { return selected_; }
    void Select(int row) { selected_ = row >= 0 && row < RowCount() ? row : -1; }
    // Selects the row whose text equals the name without surrounding blanks; -1 when none.
    int SelectByName(const std::string& name);
    int RowCount() const { return static_cast<int>(rows_.size()); }
    // The text FillFormatList put into the format field (the stored FormatName).
    const std::string& FieldText() const { return fieldText_; }

    // Expands a collapsed category row or collapses an expanded one; other rows are left alone.
    void Toggle(int row);
    // A left-button press at x pixels from the list's left edge: toggles a category row when x is
    // within the toggle zone, chooses a format row (writing FormatName and FormatCode).
    std::optional<TFormatChoice> MouseDown(int row, int x, TIniStore& settings);
    // The same without writing: for editors that keep the choice until they are confirmed.
    std::optional<TFormatChoice> MouseDown(int row, int x);
    void DoubleClick(int row);

    TPopupGeometry FillGeometry(int fieldTop, int rowHeight) const;
    TPopupGeometry ShowGeometry(int fieldTop) const;

private:
    TFormatTable table_;
    std::vector<TFormatRow> rows_;
    int selected_ = -1;
    std::string fieldText_;
};

} // namespace quovo
