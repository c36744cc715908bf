// The DVD import windows. This folder owns what turns a disc into rows of the source list: the
// title rows' cells and records (this
// header), reading a disc off the user-interface thread (TDVDDiscReader), the chapter arrows'
// rules (TChapterRange), the title box (TTitleBox), the Add DVD menu (TAddDVDMenu), the import
// as the window runs it (TDVDImporter). Title rows are planned and queued by the batch run
// through the task planner.
// It uses the DVD plug-in wrappers, the source list, the formats and the conversion component;
// everything but TDVDDiscReader's worker runs on the user-interface thread.
#pragma once

#include "DVDTypes.h"
#include "TlvFilesRecord.h"

#include <QStringList>

#include <memory>
#include <string>

namespace quovo {

// "DVD Title " + number from 1.
QString TitleCaption(int titleIndex);

// The cells of a title row: caption, duration, trim length, frame size, video format, progress.
QStringList TitleRowCells(int titleIndex, const DVDTitleInfo& title);

// The record of a freshly imported title row.
std::unique_ptr<TlvFilesRecord> MakeTitleRecord(int titleIndex, const DVDTitleInfo& title);

// "128  English": a stream's StreamID, two blanks, its language.
QStringList AudioItems(const DVDTitleInfo& title);
// The subtitle entries the same way, then "Default".
QStringList SubtitleItems(const DVDTitleInfo& title);

// The "opendvd:" name a run gives the conversion component for the row: its title, chapter
// range (0 to 99 when the row is trimmed: the trim then decides), audio and subtitle stream,
// two channels, no deinterlacing.
std::string TitleRunName(const std::string& dvdPath, const TlvFilesRecord& record);

// The plug-in's playback values for previewing the row: its title, the whole title, its audio
// and subtitle stream, two channels, no deinterlacing.
DVDPlayParams TitlePreviewParams(const TlvFilesRecord& record);

} // namespace quovo
