// Chapter ranges and trims of disc titles: the output starts at the chapter's first picture with
// the sound of that instant, lasts as the chapters do, ends with sound, and keeps each beep at its
// flash, in every container, with one decoding thread and with all of them. The titles of the
// sync disc flash and beep at every whole second.
#include "CutChecks.h"
#include "DvdTestSupport.h"
#include "TAVProbe.h"
#include "TFFmpegLoader.h"

#include <cmath>
#include <cstdio>

using namespace quovo;
using namespace quovo::fixtures;

namespace {

const std::string& SyncDisc() {
    static const std::string disc = SyncDvdDisc(std::string(QUOVO_DVD_DISC_CACHE) + "-sync");
    return disc;
}

std::string TitleName(int title, int from, int to) {
    return "opendvd:" + SyncDisc() + "|Title=" + std::to_string(title) +
           ",FromChapter=" + std::to_string(from) + ",ToChapter=" + std::to_string(to) +
           ",AudioID=128,SubtitleID=0,AudioChannels=2,Deinterlace=0";
}

struct Road {
    int title;
    int from;
    int to;
    double trimStartS; // 0: none
    double trimLengthS;
    const char* extension;
};

TEST(DvdChapterSync, ChapterRangesAndTrimsStartOnTheirPictureWithTheirSound) {
    // The title's own offsets, read from its VOB as it is on the disc.
    std::vector<double> titleOffsets[3];
    for (int title : {1, 2}) {
        const std::string vob =
            SyncDisc() + "/VIDEO_TS/VTS_0" + std::to_string(title) + "_1.VOB";
        titleOffsets[title] = AvOffsetsMs(vob);
        ASSERT_GE(titleOffsets[title].size(), 9u) << vob;
    }
    // clang-format off
    const Road roads[] = {
        {1, 2, 3, 0, 0, "mp4"}, {1, 2, 3, 0, 0, "avi"}, {1, 2, 3, 0, 0, "mkv"},
        {1, 2, 3, 0, 0, "vob"}, {1, 2, 3, 0, 0, "dv"},
        {1, 1, 1, 0, 0, "mp4"}, {1, 2, 2, 0, 0, "dv"},  {1, 3, 3, 0, 0, "mkv"},
        {2, 2, 2, 0, 0, "mp4"}, {2, 1, 1, 0, 0, "vob"}, {2, 3, 3, 0, 0, "avi"},
        {1, 1, 3, 12.0, 4.0, "mp4"}, {1, 1, 3, 12.0, 4.0, "dv"}, {2, 1, 3, 3.0, 4.0, "mkv"},
    };
    // clang-format on
    // Where the disc says its chapters begin, and how long its titles last.
    dvdtest::LoadPlugin();
    ASSERT_EQ(EnumDVDTitles(SyncDisc()), 2);
    DVDTitleInfo info[2];
    for (int t : {0, 1}) {
        ASSERT_TRUE(GetDVDTitle(t, info[t]));
    }
    int row = 0;
    for (const Road& road : roads) {
        const bool pal = road.title == 1;
        const DVDTitleInfo& title = info[road.title - 1];
        const double titleFps = pal ? 25.0 : 30000.0 / 1001;
        auto chapterStart = [&](int chapter) {
            return chapter > title.ChapterCount ? title.Duration
                                                : title.ChapterStartMs[chapter - 1] / 1000.0;
        };
        const double startS = chapterStart(road.from) + road.trimStartS;
        const double lengthS = road.trimStartS > 0
                                   ? road.trimLengthS
                                   : chapterStart(road.to + 1) - chapterStart(road.from);
        const std::string ext = road.extension;
        const double outputFps = ext == "dv" ? 25.0 : titleFps;
        char what[96];
        std::snprintf(what, sizeof what, "title %d chapters %d-%d trim %.1f+%.1f > %s",
                      road.title, road.from, road.to, road.trimStartS, road.trimLengthS,
                      road.extension);
        CutFacts facts[2];
        for (int threads : {1, 0}) {
            const std::string out = dvdtest::ScratchDir("chapter-sync-" + std::to_string(row) +
                                                        "-" + std::to_string(threads)) +
                                    "/out." + ext;
            std::vector<std::string> args{QUOVO_CONVERT_PATH, "--loglevel", "error",
                                          "--codec-threads", std::to_string(threads)};
            if (road.trimStartS > 0) {
                args.insert(args.end(), {"--in", "ss=" + std::to_string(road.trimStartS)});
            }
            args.push_back(TitleName(road.title, road.from, road.to));
            if (road.trimStartS > 0) {
                args.insert(args.end(), {"--out", "t=" + std::to_string(road.trimLengthS)});
            }
            for (const auto& [name, value] : SyncContainerOptions(ext)) {
                args.insert(args.end(), {"--out", name + "=" + value});
            }
            args.push_back(out);
            RunTool(args);
            CutFacts& f = facts[threads == 1 ? 0 : 1];
            f = MeasureCut(out, outputFps);
            std::printf("%s, threads %d: %s\n", what, threads, Describe(f).c_str());
            CutAsked asked;
            asked.firstNumber = static_cast<int>(std::lround(startS * titleFps));
            asked.lengthS = lengthS;
            asked.outputFps = outputFps;
            asked.sourceOffsetsMs = titleOffsets[road.title];
            asked.firstSourceSecond = static_cast<int>(std::ceil(startS - 1e-6));
            asked.start = ContainerStart(ext);
            ExpectCut(f, asked, std::string(what) + ", threads " + std::to_string(threads));
        }
        ExpectSameCut(facts[0], facts[1]);
        ++row;
    }
}

// The probe tells a chapter range's length as the range lasts, not as far as the disc is read
// for its sound.
TEST(DvdChapterSync, ProbeTellsARangesLength) {
    dvdtest::LoadPlugin();
    ASSERT_TRUE(FFLoader().LoadLibraries(ConverterLibraryMask)) << FFLoader().LastLoadError();
    struct Case {
        int title, from, to;
        double lengthS;
    };
    for (const Case c : {Case{1, 2, 2, 9.6}, Case{2, 1, 2, 2 * 4.8048}}) {
        TAVProbe probe;
        ASSERT_TRUE(probe.LoadFile(TitleName(c.title, c.from, c.to))) << probe.LastError();
        EXPECT_NEAR(probe.GetFileStreamInfo().Duration / 1e6, c.lengthS, 0.001)
            << "title " << c.title << " chapters " << c.from << "-" << c.to;
    }
}

} // namespace
