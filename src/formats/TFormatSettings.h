// A format's stored parameters, read through one table: every para… and i… key of the section
// "formatInfo" + code has exactly one default. A key the settings file lacks takes what the
// format file's "Default" would store for it (the entry at the format file's default index, as
// the boxes turn it into a stored value); where the format file is silent too, the value of the
// table below. The parameter boxes, the settings dialog, the file adder, the task planner and the
// command line all read through this class, so what a box shows is what a run uses.
//
// A TFormatSettings is a snapshot: both sections are read when it is made, in one operation each,
// and it never writes. It may be made and read on any thread.
#pragma once

#include "TIniStore.h"

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quovo {

// The ten parameters of a format. Zoom has no index key.
enum class TFormatKey {
    VideoSize,
    VideoBitRate,
    FrameRate,
    VideoEncoder,
    Zoom,
    SampleRate,
    AudioBitRate,
    AudioEncoder,
    Channel,
    Volume,
};

struct TFormatKeyInfo {
    TFormatKey Key;
    const char* ValueKey;    // "paraVideoSize"
    const char* IndexKey;    // "iVideoSize"; nullptr for the zoom
    const char* ListKey;     // the format file's list, "VideoSize"; nullptr for the zoom
    const char* CodeDefault; // when neither file says anything
};

// One section of an INI file read in one operation; keys without regard to case.
class TSectionValues {
public:
    TSectionValues() = default;
    TSectionValues(const TIniStore& ini, const std::string& section);
    std::optional<std::string> Find(const std::string& key) const;
    std::string Read(const std::string& key, const std::string& dflt) const {
        return Find(key).value_or(dflt);
    }

private:
    std::map<std::string, std::string> values_;
};

class TFormatSettings {
public:
    TFormatSettings(const TIniStore& settings, const TIniStore& formatFile, int formatCode);

    static const std::vector<TFormatKeyInfo>& Keys();
    static const TFormatKeyInfo& Info(TFormatKey key);

    int FormatCode() const { return code_; }
    // The stored value, else the format file's default, else the table's.
    std::string Value(TFormatKey key) const;
    // The stored index, else the index "Default" selects (-1 when the box has no list).
    int Index(TFormatKey key) const;
    // Whether the settings file holds the key itself.
    bool Stored(TFormatKey key) const;
    std::string Zoom() const { return Value(TFormatKey::Zoom); }

    // The format file's keys of this format.
    std::string FormatKeyword() const; // Format, "null"
    std::string FileExt() const;       // FileExt, "mp4"
    // The H.264 tuning values the format file offers (paraBitExact … paraCoder), unqualified,
    // in table order; keys the file lacks are left out.
    std::vector<std::pair<std::string, std::string>> TuningValues() const;

    // The format file's default index of a box (i… of the format file, 0 when missing).
    static int FileDefaultIndex(const TIniStore& formatFile, const std::string& section,
                                TFormatKey key);

private:
    struct TDefaults {
        std::map<TFormatKey, std::string> values;
        std::map<TFormatKey, int> indexes;
    };
    const TDefaults& Defaults() const;

    const TIniStore& formatFile_;
    int code_;
    std::string section_;
    TSectionValues stored_;
    TSectionValues format_;
    mutable std::optional<TDefaults> defaults_; // made on first need
};

} // namespace quovo
