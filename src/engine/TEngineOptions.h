// The pending option state of one conversion task. Options set these values; opening an input,
// creating an output or adding a stream reads (and partly consumes) them.
#pragma once

extern "C" {
#include <libavutil/avutil.h>
#include <libavutil/rational.h>
}

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quovo {

constexpr int MAX_FILES = 20;
constexpr int MAX_STREAMS = 20;
constexpr int MAX_STREAM_MAPS = 400;
constexpr int MAX_META_DATA_MAPS = 20;
constexpr int MAX_HOOK_WORDS = 64;
constexpr int64_t NoTimestamp = INT64_MIN;
constexpr int64_t UnlimitedTime = INT64_MAX;

struct TStreamMap {
    int file_index = 0;
    int stream_index = 0;
    int sync_file_index = 0;
    int sync_stream_index = 0;
};

struct TMetaDataMap {
    int out_file = 0;
    int in_file = 0;
};

using TQuantMatrix = std::array<uint16_t, 64>;

struct TEngineOptions {
    std::string forcedFormat;
    int frameWidth = 0;
    int frameHeight = 0;
    float frameAspectRatio = 0;
    int framePixFmt = -1;
    int audioSampleFmt = -1;
    int cropTop = 0, cropBottom = 0, cropLeft = 0, cropRight = 0;
    int maxFrames[4] = {INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX}; // video, audio, data, subtitle
    AVRational frameRate = {0, 0};
    float videoQScale = 0;
    std::optional<TQuantMatrix> intraMatrix;
    std::optional<TQuantMatrix> interMatrix;
    std::string rcOverride;
    bool videoDisable = false;
    int videoDiscard = 0;
    std::string videoCodecName, audioCodecName, subtitleCodecName;
    uint32_t videoCodecTag = 0, audioCodecTag = 0, subtitleCodecTag = 0;
    std::string videoLanguage, audioLanguage, subtitleLanguage;
    bool sameQuality = false;
    bool doDeinterlace = false;
    int topFieldFirst = -1;
    int meThreshold = 0;
    int intraDcPrecision = 8;
    bool loopInput = false;
    int loopOutput = -1;
    bool qpHist = false;
    std::string videoFilters;
    bool intraOnly = false;
    int audioSampleRate = 44100;
    int64_t channelLayout = 0;
    float audioQScale = -99999;
    bool audioDisable = false;
    int audioChannels = 2;
    bool subtitleDisable = false;
    float muxPreload = 0.5f;
    float muxMaxDelay = 0.7f;
    int64_t recordingTime = UnlimitedTime;
    int64_t startTime = 0;
    int64_t recTimestamp = 0;
    int64_t inputTsOffset = 0;
    std::vector<std::pair<std::string, std::string>> metadata;
    bool doPktDump = false;
    bool doHexDump = false;
    bool doPsnr = false;
    int doPass = 0;
    std::string passLogFileName;
    bool audioStreamCopy = false, videoStreamCopy = false, subtitleStreamCopy = false;
    int videoSyncMethod = -1;
    int audioSyncMethod = 0;
    float audioDriftThreshold = 0.1f;
    bool copyTs = false;
    bool opt_shortest = false;
    int videoGlobalHeader = 0;
    std::string vstatsFileName;
    int opt_programid = 0;
    int copyInitialNonKeyframes = 0;
    bool rateEmu = false;
    int videoChannel = 0;
    std::string videoStandard;
    int audioVolume = 256;
    bool exitOnError = false;
    bool usingVhook = false;
    int verbose = 1;
    int threadCount = 1;
    bool inputSync = false;
    int64_t limitFilesize = 0;
    bool forceFps = false;
    bool pgmyuvCompatibility = false;
    float dtsDeltaThreshold = 10;
    int swsFlags = 4; // SWS_BICUBIC
    std::array<int, MAX_STREAMS> streamIdMap{};
    std::vector<TStreamMap> streamMaps;
    std::vector<TMetaDataMap> metaDataMaps;
    // Timestamp scale per input file and stream slot (0: none).
    double inputFilesTsScale[MAX_FILES][MAX_STREAMS] = {};
    std::vector<std::string> videoBitstreamFilters, audioBitstreamFilters, subtitleBitstreamFilters;
    int videoBufferSize = 262144;
    // Encoder and muxer options of presets and targets that only the opened encoder or muxer
    // knows; every stream (output file) created afterwards gets them.
    std::vector<std::pair<std::string, std::string>> videoPrivateOptions, audioPrivateOptions,
        subtitlePrivateOptions, muxerPrivateOptions;
    // Generic options that no option holder knows, for the encoders of the streams made later.
    std::vector<std::pair<std::string, std::string>> unclaimedOptions;
};

} // namespace quovo
