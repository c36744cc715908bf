#include "RecordEffects.h"

namespace quovo {

TFrameEffects FrameEffectsOf(const TlvFilesRecord& record) {
    TFrameEffects e;
    e.Brightness = record.Brightness;
    e.Contrast = record.Contrast;
    e.Saturation = record.Saturation;
    e.Exposure = record.Exposure;
    e.Text = QString::fromStdString(record.WaterText);
    e.Font = record.WaterFont.Font;
    e.TextColor = record.WaterFont.Color;
    e.TextLeft = record.TextLeft;
    e.TextTop = record.TextTop;
    e.ImageFile = QString::fromStdString(record.WaterImageFile);
    e.ImageLeft = record.ImageLeft;
    e.ImageTop = record.ImageTop;
    e.ImageAlpha = record.ImageAlpha;
    e.ImageBlendStyle = record.ImageBlendStyle;
    e.ProcessText = record.ProcessText != 0;
    e.ProcessImage = record.ProcessImage != 0;
    return e;
}

} // namespace quovo
