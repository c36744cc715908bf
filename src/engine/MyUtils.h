// Small helpers shared by the engine, the probe, the player and the DVD interface.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <string>

namespace quovo {

std::string FormatFileSize(int64_t size);
// Size of an existing regular file, -1 otherwise.
int64_t GetFileSize64(const std::string& fileName);

// Date-times are days since 1899-12-30 in local time, as a double.
double UnixToLocalDateTime(int64_t unixSeconds);
int64_t LocalDateTimeToUnix(double dateTime);
// Formats with the tokens yyyy, mm, dd, hh, nn, ss (the probe uses "yyyy-mm-dd hh:nn:ss").
std::string DateTimeText(const std::string& format, double dateTime);

// The part up to and including the last "/" (or ":"), and the part after it.
std::string ExtractPath(const std::string& name);
std::string ExtractName(const std::string& name);
std::string AddTrailingSlash(const std::string& folder);

// The text before the first separator (all of it when there is none); with removeHead the head
// and the separator are cut from `text`.
std::string SplitFirst(std::string& text, const std::string& separator, bool removeHead);

std::string Trim(const std::string& s);
std::string LowerCase(const std::string& s);
std::string StringPrintf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string StringVPrintf(const char* fmt, va_list args) __attribute__((format(printf, 1, 0)));

} // namespace quovo
