#include "TCustomFFmpeg.h"

#include "MyUtils.h"
#include "TAudioProcessing.h"
#include "TFFLogger.h"
#include "TFFmpegLoader.h"
#include "TVideoProcessing.h"

#include <cstdarg>
#include <sys/stat.h>
#include <unistd.h>

namespace quovo {

TOutputFileShared::~TOutputFileShared() {
    // The context's pb belongs to io; detach it before the context is freed.
    if (ctx) {
        ctx->pb = nullptr;
    }
}

TInputStream::TInputStream() = default;
TInputStream::~TInputStream() = default;
TOutputStream::TOutputStream() = default;
TOutputStream::~TOutputStream() = default;

bool IsAttachedPicture(const AVStream* st) {
    return st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
           (st->disposition & AV_DISPOSITION_ATTACHED_PIC);
}

double TOutputStream::OutputTime() const {
    if (!st) {
        return 0;
    }
    return static_cast<double>(nextDts) * av_q2d(st->time_base);
}

TCustomFFmpeg::TCustomFFmpeg() {
    ResetOptions();
}

TCustomFFmpeg::~TCustomFFmpeg() {
    ReleaseAll();
}

void TCustomFFmpeg::Log(TLogLevel level, const std::string& msg) const {
    FFLogger()->Log(this, level, msg);
}

void TCustomFFmpeg::LogFmt(TLogLevel level, const char* fmt, ...) const {
    va_list ap;
    va_start(ap, fmt);
    const std::string text = StringVPrintf(fmt, ap);
    va_end(ap);
    Log(level, text);
}

void TCustomFFmpeg::CloseCodecs() {
    std::lock_guard lock(CodecLock());
    // Contexts are owned by their records; closing frees what the encoder or decoder holds.
    openEncoders_.clear();
    openDecoders_.clear();
    for (auto& ist : ist_) {
        ist->dec.reset();
    }
    for (auto& of : outputFiles_) {
        for (auto& sc : of->streams) {
            if (sc->opened) {
                sc->ctx.reset();
                sc->opened = false;
            }
        }
    }
}

void TCustomFFmpeg::FreeStreamRecords() {
    ost_.clear();
    ist_.clear();
    files_.clear();
}

void TCustomFFmpeg::ReleaseAll() {
    CloseCodecs();
    FreeStreamRecords();
    ReleasePictureStates();
    // Close outputs; a file that got no byte is removed so that a failed run leaves nothing.
    std::shared_ptr<TOutputFileShared> previous;
    for (auto& of : outputFiles_) {
        if (of == previous) {
            continue; // further entries of a joined output
        }
        previous = of;
        bool hadFile = of->io != nullptr;
        if (AVIOContext* pb = hadFile ? of->io->Context() : nullptr) {
            avio_flush(pb);
            if (pb->error < 0) {
                outputWriteFailed_ = true;
            }
        }
        if (of->ctx) {
            of->ctx->pb = nullptr;
        }
        of->io.reset();
        if (hadFile && !of->fileName.empty()) {
            struct stat sb {};
            if (stat(of->fileName.c_str(), &sb) == 0 && S_ISREG(sb.st_mode) &&
                (sb.st_size == 0 || of->removeOnRelease)) {
                unlink(of->fileName.c_str());
            }
        }
    }
    outputFiles_.clear();
    inputFiles_.clear();
    inputCodecNames_.clear();
}

} // namespace quovo
