// Plain types of the preview player: states, seek flags, drivers and the event signatures.
#pragma once

#include "TPicture.h"

#include <cstdint>
#include <functional>

namespace quovo {

class TCustomPlayer;

enum TPlayState { psPlay, psPause, psResume, psStep, psStop, psEnd };

// A set of seek flags; the values are the media library's seek flags.
enum TSeekFlag : int { sfBackward = 1, sfByte = 2, sfAny = 4, sfFrame = 8 };
using TSeekFlags = int;

// Sound drivers. The first three are the historical names, which have no driver here and mean
// the default; the others name SDL's drivers.
enum TAudioDriver {
    adDefault,
    adDirectSound,
    adWaveOut,
    adPulseAudio,
    adPipeWire,
    adAlsa,
    adDummy,
    adDisk
};
// Video drivers: historical names of Windows drivers, kept as values only (see VideoDriver).
enum TVideoDriver { vdDefault, vdDirectDraw, vdGDI };

// SDL's name of a driver; empty for the default (the environment then decides).
const char* AudioDriverName(TAudioDriver driver);

using TFileOpenEvent = std::function<void(TCustomPlayer* Sender, int64_t ADuration, int AFrameWidth,
                                          int AFrameHeight, int& AScreenWidth, int& AScreenHeight)>;
using THookEvent = std::function<void(TCustomPlayer* Sender, TPicture* ABitmap, int64_t APTS)>;
using TPositionEvent = std::function<void(TCustomPlayer* Sender, int64_t APTS)>;
using TPlayStateEvent = std::function<void(TCustomPlayer* Sender, TPlayState AState)>;

} // namespace quovo
