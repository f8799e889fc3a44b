// Reading a table from its file and writing it back, by format and options:
// the one way the window and the command-line tool load and save tables.
// Nothing here shows or asks anything; what there is to tell comes back in
// the reports, and each caller words it for its user.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "documents/StringIds.h"
#include "documents/TableList.h"
#include "formats/FileReports.h"
#include "formats/FormatOptions.h"
#include "formats/JsonStrings.h"
#include "formats/TblFile.h"
#include "platform/Platform.h"

namespace vm {

// File formats, as the open and save dialogs number them.
inline constexpr std::int32_t FormatTbl = 1;
inline constexpr std::int32_t FormatTabbedText = 2;  // reading: any text table
inline constexpr std::int32_t FormatDiabloText = 3;
inline constexpr std::int32_t FormatJson = 4;  // one language column of a string file

// The format a file name's extension stands for: FormatTbl for ".tbl",
// FormatTabbedText for ".txt", FormatJson for ".json" (ASCII letters in
// any case), 0 for anything else.
std::int32_t FormatOfFileName(std::u16string_view fileName);

// What a load found besides the entries.
struct LoadReport {
    // Why the file itself could not be read (Ok when it could), and its size.
    platform::ReadStatus file = platform::ReadStatus::Ok;
    std::uint64_t fileBytes = 0;
    // Why a read failed and what a successful one did not take exactly;
    // for text, the encoding it settled on.
    ReadReport read;
    // A string file that is not one: what and where.
    JsonError json;
    // A .tbl file's header as it stands in the file.
    std::optional<TblHeader> tblHeader;
    // A text table read whole: the options that write it back in its own
    // shape (TextShapeOfImage).
    std::optional<TextOptions> textShape;
    // A string file as it was read, so that its column can be written back
    // into it with its layout and its other languages.
    std::shared_ptr<const JsonDocument> document;
};

// Appends the entries of fileName, read in format (FormatTabbedText and
// FormatDiabloText: any text table) with options, to keys and values: a
// .tbl entry with the bytes it keeps, a string file's column
// options.json.language. True when the whole file was read; after a
// failure the entries read before it stay appended.
bool LoadTableFile(const std::u16string& fileName, std::int32_t format, const FormatOptions& options, TStringList& keys,
                   TStringList& values, LoadReport& report);

// Why a save failed.
enum class SaveFailure {
    None,
    NoEntries,         // a .tbl or text file needs at least one entry
    TooManyEntries,    // more than a .tbl file holds (65535), or an index cannot count them
    TooManyHashSlots,  // the entries and the spare hash slots pass the 65536 slots of a .tbl file
    DoesNotFit,        // the strings pass what a .tbl file can address, or memory ran out
    Lossy,             // the file cannot hold every entry exactly (report.write.losses)
    Json,              // the string file cannot be read or written (report.json says why)
    File,              // the file cannot be written (report.write.error says why)
    FirstIdTaken,      // the first id asked for is held in the folder (report.firstIdHolder)
};

struct SaveReport {
    SaveFailure failure = SaveFailure::None;
    // The entries a text file cannot hold exactly, the cause of a failed
    // write, warnings, the size of the file written.
    WriteReport write;
    JsonError json;
    // A string file: what was written, and each entry's object in it (see
    // JsonOriginSource).
    std::string jsonBytes;
    std::vector<std::uint32_t> jsonOrigins;
    // A string file's new objects: how many were made and the highest id
    // they got; the file that holds the first id asked for (FirstIdTaken);
    // what the choice of their ids could not take into account or do
    // (a save that makes no new object looks at no other file).
    std::size_t newObjects = 0;
    std::int64_t highestNewId = 0;
    std::u16string firstIdHolder;
    std::vector<StringIdWarning> idWarnings;
};

// Where a string file's column is written: into base, what the file holds
// (null: a new file in the game's layout), with each entry tied to its
// object by origin (null: none is, every entry is a new object). See
// JsonWriteRequest for loaded and owned.
struct JsonTarget {
    const JsonDocument* base = nullptr;
    const JsonDocument* loaded = nullptr;
    const std::vector<bool>* owned = nullptr;
    JsonOriginSource origin;
};

// Writes keys and values to fileName in format: FormatTbl with
// options.tbl, FormatTabbedText or FormatDiabloText in that layout with
// options.text (checked against what options.limits read back), FormatJson
// into the column options.json.language of json's file. A file that
// cannot hold every entry exactly is not written unless allowLossy is set.
// New objects of a string file get ids that no object of the file (as json
// has it) and no other string file of its folder holds, from
// options.json.firstId when it is above 0 (refused as FirstIdTaken when
// the folder holds that id), else from the number of the mod managers'
// counter file next_string_id.txt beside the folder, else above the
// highest id of the folder; after the save the counter, when there is one,
// is advanced past the highest new id (see documents/StringIds.h).
// The old file is replaced only when every byte was written. True on
// success.
bool SaveTableFile(const std::u16string& fileName, std::int32_t format, const TStringList& keys,
                   const TStringList& values, const FormatOptions& options, bool allowLossy, const JsonTarget& json,
                   SaveReport& report);

// The header options that write a table read from a .tbl file back as it
// was: its byte 8 and its spare hash slots (when they are within 0..255;
// otherwise fallback's).
TblOptions TblOptionsOfHeader(const TblHeader& header, const TblOptions& fallback);

}  // namespace vm
