// The INI files of the program (the settings file and the format file).
//
// Conventions every reader and writer relies on: section and key names match without regard to
// case; a missing file, section or key yields the caller's default; integers are decimal text and
// read as the default when the text is not a whole number; Booleans are written "1"/"0" and read as
// true for any non-zero number.
//
// Nothing is cached: each call opens the file for that one operation and closes it again, so a
// window and the command-line tool may share one file. Writes go to a temporary file in the same
// folder which is then renamed over the original, under an advisory lock, so a crash or a full
// disk never leaves a half-written file behind. A damaged file reads as far as it can be parsed
// (whatever cannot be read gives the defaults) and is rewritten cleanly by the next write. A file
// that exists but cannot be read at all (no permission, a folder of that name, an I/O error)
// reads as empty and is never replaced: every write to it fails.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quovo {

class TIniStore {
public:
    explicit TIniStore(std::string path);

    const std::string& Path() const { return path_; }
    // Why the file exists but cannot be read ("Permission denied" …); empty when it can be read
    // or does not exist.
    std::string ReadError() const;

    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& defaultValue) const;
    int ReadInteger(const std::string& section, const std::string& key, int defaultValue) const;
    bool ReadBool(const std::string& section, const std::string& key, bool defaultValue) const;
    bool ValueExists(const std::string& section, const std::string& key) const;
    bool SectionExists(const std::string& section) const;
    // Key names of a section as written in the file (empty when the section is missing).
    std::vector<std::string> ReadSectionKeys(const std::string& section) const;
    // Every key and value of a section in file order, in one read.
    std::vector<std::pair<std::string, std::string>>
    ReadSectionValues(const std::string& section) const;

    // Each write is one read-modify-replace of the whole file; false when the file could not be
    // replaced (the previous content is then still intact).
    bool WriteString(const std::string& section, const std::string& key, const std::string& value);
    bool WriteInteger(const std::string& section, const std::string& key, int value);
    bool WriteBool(const std::string& section, const std::string& key, bool value);
    // Several keys of one section in a single replacement, in the given order.
    bool WriteValues(const std::string& section,
                     const std::vector<std::pair<std::string, std::string>>& values);

    // Test seam: called after the temporary file is complete and before it replaces the original;
    // returning false abandons the write as a failed rename would.
    using TReplaceHook = bool (*)(const std::string& tempPath);
    static void SetReplaceHookForTests(TReplaceHook hook);

private:
    std::string path_;
};

// "Whole number" of the settings rules: optional sign and decimal digits only, in int range.
std::optional<int> ParseWholeNumber(const std::string& text);

} // namespace quovo
