// The options readers and writers take, as values the caller passes in.
// The defaults are the program's own when nothing sets them. The window's
// settings file and the command line each keep one FormatOptions.
#pragma once

#include <cstdint>
#include <string>

namespace vm {

// The encodings of text tables: the UTF-16LE, UTF-8 or ANSI code page of a
// file, and for reading only, detection.
enum class TextEncoding : int { Unicode = 0, UTF8 = 1, ANSI = 2, Autodetect = 3 };
// The two layouts of a line: key TAB value, or key , TAB , TAB "value".
enum class TextLayout : int { Tabbed = 0, DiabloII = 1 };

// How far one read may go.
struct ReadLimits {
    // The largest file a reader accepts, in bytes.
    std::uint64_t maxFileSize = 4194304;
    // Include lines of text tables may name any file, not only files in the
    // folder of the first file read.
    bool includesAnywhere = false;
};

// The header of a written .tbl file.
struct TblOptions {
    int offset8 = 1;        // byte 8 of the header
    int addToHashSize = 0;  // hash slots beyond one per entry
};

// How text tables are read and written.
struct TextOptions {
    // Reading: the encoding when the file has no byte-order mark.
    TextEncoding readEncoding = TextEncoding::Autodetect;
    // Writing: Unicode, UTF8 or ANSI, and the layout.
    TextEncoding writeEncoding = TextEncoding::Unicode;
    TextLayout layout = TextLayout::Tabbed;
    bool quoteValues = true;  // Tabbed: each value in double quotes
    // Tabbed UTF-16: a header line first (UTF-8 and ANSI files always
    // have one).
    bool header = true;
    std::string headerLine = "Key\tValue";  // in the ANSI code page
    // Comma-separated first lines a read takes for a header and skips (in
    // the ANSI code page); the list ends at an empty item.
    std::string skippedHeaders = "Key\tValue";
    // Colour codes written as macro words ("\red;"); off, as the game's
    // codes (not in ANSI files).
    bool colorMacros = true;
};

// The string files of the remastered game.
struct JsonOptions {
    int language = 0;  // the column read and written: 0 enUS .. 12 zhCN
    // The first id of new objects; 0: above the highest id of the file.
    std::int64_t firstId = 0;
};

struct FormatOptions {
    ReadLimits limits;
    TblOptions tbl;
    TextOptions text;
    JsonOptions json;
};

}  // namespace vm
