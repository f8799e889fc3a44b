// Files for tests: a temporary directory that removes itself, with helpers
// to write and read whole files in it. Only std::filesystem, so it works
// natively and under wine alike.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace vmtest {

namespace fs = std::filesystem;

class TempDir {
public:
    TempDir() {
        static std::atomic<unsigned> counter{0};
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        for (int attempt = 0; attempt < 100; ++attempt) {
            path_ = fs::temp_directory_path() /
                    ("vellumark-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
            if (fs::create_directory(path_)) break;
        }
    }
    ~TempDir() {
        // Files or folders a test made read-only must not stop the clean-up.
        std::error_code ec;
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
        for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::recursive_directory_iterator();
             it.increment(ec))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const fs::path& path() const { return path_; }

    // The UTF-16 name the core takes for a file in here (the directory
    // itself when relative is empty).
    std::u16string Path(std::u16string_view relative = {}) const {
        return (relative.empty() ? path_ : path_ / fs::path(relative)).u16string();
    }

    // Writes the bytes to a file in here, making its folders as needed.
    bool Write(std::string_view relative, std::string_view bytes) const {
        const fs::path p = path_ / fs::path(relative);
        std::error_code ec;
        fs::create_directories(p.parent_path(), ec);
        std::ofstream out(p, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return static_cast<bool>(out.flush());
    }

    // The whole file, or "<missing>" when it cannot be opened.
    std::string Read(std::string_view relative) const {
        std::ifstream in(path_ / fs::path(relative), std::ios::binary);
        if (!in) return "<missing>";
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    // The names in a folder in here (not recursive), sorted.
    std::vector<std::u16string> List(std::string_view relative = {}) const {
        std::vector<std::u16string> names;
        std::error_code ec;
        for (auto it = fs::directory_iterator(path_ / fs::path(relative), ec); !ec && it != fs::directory_iterator();
             it.increment(ec))
            names.push_back(it->path().filename().u16string());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    fs::path path_;
};

}  // namespace vmtest
