#include "TFormatListModel.h"

#include "TAppSettings.h"

namespace quovo {

namespace {

std::string Trim(const std::string& text) {
    size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) {
        return {};
    }
    size_t last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

TFormatRow FormatRow(const std::string& name, int category, int position) {
    TFormatRow row;
    row.Text = name;
    row.Info.IsFormat = 1;
    row.Info.Code = category * 100 + position;
    return row;
}

} // namespace

void TFormatListModel::FillFormatList(const TIniStore& settings) {
    rows_.clear();
    selected_ = -1;
    table_.Fill();
    for (int c = 0; c < kCategoryCount; ++c) {
        TFormatRow category;
        category.Text = CategoryName(c);
        category.Info.IsCategory = 1;
        category.Info.Code = c;
        category.Info.Collapsed = settings.ReadBool("lstformat", std::to_string(c), true);
        rows_.push_back(category);
        if (!category.Info.Collapsed) {
            for (int p = 0; p <= 30; ++p) {
                if (!table_.Slot(c, p).empty()) {
                    rows_.push_back(FormatRow(table_.Slot(c, p), c, p));
                }
            }
        }
    }
    fieldText_ = StoredFormatName(settings);
    SelectByName(fieldText_);
}

bool TFormatListModel::SaveFormatListState(TIniStore& settings) const {
    std::vector<std::pair<std::string, std::string>> values;
    for (const TFormatRow& row : rows_) {
        if (row.Info.IsCategory) {
            values.emplace_back(std::to_string(row.Info.Code), row.Info.Collapsed ? "1" : "0");
        }
    }
    return settings.WriteValues("lstformat", values);
}

int TFormatListModel::SelectByName(const std::string& name) {
    const std::string wanted = Trim(name);
    selected_ = -1;
    for (int i = 0; i < RowCount(); ++i) {
        if (rows_[i].Text == wanted) {
            selected_ = i;
            break;
        }
    }
    return selected_;
}

void TFormatListModel::Toggle(int row) {
    if (row < 0 || row >= RowCount() || !rows_[row].Info.IsCategory) {
        return;
    }
    const int category = rows_[row].Info.Code;
    const std::string selectedText = selected_ >= 0 ? rows_[selected_].Text : std::string();
    if (rows_[row].Info.Collapsed) {
        for (int p = 0; p <= 49; ++p) {
            if (!table_.Slot(category, p).empty()) {
                rows_.insert(rows_.begin() + row + p + 1,
                             FormatRow(table_.Slot(category, p), category, p));
            }
        }
        rows_[row].Info.Collapsed = false;
    } else {
        while (row + 1 < RowCount() && rows_[row + 1].Info.IsFormat) {
            rows_.erase(rows_.begin() + row + 1);
        }
        rows_[row].Info.Collapsed = true;
    }
    // The selection follows its row, or goes when the row went.
    if (!selectedText.empty()) {
        SelectByName(selectedText);
    }
}

std::optional<TFormatChoice> TFormatListModel::MouseDown(int row, int x, TIniStore& settings) {
    std::optional<TFormatChoice> choice = MouseDown(row, x);
    if (choice) {
        settings.WriteValues("settings", {{"FormatName", choice->Name},
                                          {"FormatCode", std::to_string(choice->Code)}});
    }
    return choice;
}

std::optional<TFormatChoice> TFormatListModel::MouseDown(int row, int x) {
    if (row < 0 || row >= RowCount()) {
        return std::nullopt;
    }
    if (rows_[row].Info.IsCategory) {
        if (x >= 0 && x < kToggleZoneWidth) {
            Toggle(row);
        }
        return std::nullopt;
    }
    selected_ = row;
    return TFormatChoice{rows_[row].Text, rows_[row].Info.Code};
}

void TFormatListModel::DoubleClick(int row) {
    Toggle(row);
}

TPopupGeometry TFormatListModel::FillGeometry(int fieldTop, int rowHeight) const {
    const int rows = RowCount();
    int height = rows * rowHeight < 363 ? (rows + 1) * rowHeight : 362;
    return {fieldTop - height + 395, height};
}

TPopupGeometry TFormatListModel::ShowGeometry(int fieldTop) const {
    const int rows = RowCount();
    int height = rows * kFormatRowHeight > 386 ? 386 : rows * kFormatRowHeight + 20;
    return {fieldTop - height + 431, height};
}

} // namespace quovo
