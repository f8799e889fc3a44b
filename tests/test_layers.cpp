// The folders' include rules: the toolkit includes nothing of the program's
// documents, shell or editing code, and the editing code nothing of the
// shell (the main window reaches it through editing/EditingWindow.h).

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

// Every include line of the folder's sources naming a file in a forbidden folder.
std::string ForbiddenIncludes(const std::string& folder, std::initializer_list<const char*> forbidden) {
    std::string found;
    for (const auto& file : std::filesystem::directory_iterator(std::string(VM_SOURCE_DIR) + "/" + folder)) {
        std::ifstream in(file.path());
        for (std::string line; std::getline(in, line);) {
            if (line.rfind("#include \"", 0) != 0) continue;
            for (const char* prefix : forbidden)
                if (line.compare(10, std::char_traits<char>::length(prefix), prefix) == 0)
                    found += file.path().filename().string() + ": " + line + "\n";
        }
    }
    return found;
}

}  // namespace

TEST(Layers, ToolkitAndEditingIncludeOnlyWhatIsBelowThem) {
#ifndef VM_SOURCE_DIR
    GTEST_SKIP() << "source folder unknown";
#else
    if (!std::filesystem::is_directory(std::string(VM_SOURCE_DIR) + "/toolkit")) GTEST_SKIP() << "no sources here";
    EXPECT_EQ(ForbiddenIncludes("toolkit", {"documents/", "shell/", "editing/"}), "");
    EXPECT_EQ(ForbiddenIncludes("editing", {"shell/"}), "");
#endif
}
