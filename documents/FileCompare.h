// Tools > "Compare with file...": which entries of a side differ from a
// file, say the version a translation started from. The file is read once
// and kept; the marks are worked out again from it after every change of
// the side's table, so they follow inserts, deletes, moves and edits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "documents/TableList.h"
#include "documents/TblObjects.h"
#include "formats/FormatOptions.h"

namespace vm {

// The mode of OpenDialog (documents/FileDialogs.h) that compares.
inline constexpr int ToolCompare = 3;

enum class Difference : std::uint8_t { None, Added, Changed };

struct FileComparison {
    std::u16string fileName;
    TableLists file;                // the file's entries as read
    std::vector<Difference> marks;  // one per entry of the side
    std::size_t added = 0, changed = 0;
    std::size_t removed = 0;  // entries of the file the side lacks
};

// Marks keys and values against the file's entries, pairing them by key as
// the copy and merge tools do (repeated keys in order): an entry with no
// partner in the file is added, one whose value differs from its
// partner's is changed, and a file entry with no partner is removed.
void MarkDifferences(FileComparison& c, const TStringList& keys, const TStringList& values);

// Reads fileName in format (FormatJson: the column options.json.language)
// and marks p's table against it. A failed read shows why and leaves p's
// marks as they were; false then.
bool CompareWithFile(TTblObjects& p, const std::u16string& fileName, std::int32_t format, const FormatOptions& options);

// p's marks again after its table changed.
void RemarkDifferences(TTblObjects& p);

// How entry row of p differs from the file (None without a comparison).
Difference DifferenceOf(const TTblObjects& p, std::int32_t row);

// The next marked entry after row (delta 1) or before it (delta -1); -1
// when there is none that way.
std::int32_t NextDifference(const TTblObjects& p, std::int32_t row, int delta);

}  // namespace vm
