#include "FrameHookModules.h"

#include "QuovoFrameHook.h"
#include "TFFLogger.h"

#include <map>
#include <mutex>

#include <dlfcn.h>

namespace quovo {

namespace {

constexpr size_t kMaxWords = 64;

// Modules stay loaded for the life of the process, one handle per name.
struct ModuleRegistry {
    std::mutex mutex;
    std::map<std::string, void*> handles; // --- guarded by mutex
};

ModuleRegistry& Registry() {
    static ModuleRegistry* registry = new ModuleRegistry;
    return *registry;
}

// dlopen finds a module's own dependencies through its run path and the normal search, so the
// current folder and PATH are left alone. Returns null with `error` set when it cannot be loaded.
void* LoadModule(const std::string& name, std::string& error) {
    ModuleRegistry& r = Registry();
    std::lock_guard lock(r.mutex);
    auto it = r.handles.find(name);
    if (it != r.handles.end()) {
        return it->second;
    }
    void* handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* text = dlerror();
        error = text != nullptr ? text : "cannot load " + name;
        return nullptr;
    }
    r.handles.emplace(name, handle);
    return handle;
}

// Words at "|" when there is one (paths with spaces), else at blanks; empty words are dropped.
std::vector<std::string> SplitWords(const std::string& args) {
    const bool bar = args.find('|') != std::string::npos;
    std::vector<std::string> words;
    std::string word;
    for (char c : args) {
        const bool separator = bar ? c == '|' : (c == ' ' || c == '\t');
        if (separator) {
            if (!word.empty()) {
                words.push_back(std::move(word));
            }
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty()) {
        words.push_back(std::move(word));
    }
    return words;
}

void LogError(const std::string& text) {
    FFLogger()->Log(nullptr, llError, text);
}

} // namespace

struct TFrameHookList::Entry {
    void* ctx = nullptr;
    QuovoHookProcessFn process = nullptr;
    QuovoHookReleaseFn release = nullptr;
};

TFrameHookList::TFrameHookList() = default;

TFrameHookList::~TFrameHookList() {
    for (const auto& entry : entries_) {
        if (entry->release != nullptr) {
            entry->release(entry->ctx);
        }
    }
}

int TFrameHookList::Add(const std::string& args) {
    std::vector<std::string> words = SplitWords(args);
    if (words.empty()) {
        LogError("No frame-hook module given");
        return -22;
    }
    const std::string& name = words[0];
    if (words.size() > kMaxWords) {
        LogError("Too many words for frame-hook module " + name + " (at most 64)");
        return -22;
    }

    std::string error;
    void* handle = LoadModule(name, error);
    if (handle == nullptr) {
        LogError(error);
        return -1;
    }
    auto entry = std::make_unique<Entry>();
    entry->process = reinterpret_cast<QuovoHookProcessFn>(dlsym(handle, "Process"));
    if (entry->process == nullptr) {
        LogError("Failed to find Process entrypoint in " + name);
        return -2;
    }
    auto configure = reinterpret_cast<QuovoHookConfigureFn>(dlsym(handle, "Configure"));
    if (configure == nullptr && words.size() > 1) {
        LogError("Failed to find Configure entrypoint in " + name);
        return -2;
    }
    entry->release = reinterpret_cast<QuovoHookReleaseFn>(dlsym(handle, "Release"));

    if (configure != nullptr) {
        // The module gets writable strings, as C argv conventions allow it to change them.
        std::vector<char*> argv;
        for (std::string& word : words) {
            argv.push_back(word.data());
        }
        argv.push_back(nullptr);
        if (configure(&entry->ctx, static_cast<int>(words.size()), argv.data()) != 0) {
            LogError("Failed to Configure " + name);
            return -22;
        }
    }
    entries_.push_back(std::move(entry));
    return 0;
}

bool TFrameHookList::Empty() const {
    return entries_.empty();
}

void TFrameHookList::Process(AVFrame* picture, int pixFmt, int width, int height, int64_t pts) {
    if (picture == nullptr) {
        return;
    }
    QuovoHookPicture pict{};
    for (int i = 0; i < 4; ++i) {
        pict.data[i] = picture->data[i];
        pict.linesize[i] = picture->linesize[i];
    }
    for (const auto& entry : entries_) {
        entry->process(entry->ctx, &pict, pixFmt, width, height, pts);
    }
}

} // namespace quovo
