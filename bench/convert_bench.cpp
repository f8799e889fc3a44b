// The cost of whole vellumark-cli runs as the operating system sees them:
// CPU time (user + system) and page faults of `convert` on a made-up
// 65535-entry, 4 MiB table of game-like text (GameText.h), each run a
// child process measured with wait4(). The files live in a tmpfs
// directory when there is one, so the durable save's fsync costs nothing
// and the figures are CPU time only.
//
//   vellumark_convert_bench CLI [RUNS] [DIR]
//   vellumark_convert_bench --make FILE     (only writes the table)
//
// Prints, per conversion, the best and the median of RUNS runs (default 7)
// and checks that a .tbl converted to .tbl comes back byte for byte.

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench/GameText.h"
#include "formats/TblTextTbl.h"

extern char** environ;

namespace {

struct Run {
    double cpu = 0;  // user + system, seconds
    double user = 0;
    double system = 0;
    long faults = 0;  // minor + major
};

double Seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; }

// posix_spawn starts the child without copying this process's memory,
// which a forked child would pay for in its own system time.
bool RunOnce(const std::vector<std::string>& argv, Run& run) {
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int started = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (started != 0) return false;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid) return false;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return false;
    run.user = Seconds(usage.ru_utime);
    run.system = Seconds(usage.ru_stime);
    run.cpu = run.user + run.system;
    run.faults = usage.ru_minflt + usage.ru_majflt;
    return true;
}

std::vector<char> Bytes(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), {});
}

bool Measure(const char* label, const std::vector<std::string>& argv, int runs) {
    std::vector<Run> all;
    for (int i = 0; i < runs; ++i) {
        Run r;
        if (!RunOnce(argv, r)) {
            std::fprintf(stderr, "%s: the run failed\n", label);
            return false;
        }
        all.push_back(r);
    }
    std::sort(all.begin(), all.end(), [](const Run& a, const Run& b) { return a.cpu < b.cpu; });
    const Run& best = all.front();
    const Run& median = all[all.size() / 2];
    std::vector<long> faults;
    for (const Run& r : all) faults.push_back(r.faults);
    std::sort(faults.begin(), faults.end());
    std::printf("%-22s cpu best %7.2f ms (user %6.2f, sys %6.2f)  median %7.2f ms  faults %6ld\n", label,
                best.cpu * 1e3, best.user * 1e3, best.system * 1e3, median.cpu * 1e3, faults[faults.size() / 2]);
    return true;
}

}  // namespace

std::vector<std::uint8_t> TableImage() {
    const vmbench::Entries entries = vmbench::GameTable();
    std::vector<std::uint8_t> image;
    vm::TableEntrySource source = [&entries](std::int32_t i, const char16_t*& k, const char16_t*& v) {
        k = entries[static_cast<std::size_t>(i)].first.c_str();
        v = entries[static_cast<std::size_t>(i)].second.c_str();
        return true;
    };
    std::uint64_t total = 0;
    for (const auto& e : entries) total += e.first.size() + e.second.size();
    vm::BuildTblImage(source, static_cast<std::int32_t>(entries.size()), total, image, {});
    return image;
}

void WriteFile(const std::filesystem::path& p, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(p, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

int main(int argc, char** argv) {
    if (argc < 2 || (std::string(argv[1]) == "--make" && argc < 3)) {
        std::fprintf(stderr, "usage: %s CLI [RUNS] [DIR]\n       %s --make FILE\n", argv[0], argv[0]);
        return 2;
    }
    if (std::string(argv[1]) == "--make") {
        WriteFile(argv[2], TableImage());
        return 0;
    }
    const std::string cli = std::filesystem::absolute(argv[1]).string();
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;
    std::filesystem::path dir;
    if (argc > 3) dir = argv[3];
    else if (std::filesystem::is_directory("/dev/shm")) dir = "/dev/shm";
    else dir = std::filesystem::temp_directory_path();
    dir /= "vellumark-convert-bench-" + std::to_string(getpid());
    std::filesystem::create_directories(dir);

    const std::vector<std::uint8_t> image = TableImage();
    const auto big = dir / "big.tbl";
    WriteFile(big, image);
    std::printf("table: %u entries, %zu bytes, in %s; best and median of %d runs\n",
                vm::ParseTblHeader(image.data()).NumElements, image.size(), dir.c_str(), runs);

    const auto out = (dir / "out.tbl").string();
    const auto txt = (dir / "big.txt").string();
    const auto back = (dir / "back.tbl").string();
    bool ok = Measure("convert tbl -> tbl", {cli, "convert", big.string(), out}, runs);
    if (ok && Bytes(big) != Bytes(out)) {
        std::fprintf(stderr, "convert tbl -> tbl: the output differs from the input\n");
        ok = false;
    }
    // UTF-16 text of this table is larger than MaxFileSize, so the text
    // read back is UTF-8, and the tool is told that a text file it could
    // not read back is wanted (it refuses to write one otherwise).
    ok = ok && Measure("convert tbl -> utf16", {cli, "convert", big.string(), txt, "--lossy"}, runs);
    ok = ok && Measure("convert tbl -> utf8", {cli, "convert", big.string(), txt, "--encoding", "utf8"}, runs);
    ok = ok && Measure("convert utf8 -> tbl", {cli, "convert", txt, back}, runs);
    ok = ok && Measure("info tbl", {cli, "info", big.string()}, runs);
    ok = ok && Measure("--version (start-up)", {cli, "--version"}, runs);
    std::filesystem::remove_all(dir);
    return ok ? 0 : 1;
}
