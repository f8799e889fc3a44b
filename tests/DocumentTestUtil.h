// A recording stand-in for the window side of the documents, and helpers
// to fill and inspect a side's table.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "documents/DocumentTexts.h"
#include "documents/Workspace.h"
#include "formats/FormatOptions.h"

namespace vmtest {

struct RecordingView final : vm::TableSideView {
    std::vector<std::string> calls;  // in order, e.g. "rows 9", "switch 0 -1"
    std::vector<std::u16string> messages;
    std::vector<std::u16string> questions;
    vm::AskAnswer answer = vm::AskAnswer::Cancel;
    std::function<bool()> onSave = [] { return false; };

    void SetRowCount(std::int32_t rows) override { calls.push_back("rows " + std::to_string(rows)); }
    void Redraw() override { calls.push_back("redraw"); }
    void SelectRow(std::int32_t row) override { calls.push_back("select " + std::to_string(row)); }
    vm::RowBlock SelectedRows() override { return {}; }
    void SelectRows(vm::RowBlock rows, std::int32_t focus) override {
        calls.push_back("select rows " + std::to_string(rows.first) + " " + std::to_string(rows.count) + " focus " +
                        std::to_string(focus));
    }
    void SwitchEditorRow(std::int32_t newRow, std::int32_t oldRow) override {
        calls.push_back("switch " + std::to_string(newRow) + " " + std::to_string(oldRow));
    }
    void SetNumberColumnWidth(std::int32_t rows) override { calls.push_back("width " + std::to_string(rows)); }
    void EnableSave() override { calls.push_back("enable save"); }
    void ShowMessage(const std::u16string& text, const std::u16string& caption) override {
        EXPECT_EQ(caption, u"Vellumark");
        messages.push_back(text);
    }
    vm::AskAnswer AskYesNoCancel(const std::u16string& text, const std::u16string& caption) override {
        EXPECT_EQ(caption, u"Vellumark");
        questions.push_back(text);
        return answer;
    }
    bool AskYesNo(const std::u16string& text, const std::u16string& caption) override {
        EXPECT_EQ(caption, u"Vellumark");
        questions.push_back(text);
        return answer == vm::AskAnswer::Yes;
    }
    bool SaveWithDialog() override {
        calls.push_back("save dialog");
        return onSave();
    }
    std::u16string source;  // what the side shows above its list
    void ShowSource(const std::u16string& text) override { source = text; }
};

// A workspace whose sides show on fresh recording views, and default
// options for the test to change.
class DocumentsTest : public ::testing::Test {
protected:
    void SetUp() override { vm::ResetDocumentTexts(); }

    vm::TTblObjects& T1() { return space.sides[0]; }
    vm::TTblObjects& T2() { return space.sides[1]; }

    RecordingView view1, view2;
    vm::Workspace space{&view1, &view2};
    vm::FormatOptions options;
};

// Entries "key=value" appended to the side's table, flags 0.
inline void Fill(vm::TTblObjects& p, const std::vector<std::pair<std::u16string, std::u16string>>& entries) {
    p.Keys->Clear();
    p.Values->Clear();
    for (const auto& [k, v] : entries) {
        p.Keys->Append(k);
        p.Values->Append(v);
    }
}

inline std::vector<std::u16string> Texts(const vm::TStringList& list) {
    std::vector<std::u16string> out;
    for (const auto& item : list.Items()) out.push_back(item.text);
    return out;
}

inline std::vector<std::int32_t> Flags(const vm::TStringList& list) {
    std::vector<std::int32_t> out;
    for (const auto& item : list.Items()) out.push_back(item.flag);
    return out;
}

}  // namespace vmtest
