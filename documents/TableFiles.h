// Loading a side's table from its file and saving it back.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "documents/TableIO.h"
#include "documents/TblObjects.h"
#include "formats/FileReports.h"

namespace vm {

// Replaces p's table with the entries of the file named by p.FileName,
// read through LoadTableFile in format with options: FormatJson reads the
// column options.json.language of a string file (a file that is not one
// loads nothing, and the message names the line and column of the fault),
// text the encoding options.text.readEncoding. A failed read shows the
// read-error message once and keeps the entries read before the failure;
// a read that succeeded but did not take everything exactly shows one
// message listing what happened. Then both list views get the new row
// count, CurrentRow moves to row 0 when it no longer names a row, the
// editors show the current row and p's Save commands are enabled. After a
// successful read the side counts as unmodified; a failed one leaves that
// as it was. A .tbl file read whole leaves the options that write its
// header back as it is in p.Tbl (TblOptionsOfHeader over options.tbl);
// any other load leaves p.Tbl empty. True when the whole file was read.
bool LoadTable(TTblObjects& p, std::int32_t format, const FormatOptions& options);

// The messages after a read of fileName: the failure, or the warnings of a
// read that went through (nothing when there are none). Each ends with the
// file's name on a line of its own. A string file's fault has a line of its
// own before it, with its line and column.
void ShowReadResult(TTblObjects& p, bool ok, const LoadReport& report, const std::u16string& fileName,
                    const ReadLimits& limits);
std::u16string ReadFailureText(const ReadReport& report, const ReadLimits& limits);
std::u16string ReadWarningText(const ReadReport& report);

// Loads p.FileName in the format its extension names; any other name
// leaves the table alone and shows nothing. True when a load ran and read
// the whole file.
bool OpenByExtension(TTblObjects& p, const FormatOptions& options);

// Writes p's table to p.FileName through SaveTableFile: format below 2 as
// .tbl, 2 as Tabbed text, 3 as DiabloII text, FormatJson into a string
// file, each with options. A side showing a string file's column writes its column back over
// the file as it is on disk now (what the other side saved there stays),
// with its own changes, inserts, deletes and moves; any other table goes
// into the JsonLanguage column by key (a new file in the game's layout
// when there is none). Saving in another format ends the tie to the
// string file. When a text
// file cannot hold every entry exactly, or a .tbl key or value is longer
// than the file holds, the question "sAskLossyText" comes first, and "No"
// saves nothing. New objects of a string file get ids unique across its
// folder (see SaveTableFile); a first id the folder holds refuses the save
// with "sSaveFirstIdTaken", and what the choice of ids could not take into
// account (a string file of the folder that cannot be read, the counter
// file) is shown after the save, under "sWarnIds". The flags of every entry return to 0 and
// the side becomes unmodified only when the file was written. A failed
// write shows "sErrorWriteFile" with its cause; the table, its flags and
// the old file stay as they were. After a save p.Tbl holds the header
// options a .tbl file was written with, and is empty after any other
// format. True on success.
bool SaveTable(TTblObjects& p, std::int32_t format, const FormatOptions& options);

// Saves under a new name: p.FileName becomes fileName for the save and goes
// back to the old name when the save fails.
bool SaveTableAs(TTblObjects& p, const std::u16string& fileName, std::int32_t format, const FormatOptions& options);

// A read or write error message with what the string file reader or writer
// says of the fault (its place and kind) on a line of its own; the message
// alone when there is no such fault.
std::u16string WithJsonDetail(const std::u16string& message, const JsonError& error);

// The object of p.Json that entry i of p's table is tied to: 1 + its
// number, 0 for none (a new entry), JsonOriginGone (see JsonOriginSource).
std::uint32_t JsonObjectOfEntry(const TTblObjects& p, std::size_t i);

// What the side shows above its list: the name of the file it was read
// from or saved to (a string file's with the column's language), or
// nothing when it has none.
std::u16string SourceCaption(const TTblObjects& p);

// A file name with a string file's column after it, as the command line
// and the recent files give it ("strings.json:deDE"): the language number
// of the column, with the name cut before the colon; -1, and the name left
// as it is, when it ends in no language code. The colon of a drive letter
// ("C:\\x.json") is never a column's.
int SplitLanguageColumn(std::u16string& name);

// What the recent files keep of p's file: its path, and a string file's
// column after a colon.
std::u16string RecentEntryOf(const TTblObjects& p);
// Puts entry first in the workspace's recent files (once), keeping at most
// count of them.
void NoteRecentFile(Workspace& ws, const std::u16string& entry, std::size_t count);

}  // namespace vm
