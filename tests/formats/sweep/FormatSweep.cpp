#include "FormatSweep.h"

#include "EncoderLimits.h"
#include "FormatCatalogue.h"
#include "FormatRules.h"
#include "TFFLogger.h"
#include "TFormatFileRun.h"
#include "TFormatParameterEditor.h"
#include "TIniStore.h"

#include "../FormatsTestSupport.h"
#include "Fixtures.h"
#include "TGlobalObject.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <stdexcept>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace quovo::sweep {

namespace fx = fixtures;

namespace {

// The boxes a case may change, in the windows' order.
const char* const kBoxes[] = {"VideoSize",    "VideoBitRate", "FrameRate",
                              "VideoEncoder", "SampleRate",   "AudioBitRate",
                              "AudioEncoder", "Channel",      "Volume"};

struct TSource {
    const char* file;
    bool picture;
    int width, height;
    double fps;
    int sampleRate, channels;
};

const TSource& SourceOf(TSourceKind kind) {
    static const TSource sources[] = {
        {"square.mkv", true, 720, 480, 30.0, 44100, 2},
        {"sound.mp3", false, 0, 0, 0, 22050, 1},
        {"anamorphic.mpg", true, 720, 576, 25.0, 48000, 2},
        {"hd-mono.mkv", true, 1280, 720, 24.0, 22050, 1},
    };
    return sources[static_cast<int>(kind)];
}

constexpr double kSourceSeconds = 1.0;

const char* SourceName(TSourceKind kind) {
    switch (kind) {
    case TSourceKind::SoundOnly:
        return "sound only";
    case TSourceKind::Anamorphic:
        return "anamorphic";
    case TSourceKind::HdMono:
        return "all as source";
    case TSourceKind::Square:
        break;
    }
    return "defaults";
}

std::vector<std::string> Entries(const TIniStore& formatFile, const std::string& section,
                                 const std::string& box) {
    return SplitFormatList(formatFile.ReadString(section, box, "null"))
        .value_or(std::vector<std::string>());
}

// Sets box `box` to entry `index` the way its window control does.
void Choose(TFormatParameterEditor& e, const std::string& box, int index) {
    auto text = [&](const TParamBox& b) {
        return index >= 0 && index < static_cast<int>(b.Items.size()) ? b.Items[index]
                                                                      : std::string();
    };
    const std::map<std::string, std::function<void()>> handlers = {
        {"VideoSize", [&] { e.VideoSizeSelect(index); }},
        {"VideoBitRate", [&] { e.VideoBitRateChange(text(e.VideoBitRate)); }},
        {"FrameRate", [&] { e.FrameRateChange(index); }},
        {"VideoEncoder", [&] { e.VideoEncoderChange(index); }},
        {"Zoom", [&] { e.ZoomChange(index); }},
        {"SampleRate", [&] { e.SampleRateChange(text(e.SampleRate)); }},
        {"AudioBitRate", [&] { e.AudioBitRateChange(text(e.AudioBitRate)); }},
        {"AudioEncoder", [&] { e.AudioEncoderChange(index); }},
        {"Channel", [&] { e.ChannelChange(index); }},
        {"Volume", [&] { e.VolumeChange(index); }},
    };
    handlers.at(box)();
}

// Every box that offers "as source" set to it.
void ChooseEveryAsSource(TFormatParameterEditor& e) {
    const std::pair<const char*, TParamBox*> boxes[] = {
        {"VideoSize", &e.VideoSize},       {"VideoBitRate", &e.VideoBitRate},
        {"FrameRate", &e.FrameRate},       {"SampleRate", &e.SampleRate},
        {"AudioBitRate", &e.AudioBitRate}, {"Channel", &e.Channel},
    };
    for (const auto& [name, box] : boxes) {
        const int index = box->IndexOf("as source");
        if (index >= 0) {
            Choose(e, name, index);
        }
    }
}

// The lines the logger delivers while it lives.
class TLogLines {
public:
    TLogLines() {
        FFLogger()->SetTriggerEventInMainThread(false);
        FFLogger()->SetLevelByName("warning");
        FFLogger()->SetOnLog([this](TFFBaseComponent*, uint32_t, TLogLevel, const std::string& m) {
            std::lock_guard lock(mutex_);
            lines_.push_back(m);
        });
    }
    ~TLogLines() {
        FFLogger()->SetOnLog(nullptr);
        FFLogger()->SetLevelByName("quiet");
    }
    std::vector<std::string> Lines() const {
        std::lock_guard lock(mutex_);
        return lines_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

// Checks of one output against the stored choices; the first failure wins.
class TOutputCheck {
public:
    TOutputCheck(const std::vector<std::string>& log, std::string& failure)
        : log_(log), failure_(failure) {}

    bool Fail(const std::string& what) {
        if (failure_.empty()) {
            failure_ = what;
        }
        return false;
    }
    // The output has `want`, or a logged line says it has `got` instead.
    template <typename T>
    void Value(const char* what, const T& want, const T& got, const std::string& gotText) {
        if (want == got) {
            return;
        }
        for (const std::string& line : log_) {
            if (line.find("the output is " + gotText) != std::string::npos ||
                line.find("the output has " + gotText) != std::string::npos) {
                return;
            }
        }
        Fail(std::string(what) + " is " + gotText + ", not as chosen, and no line says so");
    }
    void Rate(double want, double got) {
        // Containers timed in milliseconds make a short clip's average rate up to 2 % off.
        if (want > 0 && std::abs(want - got) > want * 0.025) {
            char text[32];
            std::snprintf(text, sizeof text, "%g fps", std::round(got * 1000) / 1000);
            Value("the frame rate", 0, 1, text);
        }
    }

private:
    const std::vector<std::string>& log_;
    std::string& failure_;
};

int WholeOr(const std::string& text, int dflt) {
    auto n = ParseWholeNumber(text);
    return n ? *n : dflt;
}

} // namespace

std::string DemuxerOf(const std::string& ext) {
    static const std::map<std::string, std::string> names = {{"mp4", "mov,mp4,m4a,3gp,3g2,mj2"},
                                                             {"mov", "mov,mp4,m4a,3gp,3g2,mj2"},
                                                             {"3gp", "mov,mp4,m4a,3gp,3g2,mj2"},
                                                             {"3g2", "mov,mp4,m4a,3gp,3g2,mj2"},
                                                             {"m4a", "mov,mp4,m4a,3gp,3g2,mj2"},
                                                             {"wmv", "asf"},
                                                             {"wma", "asf"},
                                                             {"avi", "avi"},
                                                             {"ts", "mpegts"},
                                                             {"mpg", "mpeg"},
                                                             {"flv", "flv"},
                                                             {"swf", "swf"},
                                                             {"mkv", "matroska,webm"},
                                                             {"dv", "dv"},
                                                             {"mp3", "mp3"},
                                                             {"aac", "aac"},
                                                             {"wav", "wav"},
                                                             {"ogg", "ogg"},
                                                             {"ac3", "ac3"}};
    auto it = names.find(ext);
    return it == names.end() ? "<unknown extension " + ext + ">" : it->second;
}

std::string CodecOf(const std::string& encoder) {
    const std::string current = encoder == "libfaac"   ? "aac"
                                : encoder == "libflac" ? "flac"
                                                       : encoder;
    const AVCodec* c = avcodec_find_encoder_by_name(current.c_str());
    return c ? avcodec_get_name(c->id) : "<no encoder " + encoder + ">";
}

std::string TSweepCase::Name() const {
    const std::string code = std::to_string(Code);
    if (!Box.empty()) {
        return code + " " + Box + "=" + Entry;
    }
    return code + " " + SourceName(Source);
}

std::vector<TSweepCase> AllCases(const TIniStore& formatFile) {
    std::vector<TSweepCase> cases;
    for (const TFormatEntry& format : AllFormats()) {
        const std::string section = FormatSection(format.Code);
        const bool video = !Entries(formatFile, section, "VideoEncoder").empty();
        // The defaults' case stands for every default entry and the first zoom mode.
        cases.push_back({format.Code, "", -1, "", TSourceKind::Square});
        bool asSource = false;
        for (const char* box : kBoxes) {
            const auto entries = Entries(formatFile, section, box);
            const int dflt = formatFile.ReadInteger(section, std::string("i") + box, 0);
            for (int i = 0; i < static_cast<int>(entries.size()); ++i) {
                asSource = asSource || entries[i] == "as source";
                if (i != dflt) {
                    cases.push_back({format.Code, box, i, entries[i]});
                }
            }
        }
        for (int i = 1; video && i < static_cast<int>(ZoomEntries().size()); ++i) {
            cases.push_back({format.Code, "Zoom", i, ZoomEntries()[i]});
        }
        for (TSourceKind kind : {TSourceKind::SoundOnly, TSourceKind::Anamorphic}) {
            cases.push_back({format.Code, "", -1, "", kind});
        }
        if (asSource) {
            cases.push_back({format.Code, "", -1, "", TSourceKind::HdMono});
        }
    }
    return cases;
}

TSweepCase CaseNamed(const TIniStore& formatFile, const std::string& name) {
    for (const TSweepCase& c : AllCases(formatFile)) {
        if (c.Name() == name) {
            return c;
        }
    }
    throw std::invalid_argument("no sweep case \"" + name + "\"");
}

void MakeSources(const std::string& folder) {
    std::filesystem::create_directories(folder);
    for (TSourceKind kind : {TSourceKind::Square, TSourceKind::SoundOnly, TSourceKind::Anamorphic,
                             TSourceKind::HdMono}) {
        const TSource& s = SourceOf(kind);
        fx::MediaSpec spec;
        spec.durationS = kSourceSeconds;
        spec.width = s.width;
        spec.height = s.height;
        spec.frameRate = {static_cast<int>(s.fps), 1};
        spec.audio[0].sampleRate = s.sampleRate;
        spec.audio[0].channels = s.channels;
        switch (kind) {
        case TSourceKind::Square:
            spec.videoCodec = "mpeg4";
            spec.audio[0].bitRate = 128000;
            break;
        case TSourceKind::SoundOnly:
            spec.videoCodec.clear();
            spec.audio[0].codec = "libmp3lame";
            spec.audio[0].bitRate = 48000;
            break;
        case TSourceKind::Anamorphic:
            spec.container = "mpeg";
            spec.videoCodec = "mpeg2video";
            spec.sampleAspect = {64, 45};
            spec.audio[0].codec = "mp2";
            spec.audio[0].bitRate = 192000;
            break;
        case TSourceKind::HdMono:
            spec.audio[0].bitRate = 48000;
            break;
        }
        const std::string path = folder + "/" + s.file;
        if (!std::filesystem::exists(path)) {
            // Processes sharing the folder each write their own and rename it into place.
            const std::string part = folder + "/part-" + std::to_string(::getpid()) + "-" + s.file;
            fx::MakeMedia(part, spec);
            std::filesystem::rename(part, path);
        }
    }
}

namespace {

void Run(const TSweepCase& c, const std::string& sourceFolder, const std::string& workFolder,
         TSweepOutcome& outcome) {
    std::filesystem::remove_all(workFolder);
    std::filesystem::create_directories(workFolder);
    struct TRemove {
        std::string path;
        ~TRemove() {
            std::error_code ec;
            std::filesystem::remove_all(path, ec);
        }
    } remove{workFolder};

    TIniStore settings(workFolder + "/quovo.ini");
    TIniStore formats(FindFormatFile());
    test::TRecordingDialogs dialogs;
    const std::string section = FormatSection(c.Code);
    {
        TFormatParameterEditor editor(settings, formats, dialogs, "Quovo");
        editor.Load(c.Code);
        if (c.Source == TSourceKind::HdMono) {
            ChooseEveryAsSource(editor);
        } else if (!c.Box.empty()) {
            Choose(editor, c.Box, c.Index);
        }
    }
    if (!dialogs.Messages.empty() || !dialogs.Questions.empty()) {
        const auto& m = dialogs.Messages.empty() ? dialogs.Questions[0] : dialogs.Messages[0];
        outcome.Failure = "the choice raised \"" + m.Text + "\"";
        return;
    }

    auto stored = [&](const char* key) { return settings.ReadString(section, key, ""); };
    const TSource& source = SourceOf(c.Source);
    TFormatRunResult result;
    std::vector<std::string> log;
    {
        TLogLines lines;
        TFormatFileRun run(settings, formats, dialogs, "Quovo");
        run.SetOutputFolder(workFolder + "/out");
        result = run.Convert(c.Code, sourceFolder + "/" + source.file);
        log = lines.Lines();
    }
    for (const std::string& line : log) {
        if (line.find("the output is ") != std::string::npos ||
            line.find("the output has ") != std::string::npos ||
            line.find("using closest supported") != std::string::npos) {
            outcome.Adjustments.push_back(line);
        }
    }
    // A container that cannot be without picture refuses a source without one, saying why.
    const std::string container = ToLower(formats.ReadString(section, "Format", ""));
    if (!source.picture && NeedsPicture(container) && !stored("paraVideoEncoder").empty()) {
        if (result.Ok || result.Error.find("has no picture") == std::string::npos) {
            outcome.Failure = "a " + container + " file without picture: " +
                              (result.Ok ? "written" : "\"" + result.Error + "\"");
        }
        return;
    }
    if (!result.Ok) {
        outcome.Failure =
            result.Error.empty() ? "failed with an empty message" : "failed: " + result.Error;
        return;
    }

    TOutputCheck check(log, outcome.Failure);
    fx::ProbeResult probe;
    try {
        probe = fx::ProbeMedia(result.Output);
    } catch (const std::exception& e) {
        check.Fail(std::string("the output cannot be read: ") + e.what());
        return;
    }
    const std::string ext = formats.ReadString(section, "FileExt", "mp4");
    if (probe.container != DemuxerOf(ext)) {
        check.Fail("the container is " + probe.container + ", not " + DemuxerOf(ext));
    }

    const std::string venc = stored("paraVideoEncoder");
    const fx::StreamProbe* video = probe.Find(fx::StreamKind::Video);
    if (venc.empty() || !source.picture) {
        if (video != nullptr) {
            check.Fail("the output has a picture where none was asked for");
        }
    } else if (video == nullptr) {
        check.Fail("the output has no picture");
    } else {
        if (IsVideoCodecName(venc) && video->codec != CodecOf(venc)) {
            check.Fail("the video codec is " + video->codec + ", not " + CodecOf(venc));
        }
        const std::string size = stored("paraVideoSize");
        const size_t x = size.find('x');
        const bool asSource = size == "as source" || x == std::string::npos;
        const int w = asSource ? source.width : WholeOr(size.substr(0, x), source.width);
        const int h = asSource ? source.height : WholeOr(size.substr(x + 1), source.height);
        check.Value("the picture size", std::make_pair(w, h),
                    std::make_pair(video->width, video->height),
                    std::to_string(video->width) + "x" + std::to_string(video->height));
        const std::string fps = stored("paraFrameRate");
        check.Rate(fps == "as source" ? source.fps : std::strtod(fps.c_str(), nullptr),
                   av_q2d(video->frameRate));
        if (video->decodedFrames == 0 || video->decodeErrors > 0) {
            check.Fail("the picture decodes to " + std::to_string(video->decodedFrames) +
                       " frames with " + std::to_string(video->decodeErrors) + " errors");
        }
        // Matroska keeps presentation times only: its decoding times are the reader's guess.
        if (video->dtsRepeats > 0 && probe.container != "matroska,webm") {
            check.Fail("the picture's decoding times repeat " + std::to_string(video->dtsRepeats) +
                       " times");
        }
    }

    const std::string aenc = stored("paraAudioEncoder");
    const fx::StreamProbe* sound = probe.Find(fx::StreamKind::Audio);
    if (aenc.empty()) {
        if (sound != nullptr) {
            check.Fail("the output has sound where none was asked for");
        }
        return;
    }
    if (sound == nullptr) {
        check.Fail("the output has no sound");
        return;
    }
    if (sound->codec != CodecOf(aenc)) {
        check.Fail("the audio codec is " + sound->codec + ", not " + CodecOf(aenc));
    }
    const std::string channels = stored("paraChannel");
    check.Value("the channel count",
                channels == "as source" ? source.channels : WholeOr(channels, 2), sound->channels,
                std::to_string(sound->channels) + " channels");
    const std::string rate = stored("paraSampleRate");
    check.Value("the sample rate",
                rate == "as source" ? source.sampleRate : WholeOr(rate, source.sampleRate),
                sound->sampleRate, std::to_string(sound->sampleRate) + " Hz");
    const double seconds =
        sound->sampleRate > 0 ? static_cast<double>(sound->decodedSamples) / sound->sampleRate : 0;
    if (seconds < kSourceSeconds - 0.3 || sound->decodeErrors > 0) {
        char text[96];
        std::snprintf(text, sizeof text, "the sound lasts %.2f s with %lld decoding errors",
                      seconds, static_cast<long long>(sound->decodeErrors));
        check.Fail(text);
    }
    if (sound->dtsRepeats > 0) {
        check.Fail("the sound's decoding times repeat");
    }
}

} // namespace

TSweepOutcome RunCase(const TSweepCase& c, const std::string& sourceFolder,
                      const std::string& workFolder) {
    TSweepOutcome outcome;
    try {
        Run(c, sourceFolder, workFolder, outcome);
    } catch (const std::exception& e) {
        outcome.Failure = std::string("the case threw: ") + e.what();
    }
    outcome.Ok = outcome.Failure.empty();
    return outcome;
}

} // namespace quovo::sweep
