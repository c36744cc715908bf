// Cuts and sync on every road of a conversion: plain, a trim, a frame-rate change with and without
// a filter chain, a variable-rate source, into each container. Each clip flashes a bar and beeps at
// every whole second. The output must start with the right picture at 0 with both streams, last as
// long as asked, keep each beep at its flash, and come out the same with one decoding thread and
// with the library's choice of threads.
#include "CutChecks.h"
#include "EngineTest.h"
#include "TFFmpeg.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

namespace quovo {
namespace {

using testing_support::EngineTest;
using testing_support::Options;

using fixtures::CutFacts;

fixtures::MediaSpec Clip(const char* videoCodec, AVRational rate, const char* audioCodec,
                         int sampleRate) {
    fixtures::MediaSpec spec;
    spec.flashBeep = true;
    spec.durationS = 10.0;
    spec.videoCodec = videoCodec;
    spec.frameRate = rate;
    spec.gopSize = 25;
    spec.audio = {fixtures::AudioTrackSpec{audioCodec, sampleRate, 2, 440.0, ""}};
    return spec;
}

// The sources (a trim counts from a source's start time, which MP3 priming in AVI makes -24 ms,
// so no trim point lies within that of a picture): B-frame H.264 in MP4, MPEG-4 with MP3 in AVI, 29.97 fps in MOV, and a
// variable-rate MKV (25 fps in even seconds, 12.5 in odd ones).
const std::map<std::string, fixtures::MediaSpec>& Sources() {
    static const std::map<std::string, fixtures::MediaSpec> sources = [] {
        std::map<std::string, fixtures::MediaSpec> m;
        m["h264.mp4"] = Clip("libx264", {25, 1}, "aac", 48000);
        m["h264.mp4"].maxBFrames = 3;
        m["mpeg4.avi"] = Clip("mpeg4", {25, 1}, "libmp3lame", 44100);
        // AVI keeps no display times: B-pictures in it are read with their decoding times.
        m["mpeg4.avi"].maxBFrames = 0;
        m["ntsc.mov"] = Clip("libx264", {30000, 1001}, "aac", 48000);
        m["vfr.mkv"] = Clip("libx264", {25, 1}, "aac", 48000);
        m["vfr.mkv"].halfRateInOddSeconds = true;
        return m;
    }();
    return sources;
}

struct Road {
    const char* name;
    const char* source;
    const char* extension;
    Options in;
    Options out;
    double outputFps;
    double startS;  // where the output begins in the source
    double lengthS; // how long it lasts
};

// The pad filter stands for any chain (Letterbox, Center, the user's own filters); its band goes
// on top, where it leaves the flash at the bottom alone.
const char* kChain = "pad=iw:ih+16:0:16";

std::vector<Road> Roads() {
    std::vector<Road> roads;
    for (const char* ext : {"mp4", "mkv", "avi", "vob", "dv"}) {
        roads.push_back({"plain", "h264.mp4", ext, {}, {}, 25, 0, 10});
        roads.push_back({"trim", "h264.mp4", ext, {{"ss", "3"}}, {{"t", "4"}}, 25, 3, 4});
    }
    roads.push_back({"plain", "mpeg4.avi", "avi", {}, {}, 25, 0, 10});
    roads.push_back({"trim", "mpeg4.avi", "mkv", {{"ss", "2.88"}}, {{"t", "4.04"}}, 25, 2.88, 4.04});
    roads.push_back({"trim", "mpeg4.avi", "avi", {{"ss", "3.03"}}, {{"t", "4"}}, 25, 3.03, 4});
    roads.push_back({"plain", "ntsc.mov", "mp4", {}, {}, 30000.0 / 1001, 0, 10});
    roads.push_back({"trim", "ntsc.mov", "vob", {{"ss", "3"}}, {{"t", "4"}}, 30000.0 / 1001, 3, 4});
    for (const char* chain : {"", kChain}) {
        const std::string road = *chain ? "rate+chain" : "rate";
        auto with = [&](Options o) {
            if (*chain) {
                o.emplace_back("vf", chain);
            }
            return o;
        };
        roads.push_back({*chain ? "25>29.97+chain" : "25>29.97", "h264.mp4", "avi", {},
                         with({{"r", "30000/1001"}}), 30000.0 / 1001, 0, 10});
        roads.push_back({*chain ? "29.97>25+chain" : "29.97>25", "ntsc.mov", "avi", {},
                         with({{"r", "25"}}), 25, 0, 10});
        roads.push_back({*chain ? "vfr>29.97+chain" : "vfr>29.97", "vfr.mkv", "avi", {},
                         with({{"r", "30000/1001"}}), 30000.0 / 1001, 0, 10});
    }
    roads.push_back({"vfr", "vfr.mkv", "mkv", {}, {}, 25, 0, 10});
    return roads;
}

class CutSyncTest : public EngineTest {
protected:
    const std::string& Source(const std::string& name) {
        auto found = made_.find(name);
        if (found == made_.end()) {
            const std::string path = Out(name);
            fixtures::MakeMedia(path, Sources().at(name));
            found = made_.emplace(name, path).first;
        }
        return found->second;
    }
    std::map<std::string, std::string> made_;
};

TEST_F(CutSyncTest, EveryRoadStartsOnTheRightPictureLastsAndKeepsSync) {
    std::map<std::string, std::vector<double>> sourceOffsets;
    for (const auto& [name, spec] : Sources()) {
        sourceOffsets[name] = fixtures::AvOffsetsMs(Source(name));
        ASSERT_GE(sourceOffsets[name].size(), 9u) << name;
    }
    int row = 0;
    for (const Road& road : Roads()) {
        const fixtures::MediaSpec& spec = Sources().at(road.source);
        const double fps = av_q2d(spec.frameRate);
        const std::string label = std::string(road.name) + " " + road.source + " > " +
                                  road.extension;
        CutFacts facts[2];
        for (int threads : {1, 0}) {
            TFFmpeg engine;
            engine.SetThreadCount(threads);
            Options out = fixtures::SyncContainerOptions(road.extension);
            out.insert(out.end(), road.out.begin(), road.out.end());
            const std::string output =
                Out("road" + std::to_string(row) + "-t" + std::to_string(threads) + "." +
                    road.extension);
            Convert(engine, {Source(road.source)}, road.in, output, out);
            CutFacts& f = facts[threads == 1 ? 0 : 1];
            f = fixtures::MeasureCut(output, road.outputFps);
            std::printf("%-15s %-9s > %-3s threads %d: %s\n", road.name, road.source,
                        road.extension, threads, fixtures::Describe(f).c_str());

            // The first picture is the one at (or first after) the start, which counts from the
            // source's start time (as a player shows it).
            int first = static_cast<int>(std::ceil(road.startS * fps - 1e-6));
            const int secondStart = static_cast<int>(std::ceil(std::floor(first / fps) * fps));
            if (spec.halfRateInOddSeconds && static_cast<int>(first / fps) % 2 == 1 &&
                (first - secondStart) % 2 == 1) {
                ++first;
            }
            fixtures::CutAsked asked;
            asked.firstNumber = first;
            asked.lengthS = road.lengthS;
            asked.outputFps = road.outputFps;
            asked.sourceOffsetsMs = sourceOffsets[road.source];
            asked.firstSourceSecond = static_cast<int>(std::ceil(road.startS - 1e-6));
            asked.start = fixtures::ContainerStart(road.extension);
            fixtures::ExpectCut(f, asked, label + ", threads " + std::to_string(threads));
        }
        // The number of threads changes the speed only.
        fixtures::ExpectSameCut(facts[0], facts[1]);
        ++row;
    }
}

} // namespace
} // namespace quovo
