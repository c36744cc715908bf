// libdvdread objects owned by std::unique_ptr with the library's own close functions, and the
// logger through which libdvdread's messages reach ours.
#pragma once

#include "DVDDiscInfo.h"

#include <dvdread/dvd_reader.h>
#include <dvdread/ifo_read.h>

#include <memory>
#include <string>

namespace quovo {

struct DvdReaderCloser {
    void operator()(dvd_reader_t* d) const { DVDClose(d); }
};
struct IfoHandleCloser {
    void operator()(ifo_handle_t* h) const { ifoClose(h); }
};
struct DvdFileCloser {
    void operator()(dvd_file_t* f) const { DVDCloseFile(f); }
};
using DvdReaderPtr = std::unique_ptr<dvd_reader_t, DvdReaderCloser>;
using IfoHandlePtr = std::unique_ptr<ifo_handle_t, IfoHandleCloser>;
using DvdFilePtr = std::unique_ptr<dvd_file_t, DvdFileCloser>;

// Opens a disc (device, mounted disc, VIDEO_TS folder or its parent, ISO image) with its
// messages sent to `sink`, which must outlive the reader.
DvdReaderPtr OpenDvd(const std::string& path, const TDVDLogSink* sink);

} // namespace quovo
