// Tools > "Compare with file...": the side in focus against a file. Its
// entries that the file lacks or holds with another value are shaded in
// its list (documents/FileCompare.h), F7 and Shift+F7 go to the next and
// previous one from anywhere, the marks follow every change of the table,
// and Tools > "Clear Comparison" removes them.
#pragma once

#include <string>
#include <vector>

#include "documents/DocumentTexts.h"

namespace vm {

// Said once a comparison is made: %1 the table's number, %2 the file's
// name, %3, %4 and %5 the entries added, changed and removed.
inline const char16_t* const BuiltInCompareSummary =
    u"Table %1 against %2: %3 entries added, %4 changed, %5 removed.\n\nF7 and Shift+F7 go to the next and previous "
    u"difference; Tools > Clear Comparison removes the marks.";
inline std::u16string sCompareSummary = BuiltInCompareSummary;

inline const std::vector<KeyedText>& CompareTexts() {
    static const std::vector<KeyedText> texts = {{u"sCompareSummary", &sCompareSummary, BuiltInCompareSummary}};
    return texts;
}

// Tools > "Compare with file...": the open dialog, then the marks.
void RunCompareCommand();
// F7 (1) and Shift+F7 (-1): the next or previous marked row of the side
// that has a comparison (the one in focus when both have).
void StepDifference(int delta);
// Tools > "Clear Comparison": both sides' marks.
void ClearComparisons();
// After a table changed: the marks again.
void ComparisonsAfterChange();

}  // namespace vm
