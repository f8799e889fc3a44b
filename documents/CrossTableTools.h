// Tools that change one table (the target) from the other table or from a
// file: copy values, copy time dialogs, update from a file and translate by
// way of a file. They change only the target's values, so they never ask
// about unsaved changes; each run that changes a value is one step of the
// target's undo history, which brings back the current row and the
// target's selected rows (selection). Each returns how many values it
// changed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "documents/CopyMatchedValues.h"
#include "documents/TblObjects.h"
#include "documents/Workspace.h"

namespace vm {

// The update and translate tools.
inline constexpr std::int32_t ToolUpdate = 1;
inline constexpr std::int32_t ToolTranslate = 2;

// Copies every value of the other table to p's entry with the same key.
std::size_t CopyValues(TTblObjects& p, RowBlock selection);

// Entry by entry: where the other table's value and p's value both start
// with a positive number, p's number (the sign and digits it was read
// from) is replaced by the other's. Flags stay as they are.
std::size_t CopyTimeDialogs(TTblObjects& p, RowBlock selection);

// Reads the file named by ToolFileName (format 1 .tbl, FormatJson the
// column options.json.language of a string file, otherwise text, encoding
// detected) into the workspace's tool table and applies it to p in the given
// mode. A failed read shows the read-error message and goes on with the
// entries read before the failure.
std::size_t UpdateFromFile(TTblObjects& p, std::int32_t format, std::int32_t mode, const FormatOptions& options,
                           RowBlock selection);

// The table-only parts of the tools, shared with the command-line tool. An
// observer hears of each target entry before it changes.

// CopyTimeDialogs over two value lists: the target's and the other's.
std::size_t CopyTimeDialogValues(const TStringList& otherValues, TStringList& values,
                                 EntryChangeObserver* observer = nullptr);

// Applies file entries to a target table through the other table. Update:
// where the other table's value of row k pairs with a file key, the
// target's value of row k becomes the file's value. Translate: the file's
// keys that pair with values of the other table take that table's keys
// (fileKeys changes), then the file's values go by key into the target.
std::size_t ApplyFileEntries(TStringList& keys, TStringList& values, const TStringList& otherKeys,
                             const TStringList& otherValues, TStringList& fileKeys, const TStringList& fileValues,
                             std::int32_t mode, EntryChangeObserver* observer = nullptr);

}  // namespace vm
