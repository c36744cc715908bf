#include "MyUtils.h"

#include <cinttypes>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <string_view>

#include <sys/stat.h>

namespace quovo {

namespace {

// Days from 1899-12-30 (day 0 of a date-time) to 1970-01-01.
constexpr double kUnixEpochDays = 25569.0;
constexpr double kSecondsPerDay = 86400.0;

// Offset of local time from UTC in seconds, as it is now (east positive).
long CurrentUtcOffset() {
    const time_t now = time(nullptr);
    struct tm local {};
    localtime_r(&now, &local);
    return local.tm_gmtoff;
}

// Civil date of a day count since 1970-01-01 (proleptic Gregorian).
void CivilFromDays(int64_t days, int& year, int& month, int& day) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t mp = (5 * dayOfYear + 2) / 153;
    day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
}

size_t LastSeparator(const std::string& name) {
    return name.find_last_of("/:");
}

} // namespace

std::string FormatFileSize(int64_t size) {
    if (size > (int64_t(1) << 30)) {
        return StringPrintf("%.2f GB", static_cast<double>(size) / double(int64_t(1) << 30));
    }
    if (size > (int64_t(1) << 20)) {
        return StringPrintf("%.2f MB", static_cast<double>(size) / double(int64_t(1) << 20));
    }
    if (size > 1024) {
        return StringPrintf("%.2f KB", static_cast<double>(size) / 1024.0);
    }
    return StringPrintf("%" PRId64 " Byte", size);
}

int64_t GetFileSize64(const std::string& fileName) {
    struct stat st {};
    if (fileName.empty() || stat(fileName.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return -1;
    }
    return static_cast<int64_t>(st.st_size);
}

// The bias is the one in effect now, not at the given date, so the two conversions are exact
// inverses of each other.
double UnixToLocalDateTime(int64_t unixSeconds) {
    const double localSeconds = static_cast<double>(unixSeconds + CurrentUtcOffset());
    return localSeconds / kSecondsPerDay + kUnixEpochDays;
}

int64_t LocalDateTimeToUnix(double dateTime) {
    const double localSeconds = (dateTime - kUnixEpochDays) * kSecondsPerDay;
    return static_cast<int64_t>(std::llround(localSeconds)) - CurrentUtcOffset();
}

std::string DateTimeText(const std::string& format, double dateTime) {
    // Whole milliseconds first, so 23:59:59.9996 becomes the next day rather than 23:59:60.
    const int64_t totalMs = std::llround((dateTime - kUnixEpochDays) * kSecondsPerDay * 1000.0);
    int64_t days = totalMs / 86400000;
    int64_t msOfDay = totalMs % 86400000;
    if (msOfDay < 0) {
        msOfDay += 86400000;
        --days;
    }
    int year = 0;
    int month = 0;
    int day = 0;
    CivilFromDays(days, year, month, day);
    const int hour = static_cast<int>(msOfDay / 3600000);
    const int minute = static_cast<int>(msOfDay / 60000 % 60);
    const int second = static_cast<int>(msOfDay / 1000 % 60);

    struct Token {
        const char* text;
        int value;
        const char* fmt;
    };
    const Token tokens[] = {
        {"yyyy", year, "%04d"}, {"mm", month, "%02d"},  {"dd", day, "%02d"},
        {"hh", hour, "%02d"},   {"nn", minute, "%02d"}, {"ss", second, "%02d"},
    };
    std::string out;
    size_t i = 0;
    while (i < format.size()) {
        bool matched = false;
        for (const Token& token : tokens) {
            const std::string_view text(token.text);
            if (format.compare(i, text.size(), text) == 0) {
                out += StringPrintf(token.fmt, token.value);
                i += text.size();
                matched = true;
                break;
            }
        }
        if (!matched) {
            out += format[i++];
        }
    }
    return out;
}

std::string ExtractPath(const std::string& name) {
    const size_t pos = LastSeparator(name);
    return pos == std::string::npos ? std::string() : name.substr(0, pos + 1);
}

std::string ExtractName(const std::string& name) {
    const size_t pos = LastSeparator(name);
    return pos == std::string::npos ? name : name.substr(pos + 1);
}

std::string AddTrailingSlash(const std::string& folder) {
    if (!folder.empty() && folder.back() == '/') {
        return folder;
    }
    return folder + '/';
}

std::string SplitFirst(std::string& text, const std::string& separator, bool removeHead) {
    const size_t pos = separator.empty() ? std::string::npos : text.find(separator);
    if (pos == std::string::npos) {
        std::string head = text;
        if (removeHead) {
            text.clear();
        }
        return head;
    }
    std::string head = text.substr(0, pos);
    if (removeHead) {
        text.erase(0, pos + separator.size());
    }
    return head;
}

std::string Trim(const std::string& s) {
    // Spaces and control characters, as the option texts and INI values need.
    size_t first = 0;
    size_t last = s.size();
    while (first < last && static_cast<unsigned char>(s[first]) <= ' ') {
        ++first;
    }
    while (last > first && static_cast<unsigned char>(s[last - 1]) <= ' ') {
        --last;
    }
    return s.substr(first, last - first);
}

std::string LowerCase(const std::string& s) {
    // ASCII only: names and keywords, never user text.
    std::string out = s;
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

std::string StringVPrintf(const char* fmt, va_list args) {
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    std::string out;
    if (length > 0) {
        out.resize(static_cast<size_t>(length) + 1);
        std::vsnprintf(out.data(), out.size(), fmt, args);
        out.resize(static_cast<size_t>(length));
    }
    return out;
}

std::string StringPrintf(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    std::string out = StringVPrintf(fmt, args);
    va_end(args);
    return out;
}

} // namespace quovo
