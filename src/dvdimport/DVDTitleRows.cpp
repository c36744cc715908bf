#include "DVDTitleRows.h"

#include "DVDName.h"
#include "DVDPlugIn.h"
#include "TSourceListModel.h"

#include <cmath>

namespace quovo {

namespace {

const QString kIndent = "   ";

template <typename Entry> QString StreamItem(const Entry& entry) {
    return QString::number(entry.StreamID) + "  " + QString::fromStdString(DVDText(entry.Language));
}

int32_t WholeSeconds(double seconds) {
    return std::isfinite(seconds) && seconds > 0 ? static_cast<int32_t>(std::trunc(seconds)) : 0;
}

} // namespace

QString TitleCaption(int titleIndex) {
    return "DVD Title " + QString::number(titleIndex + 1);
}

QStringList TitleRowCells(int titleIndex, const DVDTitleInfo& title) {
    const QString duration = kIndent + FormatSeconds(WholeSeconds(title.Duration));
    return {TitleCaption(titleIndex),
            duration,
            duration,
            kIndent + QString::number(title.Width) + " x " + QString::number(title.Height),
            kIndent + QString::fromStdString(StreamKindName(title.VideoFormat)),
            QString()};
}

std::unique_ptr<TlvFilesRecord> MakeTitleRecord(int titleIndex, const DVDTitleInfo& title) {
    auto record = std::make_unique<TlvFilesRecord>();
    record->Kind = TRowKind::Title;
    record->TitleIndex = titleIndex;
    record->DurationSeconds = WholeSeconds(title.Duration);
    record->Title = title;
    if (title.AudioCount >= 1) {
        record->AudioID = title.Audio[0].StreamID;
    }
    if (title.SubtitleCount >= 1) {
        record->SubtitleID = title.Subtitles[0].StreamID;
    }
    record->FromChapter = 1;
    record->ToChapter = title.ChapterCount;
    SetNeutralEffects(*record);
    return record;
}

QStringList AudioItems(const DVDTitleInfo& title) {
    QStringList items;
    for (int i = 0; i < std::min(title.AudioCount, kDVDMaxAudio); ++i) {
        items << StreamItem(title.Audio[i]);
    }
    return items;
}

QStringList SubtitleItems(const DVDTitleInfo& title) {
    QStringList items;
    for (int i = 0; i < std::min(title.SubtitleCount, kDVDMaxSubtitles); ++i) {
        items << StreamItem(title.Subtitles[i]);
    }
    items << "Default";
    return items;
}

std::string TitleRunName(const std::string& dvdPath, const TlvFilesRecord& record) {
    const bool trimmed = record.TrimStart > 0;
    const DVDPlayParams params{record.TitleIndex,
                               trimmed ? 0 : record.FromChapter,
                               trimmed ? 99 : record.ToChapter,
                               record.AudioID,
                               record.SubtitleID,
                               2,
                               0};
    return FormatOpenDVDName(dvdPath, params);
}

DVDPlayParams TitlePreviewParams(const TlvFilesRecord& record) {
    return {
        record.TitleIndex, 0, record.Title.ChapterCount, record.AudioID, record.SubtitleID, 2, 0};
}

} // namespace quovo
