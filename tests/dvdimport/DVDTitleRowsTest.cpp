// Title rows without a disc: cells, records, stream items and the "opendvd:" names of a run.
#include "DVDTitleRows.h"
#include "TChapterRange.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace quovo;

namespace {

DVDTitleInfo Title(double seconds, int audioCount, int subtitleCount, int chapters) {
    DVDTitleInfo t{};
    t.Duration = seconds;
    t.VideoFormat = dskMpeg2;
    t.Width = 720;
    t.Height = 576;
    t.AudioCount = audioCount;
    for (int i = 0; i < audioCount; ++i) {
        t.Audio[i].StreamID = 128 + i;
        std::strcpy(t.Audio[i].Language, i == 0 ? "English" : "Deutsch");
    }
    t.SubtitleCount = subtitleCount;
    for (int i = 0; i < subtitleCount; ++i) {
        t.Subtitles[i].StreamID = 32 + i;
        std::strcpy(t.Subtitles[i].Language, "Francais");
    }
    t.ChapterCount = chapters;
    return t;
}

TEST(TitleRows, CellsAndRecordOfAnImportedTitle) {
    const DVDTitleInfo title = Title(7384.9, 2, 1, 12);
    EXPECT_EQ(TitleRowCells(4, title), QStringList({"DVD Title 5", "   2:03:04", "   2:03:04",
                                                    "   720 x 576", "   MPEG-2", ""}));
    DVDTitleInfo odd = title;
    odd.VideoFormat = 9;
    EXPECT_EQ(TitleRowCells(0, odd)[4], "   Unknown");

    const auto record = MakeTitleRecord(4, title);
    EXPECT_EQ(record->Kind, TRowKind::Title);
    EXPECT_EQ(record->TitleIndex, 4);
    EXPECT_TRUE(record->SourceName.empty());
    EXPECT_TRUE(record->OutputName.empty());
    EXPECT_TRUE(record->ZoomMode.empty());
    EXPECT_EQ(record->DurationSeconds, 7384);
    EXPECT_EQ(std::memcmp(&record->Title, &title, sizeof title), 0);
    EXPECT_EQ(record->AudioIndex, 0);
    EXPECT_EQ(record->AudioID, 128);
    EXPECT_EQ(record->SubtitleIndex, 0);
    EXPECT_EQ(record->SubtitleID, 32);
    EXPECT_EQ(record->FromChapter, 1);
    EXPECT_EQ(record->ToChapter, 12);
    EXPECT_EQ(record->TrimStart, 0);
    EXPECT_EQ(record->TrimLength, 0);
    EXPECT_EQ(record->CropTop + record->CropLeft + record->CropBottom + record->CropRight, 0);
    EXPECT_EQ(record->ImageAlpha, 168);
    EXPECT_EQ(record->ImageBlendStyle, 1);
    EXPECT_EQ(record->WaterFont.Font.family(), "MS Sans Serif");
    EXPECT_EQ(record->WaterFont.Font.pointSize(), 8);
    EXPECT_FALSE(NeedsFrameHook(*record));
}

TEST(TitleRows, StreamItemsWithAndWithoutStreams) {
    const DVDTitleInfo full = Title(10, 2, 1, 3);
    EXPECT_EQ(AudioItems(full), QStringList({"128  English", "129  Deutsch"}));
    EXPECT_EQ(SubtitleItems(full), QStringList({"32  Francais", "Default"}));

    const DVDTitleInfo bare = Title(10, 0, 0, 3);
    EXPECT_TRUE(AudioItems(bare).isEmpty());
    EXPECT_EQ(SubtitleItems(bare), QStringList({"Default"}));
    const auto record = MakeTitleRecord(0, bare);
    EXPECT_EQ(record->AudioID, 0);
    EXPECT_EQ(record->SubtitleID, 0);
    EXPECT_EQ(TitleRunName("/media/disc", *record),
              "opendvd:/media/disc|Title=1,FromChapter=1,ToChapter=3,AudioID=0,SubtitleID=0,"
              "AudioChannels=2,Deinterlace=0");
}

TEST(TitleRows, RunNamesFollowTheRowsChoicesAndTrim) {
    auto record = MakeTitleRecord(0, Title(60, 2, 1, 12));
    record->FromChapter = 3;
    record->ToChapter = 7;
    record->AudioID = 129;
    record->SubtitleID = 0; // "Default"
    EXPECT_EQ(TitleRunName("/dev/sr0", *record),
              "opendvd:/dev/sr0|Title=1,FromChapter=3,ToChapter=7,AudioID=129,SubtitleID=0,"
              "AudioChannels=2,Deinterlace=0");
    // A trimmed row reads the whole title: the trim picks the part.
    record->TrimStart = 10'000'000;
    EXPECT_EQ(TitleRunName("/dev/sr0", *record),
              "opendvd:/dev/sr0|Title=1,FromChapter=0,ToChapter=99,AudioID=129,SubtitleID=0,"
              "AudioChannels=2,Deinterlace=0");

    const DVDPlayParams preview = TitlePreviewParams(*record);
    EXPECT_EQ(preview.Title, 0);
    EXPECT_EQ(preview.FromChapter, 0);
    EXPECT_EQ(preview.ToChapter, 12);
    EXPECT_EQ(preview.AudioID, 129);
}

TEST(ChapterArrows, EveryRuleOnATwelveChapterTitle) {
    struct Case {
        TChapterArrow arrow;
        TChapterRange shown;
        TChapterRange after;
    };
    using A = TChapterArrow;
    const Case cases[] = {
        {A::FromUp, {12, 12}, {12, 12}}, // at the last chapter it stays
        {A::ToDown, {1, 1}, {1, 1}},     // at the first chapter it stays
        {A::FromUp, {5, 5}, {6, 6}},     // "to" follows when the range would cross
        {A::ToDown, {5, 5}, {4, 4}},     // "from" follows the other way
        {A::FromUp, {3, 9}, {4, 9}},     // "to" stays when it is further
        {A::FromDown, {3, 9}, {2, 9}},
        {A::FromDown, {1, 9}, {1, 9}},
        {A::ToUp, {3, 9}, {3, 10}},
        {A::ToUp, {3, 12}, {3, 12}},
        {A::ToDown, {3, 9}, {3, 8}},
        {A::FromDown, {13, 13}, {13, 13}}, // past the title: down does not move it
        {A::FromUp, {0, 5}, {0, 5}},       // nothing in the edit: nothing happens
        {A::ToDown, {2, -1}, {2, -1}},
    };
    for (const Case& c : cases) {
        const TChapterRange after = PressChapterArrow(c.arrow, c.shown, 12);
        EXPECT_EQ(after.From, c.after.From)
            << int(c.arrow) << " " << c.shown.From << "-" << c.shown.To;
        EXPECT_EQ(after.To, c.after.To) << int(c.arrow) << " " << c.shown.From << "-" << c.shown.To;
    }
}

} // namespace
