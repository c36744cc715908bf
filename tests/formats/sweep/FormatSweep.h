// The format sweep: every choice the parameter boxes can store, converted once through the editor,
// the option builder and the conversion component, and the output checked against the choice.
//
// A case starts from the format's defaults and changes one box the way the window does (or picks
// a zoom mode, or a source without picture, or one whose pixels are not square). The output must
// have the format's container and the chosen codecs, picture size, frame rate, sample rate and
// channels; where the builder moved a value it must have logged the value the output has
// ("…: the output is 704x576", "…: the output has 32000 Hz").
#pragma once

#include <string>
#include <vector>

namespace quovo {

class TIniStore;

namespace sweep {

enum class TSourceKind {
    Square,     // 720x480 square pixels, 30 fps, stereo 44.1 kHz
    SoundOnly,  // mono 22.05 kHz MP3, no picture
    Anamorphic, // 720x576 16:9 MPEG-2 at 25 fps, stereo 48 kHz
    HdMono,     // 1280x720 at 24 fps with mono 22.05 kHz sound: every "as source" at once
};

struct TSweepCase {
    int Code = 0;
    std::string Box; // "VideoSize" … "Volume", "Zoom"; empty: the format's defaults
    int Index = -1;  // the entry chosen in the box
    std::string Entry;
    TSourceKind Source = TSourceKind::Square;

    std::string Name() const; // "1400 VideoSize=as source", "2301 sound only" …
};

// The demuxer names the library reports for a file of extension `ext`.
std::string DemuxerOf(const std::string& ext);
// The codec name a decoder reports for what encoder `encoder` (a stored value) wrote.
std::string CodecOf(const std::string& encoder);

// Every case of every format of the format file, in catalogue order.
std::vector<TSweepCase> AllCases(const TIniStore& formatFile);
// The case of `name` as Name() gives it; throws std::invalid_argument when there is none.
TSweepCase CaseNamed(const TIniStore& formatFile, const std::string& name);

// Writes the four sources into `folder` (made if missing), keeping those already there.
void MakeSources(const std::string& folder);

struct TSweepOutcome {
    bool Ok = false;
    std::string Failure;                  // what is wrong, when not Ok
    std::vector<std::string> Adjustments; // the builder's and the engine's logged moves
};

// Converts one case with the sources of `sourceFolder`, working in `workFolder` (made if
// missing, emptied afterwards). Call from one thread at a time: it listens to the process's
// logger.
TSweepOutcome RunCase(const TSweepCase& c, const std::string& sourceFolder,
                      const std::string& workFolder);

} // namespace sweep
} // namespace quovo
