// The remastered game's string files: a JSON array of flat objects, each
// with an integer "id", a "Key" and one string per language ("enUS",
// "zhTW", ...). One file holds every language; the editor shows one
// language column of it as a table.
//
// A JsonDocument keeps the file's bytes and where every object and field
// lies in them, so a file is written back by splicing: objects and values
// that did not change keep their bytes, new ones are made in the layout the
// file already has (line ends, indentation, name separator, escapes).
#pragma once

#include <bitset>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "formats/EntryCallbacks.h"
#include "formats/FormatOptions.h"
#include "platform/Platform.h"

namespace vm {

// The language fields in the order of the game's own files.
inline constexpr int JsonLanguageCount = 13;
extern const char* const JsonLanguageCodes[JsonLanguageCount];

// The number of a language code ("enUS" is 0), -1 when it is none.
int JsonLanguageIndex(std::u16string_view code);
int JsonLanguageIndex(std::string_view code);

// What a field of an object is: a language (0..12), the id, the key or a
// field of some other name.
inline constexpr std::uint8_t JsonFieldId = JsonLanguageCount;
inline constexpr std::uint8_t JsonFieldKey = JsonLanguageCount + 1;
inline constexpr std::uint8_t JsonFieldOther = JsonLanguageCount + 2;
inline constexpr int JsonKnownFieldCount = JsonLanguageCount + 2;  // languages, id, key

// Bytes [begin, end) of the file.
struct JsonSpan {
    std::uint32_t begin = 0;
    std::uint32_t end = 0;
    std::uint32_t size() const { return end - begin; }
};

struct JsonField {
    JsonSpan name;   // the name with its quotes
    JsonSpan value;  // the value as written (a string with its quotes)
    std::uint8_t kind = JsonFieldOther;
};

inline constexpr std::uint32_t JsonNoField = 0xFFFFFFFFu;

struct JsonObject {
    JsonSpan span;                 // from "{" to "}" inclusive
    std::uint32_t firstField = 0;  // into JsonDocument::fields
    std::uint32_t fieldCount = 0;
    std::int64_t id = 0;
    // The field of each known kind (an index into JsonDocument::fields), or
    // JsonNoField.
    std::uint32_t known[JsonKnownFieldCount];
};

// How the file is laid out, found in its first objects; the game's own
// layout where the file does not show it. New objects and fields are
// written with these bytes, so they look like the file's own.
struct JsonLayout {
    bool byteOrderMark = true;
    std::string lineEnd = "\r\n";              // "" for a file on one line
    std::string firstGap = "\r\n  ";           // between "[" and the first object
    std::string objectGap = ",\r\n  ";         // between two objects, the comma included
    std::string lastGap = "\r\n";              // between the last object and "]"
    std::string fieldGap = "\r\n    ";         // between "{" and the first field
    std::string fieldSeparator = ",\r\n    ";  // between two fields
    std::string nameSeparator = ": ";          // between a name and its value
    std::string closingGap = "\r\n  ";         // between the last field and "}"

    // Escapes: characters written as \uXXXX besides those JSON requires.
    std::bitset<128> asciiEscaped;  // ASCII characters the file writes as \u
    bool escapeNonAscii = false;    // every character beyond ASCII
    bool escapePrivateUse = true;   // U+E000..U+F8FF (the game's glyphs)
    bool escapeSlash = false;       // "/" as "\/"
    bool upperHex = true;           // \uE01D rather than \ue01d
};

// One language column of a document: every object's key and its value in
// display form, in object order, in one buffer.
struct JsonColumn {
    int language = -1;
    std::u16string text;  // keys and values, each followed by a zero unit
    struct Item {
        std::uint32_t key = 0;    // offset of the key in text
        std::uint32_t value = 0;  // offset of the value in text
    };
    std::vector<Item> items;  // one per object

    const char16_t* Key(std::size_t i) const { return text.c_str() + items[i].key; }
    const char16_t* Value(std::size_t i) const { return text.c_str() + items[i].value; }

    // Makes item i hold these texts: a table that wrote the file takes its
    // own texts as what it read, so that the next write sees as changed
    // only what changes in the table, not what others wrote since.
    void Set(std::size_t i, std::u16string_view key, std::u16string_view value) {
        items[i].key = static_cast<std::uint32_t>(text.size());
        text.append(key).push_back(0);
        items[i].value = static_cast<std::uint32_t>(text.size());
        text.append(value).push_back(0);
    }
};

struct JsonDocument {
    std::string bytes;  // the whole file
    std::vector<JsonObject> objects;
    std::vector<JsonField> fields;
    std::uint32_t arrayOpen = 0;   // offset of "["
    std::uint32_t arrayClose = 0;  // offset of "]"
    JsonLayout layout;
    JsonColumn column;  // the column the document was read with, if any

    const JsonField& Field(const JsonObject& o, std::uint8_t kind) const { return fields[o.known[kind]]; }
    bool Has(const JsonObject& o, std::uint8_t kind) const { return o.known[kind] != JsonNoField; }
    std::string_view Text(JsonSpan s) const { return std::string_view(bytes).substr(s.begin, s.size()); }
};

// Why a file could not be read or written.
enum class JsonProblem {
    None,
    Syntax,             // not JSON at all; detail names what the parser expected
    NotArray,           // the top level is not an array
    NotObject,          // an element of the array is not an object
    MissingId,          // an object without "id"
    MissingKey,         // an object without "Key"
    IdNotInteger,       // "id" is not a whole number
    NotString,          // "Key" or a language is not a string; detail names the field
    DuplicateField,     // a field given twice in one object; detail names it
    TooLarge,           // the file is larger than the read limit (or 4 GiB)
    Unreadable,         // the file is missing or cannot be read
    UnpairedSurrogate,  // writing: a value holds half a surrogate pair (entry = its number)
    WriteFailed,        // writing: the file cannot be written
};

struct JsonError {
    JsonProblem problem = JsonProblem::None;
    std::uint64_t line = 0;    // from 1; 0 when the problem has no place
    std::uint64_t column = 0;  // in characters, from 1
    std::uint64_t offset = 0;  // in bytes
    std::int64_t entry = -1;   // the entry a write problem is about
    std::string detail;
    // WriteFailed at the file itself: the cause the system gave (Other when
    // it gave none the platform layer knows).
    platform::WriteError cause = platform::WriteError::None;
};

// English text of a problem, with its place: "line 3, column 7: ...".
std::string DescribeJsonError(const JsonError& error);

// Parses a string file. When language is 0..12, the document's column is
// filled with that language. On failure the document is left empty, error
// (when given) says why and where, and nothing is delivered anywhere.
bool ParseJsonStrings(std::string bytes, int language, JsonDocument& doc, JsonError* error = nullptr);

// Reads and parses a file of at most limits.maxFileSize bytes.
bool LoadJsonStrings(const std::u16string& fileName, int language, const ReadLimits& limits, JsonDocument& doc,
                     JsonError* error = nullptr);

// The text of a string value as the file writes it (with its quotes, as
// JsonField::value holds it), decoded: escapes resolved, the game's colour
// codes and line breaks as they stand (stored form). False when the bytes
// are not one JSON string.
bool DecodeJsonString(std::string_view quoted, std::u16string& out);

// Hands the document's column to sink, entry by entry in object order: the
// key as written, the value in display form (a missing field is empty).
void DeliverJsonColumn(const JsonDocument& doc, const TableEntrySink& sink);

// Reads one language column of a file into sink. False, with nothing
// delivered, when the file cannot be read or is not a string file. The
// parsed document is kept in *keep when given.
bool ReadJsonTable(const std::u16string& fileName, int language, const ReadLimits& limits, const TableEntrySink& sink,
                   JsonError* error = nullptr, JsonDocument* keep = nullptr);

// ---- Writing -------------------------------------------------------------

// Entry i's object: 1 + its number in the document the entries were read
// from, 0 for an entry that has no object yet, JsonOriginGone for an entry
// whose object someone else removed from the file while it stayed
// unchanged here (it is not written).
inline constexpr std::uint32_t JsonOriginGone = 0xFFFFFFFFu;
using JsonOriginSource = std::function<std::uint32_t(std::int32_t i)>;

struct JsonWriteRequest {
    // What the file holds now: its layout, and the objects of anyone else
    // who wrote it since the entries were read. Never null.
    const JsonDocument* base = nullptr;
    // What the entries were read from, with its column of `language`; null
    // when that is base itself.
    const JsonDocument* loaded = nullptr;
    int language = 0;
    // Without newId: new objects get ids above the highest id of the file;
    // with a first id above 0, above the highest id from there on (a mod's
    // own range).
    std::int64_t firstNewId = 0;
    // Which objects of loaded are the table's own, null: all of them. A
    // table written into a file others write too holds only some objects
    // of what it last wrote; the others' objects are left alone, while an
    // own object without an entry has been deleted.
    const std::vector<bool>* owned = nullptr;
    // When set, every new object takes the id this gives, called once per
    // new object in entry order, and firstNewId is not used; no id refuses
    // the write. It is the caller's to give ids no other object holds (the
    // string files of one folder share their ids), so nothing here looks
    // beyond the documents.
    std::function<std::optional<std::int64_t>()> newId = nullptr;
};

// Writes count entries pulled from source into the language column of the
// base document. An entry tied to an object changes only that object's
// "Key" and language value, and only where they differ from what was read;
// an entry of no object becomes a new object with a new id and every
// language holding its value; objects whose entries are gone are removed;
// the objects follow the entries' order. Objects that others added to the
// file since the entries were read stay, after the object they followed;
// an object someone else removed stays removed unless its entry changed
// here. newOrigins (when given) receives each entry's object in the result, as
// JsonOriginSource counts them. False, with out unusable, when the source
// fails or a value cannot be written (error says why).
bool BuildJsonColumn(const JsonWriteRequest& request, const TableEntrySource& source, const JsonOriginSource& origin,
                     std::int32_t count, std::string& out, std::vector<std::uint32_t>* newOrigins = nullptr,
                     JsonError* error = nullptr);

// Builds the bytes and writes them; the old file is replaced only when
// every byte was written.
bool WriteJsonColumn(const std::u16string& fileName, const JsonWriteRequest& request, const TableEntrySource& source,
                     const JsonOriginSource& origin, std::int32_t count,
                     std::vector<std::uint32_t>* newOrigins = nullptr, JsonError* error = nullptr);

// Writes the language column of column (a document read with that
// language) again with each of its objects' key and value taken from keys
// and values (display form, one per object) and reads the result into doc:
// only the fields that differ change. False, with doc unusable, when a
// text cannot be written.
bool RewriteJsonColumn(const JsonDocument& column, const std::vector<std::u16string>& keys,
                       const std::vector<std::u16string>& values, JsonDocument& doc, JsonError* error = nullptr);

// A document of no objects in the game's own layout: where a new string
// file starts from.
JsonDocument EmptyJsonDocument();

// Writes bytes to a file, replacing it only when every byte was written;
// cause, when given, receives why a write failed.
bool WriteJsonBytes(const std::u16string& fileName, std::string_view bytes, platform::WriteError* cause = nullptr);

}  // namespace vm
