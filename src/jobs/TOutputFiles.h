// How the component writes output files: under a temporary name beside the final one
// ("clip.mp4.part"), renamed when the task ends with a whole file. A killed run so leaves an
// obviously partial file and never a broken one under the final name. The engine itself writes
// wherever it is told; only the component (and so every tool and window) does this.
#pragma once

#include <string>

namespace quovo {

// The temporary name of an output.
std::string PartFileName(const std::string& finalName);

// The muxer to force when `finalName` is written under its temporary name (whose extension no
// longer tells it), or empty when the output is written in place: URLs, pipes, devices and other
// non-regular files, names whose format cannot be told, and formats that make files of their own
// (picture sequences). `forcedFormat` is the format the caller forced, if any.
std::string TemporaryWriteFormat(const std::string& finalName, const std::string& forcedFormat);

enum class TOutputEnd {
    Whole,       // ended well, or stopped with its trailer written: gets its final name
    Partial,     // failed: a non-empty file stays under its temporary name
    WriteFailed, // could not be written (a full disk): removed
};

// Puts the output of a task that has ended where `end` says. `partName` is empty for an output
// written in place.
void FinishOutputFile(const std::string& finalName, const std::string& partName, TOutputEnd end);

} // namespace quovo
