#include "DvdTitleInputs.h"

#include "DVDName.h"
#include "DVDPlugIn.h"
#include "TIniStore.h"

#include <cstdio>
#include <sstream>

namespace quovo {

bool TitleInputs(const std::string& path, const std::string& list, int subtitleId,
                 std::vector<std::string>& names, std::string& why) {
    if (!DVDPluginLoaded() && !LoadDVDPlugin(DefaultDVDPluginFolder())) {
        why = DVDPluginError();
        return false;
    }
    const int count = EnumDVDTitles(path);
    if (count < 1) {
        why = path + ": No DVD title(s) found. Maybe not a valid DVD.";
        return false;
    }
    std::vector<int> numbers;
    if (list == "all") {
        for (int n = 1; n <= count; ++n) {
            numbers.push_back(n);
        }
    } else {
        std::stringstream items(list);
        for (std::string item; std::getline(items, item, ',');) {
            const auto n = ParseWholeNumber(item);
            if (!n || *n < 1 || *n > count) {
                why = path + " has no title '" + item + "' (titles 1 to " + std::to_string(count) +
                      ")";
                return false;
            }
            numbers.push_back(*n);
        }
    }
    for (int n : numbers) {
        DVDTitleInfo t;
        if (!GetDVDTitle(n - 1, t)) {
            std::fprintf(stderr, "quovo-convert: %s: Title #%d is invalid\n", path.c_str(), n);
            continue;
        }
        const DVDPlayParams params{
            n - 1, 1, t.ChapterCount, t.AudioCount > 0 ? t.Audio[0].StreamID : 0, subtitleId, 2, 0};
        names.push_back(FormatOpenDVDName(path, params));
    }
    return true;
}

} // namespace quovo
