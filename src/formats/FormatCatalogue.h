// The fixed catalogue of output formats: 25 categories, 115 formats. A format is identified by its
// code, category × 100 + position (both from 0), which also names its parameter sections
// ("formatInfo" + code) in both INI files. Everything about a format beyond its name (container,
// extension, encoders) comes from the format file, never from the name.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace quovo {

constexpr int kCategoryCount = 25;
constexpr int kFormatTableSize = 51;

struct TFormatEntry {
    int Code;
    int Category;
    int Position;
    std::string Name;
};

// The catalogue table: 51 × 51 slots by category and position; empty text = no format there.
class TFormatTable {
public:
    TFormatTable() { Fill(); }
    // Refills the slots with the fixed entries.
    void Fill();
    const std::string& Slot(int category, int position) const;

private:
    std::array<std::array<std::string, kFormatTableSize>, kFormatTableSize> slots_;
};

const std::string& CategoryName(int category);
// Every format in code order.
const std::vector<TFormatEntry>& AllFormats();
std::optional<TFormatEntry> FindFormat(int code);
std::string FormatSection(int code); // "formatInfo" + code

} // namespace quovo
