// The format sweep (`make check-formats`): every case of FormatSweep.h, run in child processes
// of this program, --jobs at a time, with a summary at the end. Exit status 0 when every case
// passes.
//
//   quovo-format-sweep [--jobs N] [--formats CODE,CODE…] [--list] [--case NAME]
#include "FormatSweep.h"

#include "TFFLogger.h"
#include "TFFmpegLoader.h"
#include "TGlobalObject.h"
#include "TIniStore.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace quovo;
using namespace quovo::sweep;

constexpr size_t kCasesPerChild = 8;

struct TResult {
    bool done = false;
    bool ok = false;
    std::string failure;
    std::vector<std::string> adjustments;
    double seconds = 0;
};

std::string Quote(const std::string& text) {
    std::string q = "'";
    for (char c : text) {
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return q + "'";
}

bool LoadLibraries() {
    FFLogger()->SetTriggerEventInMainThread(false);
    FFLogger()->SetLevelByName("quiet");
    if (!FFLoader().LoadLibraries(ConverterLibraryMask)) {
        std::cerr << "quovo-format-sweep: " << FFLoader().LastLoadError() << "\n";
        return false;
    }
    return true;
}

// One line per case on stdout: "PASS|FAIL <index> <seconds> <failure>", then "ADJ <index> <line>"
// for each logged adjustment.
int RunChild(const std::vector<TSweepCase>& cases, const std::string& sources,
             const std::string& work, const std::vector<size_t>& indexes) {
    if (!LoadLibraries()) {
        return 2;
    }
    for (size_t i : indexes) {
        const auto start = std::chrono::steady_clock::now();
        const TSweepOutcome o = RunCase(cases.at(i), sources, work);
        const double s =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::string failure = o.Failure;
        for (char& c : failure) {
            c = c == '\n' ? ' ' : c;
        }
        for (const std::string& a : o.Adjustments) {
            std::printf("ADJ\t%zu\t%s\n", i, a.c_str());
        }
        std::printf("%s\t%zu\t%.2f\t%s\n", o.Ok ? "PASS" : "FAIL", i, s, failure.c_str());
        std::fflush(stdout);
    }
    return 0;
}

// Runs `indexes` in one child and files what it prints into `results`.
void RunChunk(const std::string& self, const std::string& sources, const std::string& work,
              const std::vector<size_t>& indexes, std::vector<TResult>& results,
              std::mutex& mutex) {
    std::string command = Quote(self) + " --child " + Quote(sources) + " " + Quote(work);
    for (size_t i : indexes) {
        command += " " + std::to_string(i);
    }
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe != nullptr) {
        char buffer[8192];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
            std::string line(buffer);
            if (!line.empty() && line.back() == '\n') {
                line.pop_back();
            }
            std::istringstream in(line);
            std::string kind;
            size_t index = 0;
            if (!std::getline(in, kind, '\t') || !(in >> index) || index >= results.size()) {
                continue;
            }
            in.get();
            std::string rest;
            std::getline(in, rest);
            std::lock_guard lock(mutex);
            TResult& r = results[index];
            if (kind == "ADJ") {
                r.adjustments.push_back(rest);
                continue;
            }
            const size_t tab = rest.find('\t');
            r.done = true;
            r.ok = kind == "PASS";
            r.seconds = std::atof(rest.substr(0, tab).c_str());
            r.failure = tab == std::string::npos ? "" : rest.substr(tab + 1);
        }
        ::pclose(pipe);
    }
    std::lock_guard lock(mutex);
    for (size_t i : indexes) {
        if (!results[i].done) {
            results[i].done = true;
            results[i].failure = "the sweep process ended before this case did";
        }
    }
}

std::string SelfPath(const char* argv0) {
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string(argv0) : self.string();
}

int Usage() {
    std::cerr << "Usage: quovo-format-sweep [--jobs N] [--formats CODE,CODE...] [--list] "
                 "[--case NAME]\n";
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    const TIniStore formatFile(FindFormatFile());
    const std::vector<TSweepCase> all = AllCases(formatFile);
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() >= 3 && args[0] == "--child") {
        std::vector<size_t> indexes;
        for (size_t i = 3; i < args.size(); ++i) {
            indexes.push_back(std::stoul(args[i]));
        }
        return RunChild(all, args[1], args[2], indexes);
    }

    int jobs = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    std::set<int> formats;
    std::string only;
    bool list = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const bool hasValue = i + 1 < args.size();
        if (args[i] == "--jobs" && hasValue) {
            jobs = std::max(1, std::atoi(args[++i].c_str()));
        } else if (args[i] == "--formats" && hasValue) {
            std::istringstream in(args[++i]);
            for (std::string code; std::getline(in, code, ',');) {
                formats.insert(std::atoi(code.c_str()));
            }
        } else if (args[i] == "--case" && hasValue) {
            only = args[++i];
        } else if (args[i] == "--list") {
            list = true;
        } else {
            return Usage();
        }
    }
    std::vector<size_t> chosen;
    for (size_t i = 0; i < all.size(); ++i) {
        if ((formats.empty() || formats.count(all[i].Code)) &&
            (only.empty() || all[i].Name() == only)) {
            chosen.push_back(i);
        }
    }
    if (list) {
        for (size_t i : chosen) {
            std::cout << all[i].Name() << "\n";
        }
        return 0;
    }
    if (chosen.empty()) {
        std::cerr << "quovo-format-sweep: no case chosen\n";
        return 2;
    }
    if (!LoadLibraries()) {
        return 2;
    }

    const std::string folder = (std::filesystem::temp_directory_path() /
                                ("quovo-format-sweep-" + std::to_string(::getpid())))
                                   .string();
    const std::string sources = folder + "/sources";
    MakeSources(sources);
    const std::string self = SelfPath(argv[0]);

    std::vector<TResult> results(all.size());
    std::mutex mutex;
    std::atomic<size_t> next{0};
    std::atomic<size_t> finished{0};
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> workers;
    for (int j = 0; j < jobs; ++j) {
        workers.emplace_back([&, j] {
            const std::string work = folder + "/work" + std::to_string(j);
            for (;;) {
                const size_t first = next.fetch_add(kCasesPerChild);
                if (first >= chosen.size()) {
                    return;
                }
                const std::vector<size_t> chunk(
                    chosen.begin() + static_cast<std::ptrdiff_t>(first),
                    chosen.begin() + static_cast<std::ptrdiff_t>(
                                         std::min(first + kCasesPerChild, chosen.size())));
                RunChunk(self, sources, work, chunk, results, mutex);
                std::lock_guard lock(mutex);
                for (size_t i : chunk) {
                    if (!results[i].ok) {
                        std::cout << "FAIL " << all[i].Name() << ": " << results[i].failure
                                  << std::endl;
                    }
                }
                const size_t done = finished += chunk.size();
                if (done / 200 != (done - chunk.size()) / 200) {
                    std::cout << "... " << done << " of " << chosen.size() << std::endl;
                }
            }
        });
    }
    for (std::thread& w : workers) {
        w.join();
    }
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);

    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    size_t failed = 0;
    size_t adjusted = 0;
    std::set<int> codes;
    std::map<std::string, size_t> moves;
    for (size_t i : chosen) {
        codes.insert(all[i].Code);
        failed += results[i].ok ? 0 : 1;
        adjusted += results[i].ok && !results[i].adjustments.empty() ? 1 : 0;
        for (const std::string& a : results[i].adjustments) {
            ++moves[a];
        }
    }
    if (!moves.empty()) {
        std::cout << "\nLogged adjustments (times seen):\n";
        for (const auto& [line, n] : moves) {
            std::cout << "  " << n << " x " << line << "\n";
        }
    }
    std::printf("\nFormat sweep: %zu conversions of %zu formats in %.0f s with %d jobs: "
                "%zu passed (%zu of them with a logged adjustment), %zu failed.\n",
                chosen.size(), codes.size(), seconds, jobs, chosen.size() - failed, adjusted,
                failed);
    return failed == 0 ? 0 : 1;
}
