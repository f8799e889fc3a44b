// The check of what the editor has open: the folders the sides' files came
// from, read from disk once, with each side's table laid over its file as
// it stands now (unsaved edits included), so that the findings follow the
// edits without reading the folders again.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "documents/ModCheck.h"
#include "documents/Workspace.h"

namespace vm {

struct OpenCheck {
    // What was read: the files and folders checked, and their strings.
    std::vector<std::u16string> inputs;
    ModStrings disk;
    // The strings checked: disk with the sides' tables in place of their
    // files, and for each of its entries the row of each side that shows
    // it (-1 where a side does not), and the language column each side
    // shows of a string file (-1 for none).
    ModStrings strings;
    std::vector<std::array<std::int32_t, 2>> rowsOf;
    int languageOf[2] = {-1, -1};
    std::vector<Finding> findings;
    CheckOptions options;
};

// Reads the folders of both sides' files (a string file's folder, a classic
// language folder, a text table alone) and checks them with the sides laid
// over.
void RunOpenCheck(const Workspace& ws, const CheckOptions& options, OpenCheck& check);

// Lays the sides over the folders read before and checks again.
void RecheckOpen(const Workspace& ws, OpenCheck& check);

// Where a finding is shown: the side and row, or side -1 when no side shows
// its file; then file and objectRow say which file to open and the row its
// entry will have there.
struct FindingPlace {
    int side = -1;
    std::int32_t row = -1;
    std::u16string file;
    std::int32_t objectRow = -1;
};
FindingPlace PlaceOfFinding(const OpenCheck& check, const Finding& f);

// The fixes a side can make of the findings at indexes (into
// check.findings): a missing-language or empty-text finding is filled from
// the from language of its object, on the side that shows the finding's
// language; a key with spaces around it is trimmed on the side that shows
// it. Each side changed gets one undo step. What no side can fix (new ids,
// a language no side shows) is counted as left.
struct OpenFixCount {
    std::size_t fixed = 0, left = 0;
};
OpenFixCount FixOpenFindings(Workspace& ws, const OpenCheck& check, const std::vector<std::size_t>& indexes, int from);

// True when two file names name one file (separators and ASCII case aside
// on Windows).
bool SameFileName(const std::u16string& a, const std::u16string& b);

}  // namespace vm
