// A subpicture track chosen by an input's name (a disc title's subtitle): carried as a subtitle
// stream by Matroska outputs, whose players show it, and drawn into the picture of every other
// output. A track of forced subpictures only (no subtitle chosen) is always drawn.
#include "InputSubpicture.h"
#include "MyUtils.h"
#include "TCustomFFmpeg.h"
#include "TSubpictureReader.h"
#include "TVideoProcessing.h"

namespace quovo {

namespace {

// Players of the other containers do not show DVD subpictures, whatever the muxer accepts; a copy
// asked for by name goes into any container that does not refuse it.
bool CarriesSubpictureStream(const AVOutputFormat& ofmt, bool copyAsked) {
    const int takes = avformat_query_codec(&ofmt, AV_CODEC_ID_DVD_SUBTITLE, FF_COMPLIANCE_NORMAL);
    return copyAsked ? takes != 0 : takes == 1 && std::string(ofmt.name) == "matroska";
}

} // namespace

void TCustomFFmpeg::AttachInputSubpictures(TInputFileEntry& entry, AVFormatContext& ic) {
    if (!entry.io) {
        return;
    }
    entry.subpicture = entry.io->SubpictureTrack();
    if (entry.subpicture) {
        entry.subpictureStream = AttachSubpictureTrack(ic, *entry.subpicture);
        if (entry.subpictureStream < 0) {
            Log(llWarning, "The chosen subtitle cannot be read: it is left out");
            entry.subpicture.reset();
        }
    }
}

bool TCustomFFmpeg::SubtitleStreamWanted(const AVOutputFormat& ofmt, bool wanted,
                                         const std::string& name) {
    const TInputFileEntry* in = nullptr;
    for (const TInputFileEntry& e : inputFiles_) {
        if (e.subpicture) {
            in = &e;
            break;
        }
    }
    if (!in) {
        return wanted;
    }
    if (in->subpicture->forcedOnly) {
        return false; // forced subpictures are always drawn
    }
    if (wanted && !opt_.subtitleDisable && CarriesSubpictureStream(ofmt, opt_.subtitleStreamCopy)) {
        opt_.subtitleStreamCopy = true;
        return true;
    }
    LogFmt(llInfo, "%s: the chosen subtitle is no stream of this output (%s)", name.c_str(),
           "it is shown in the picture, or left out when there is none");
    return false;
}

void TCustomFFmpeg::SetupSubpictureDrawing() {
    for (size_t f = 0; f < inputFiles_.size(); ++f) {
        const TInputFileEntry& in = inputFiles_[f];
        if (in.subpicture && in.subpictureStream < files_[f].nb_streams &&
            ist_[files_[f].ist_index + in.subpictureStream]->outputs.empty()) {
            DrawInputSubpictures(static_cast<int>(f)); // not carried as a stream
        }
    }
}

TInputStream* TCustomFFmpeg::DecodedVideoStream(int file) {
    for (int k = 0; k < files_[file].nb_streams; ++k) {
        TInputStream& ist = *ist_[files_[file].ist_index + k];
        if (ist.st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && ist.decoding_needed) {
            return &ist;
        }
    }
    return nullptr;
}

void TCustomFFmpeg::DrawInputSubpictures(int file) {
    const TInputFileEntry& in = inputFiles_[file];
    TInputStream* video = DecodedVideoStream(file);
    if (!video) {
        LogFmt(llInfo, "Subtitle stream #%d.%d is left out: no output shows pictures", file,
               in.subpictureStream);
        return;
    }
    std::string why;
    std::shared_ptr<TSubpictureReader> reader =
        TSubpictureReader::Open(in.name, *in.subpicture, in.startSeek, in.tsOffset, why);
    if (!reader) {
        // A subtitle never fails a conversion.
        LogFmt(llWarning, "Subtitle stream #%d.%d is left out: %s", file, in.subpictureStream,
               why.c_str());
        return;
    }
    if (!video->video) {
        video->video = std::make_unique<TVideoInputState>();
    }
    video->video->subpictures = std::make_unique<TSubpictureOverlay>(
        [reader](AVSubtitle& sub, int64_t& ptsUs) { return reader->Next(sub, ptsUs); },
        in.subpicture->forcedOnly);
    LogFmt(llInfo, "Subtitle stream #%d.%d is drawn into the picture%s", file, in.subpictureStream,
           in.subpicture->forcedOnly ? " (its forced subpictures only)" : "");
}

} // namespace quovo
