// Reading a mod's string files, tables and folders into one list of
// entries with all their languages.

#include "documents/ModStrings.h"

#include <algorithm>
#include <map>
#include <memory>

#include "documents/TableIO.h"
#include "documents/TableList.h"
#include "formats/ColorMacros.h"
#include "platform/Platform.h"

namespace vm {

namespace {

char16_t AsciiLowerUnit(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; }

bool SameAsciiCaseless(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (AsciiLowerUnit(a[i]) != AsciiLowerUnit(b[i])) return false;
    return true;
}

// The classic tables of a language folder, in the order the game looks a
// key up in them.
constexpr std::u16string_view ClassicTables[] = {u"patchstring.tbl", u"expansionstring.tbl", u"string.tbl"};

int ClassicRank(const std::u16string& leaf) {
    for (int rank = 0; rank < 3; ++rank)
        if (SameAsciiCaseless(leaf, ClassicTables[rank])) return rank;
    return -1;
}

void AddProblem(ModStrings& out, const std::u16string& name, std::uint32_t line, bool encoding, std::string message) {
    out.problems.push_back({static_cast<std::uint32_t>(out.files.size()), line, encoding, std::move(message)});
    out.files.push_back(
        {name, FormatOfFileName(name) == FormatJson ? StringFileKind::Json : StringFileKind::Text, -1, {}});
}

std::vector<std::uint32_t> LineStarts(std::string_view bytes) {
    std::vector<std::uint32_t> starts{0};
    for (std::size_t i = bytes.find('\n'); i != std::string_view::npos; i = bytes.find('\n', i + 1))
        starts.push_back(static_cast<std::uint32_t>(i + 1));
    return starts;
}

void ReadJsonFile(const std::u16string& name, const ModReadOptions& options, ModStrings& out) {
    JsonDocument doc;
    JsonError error;
    if (!LoadJsonStrings(name, -1, options.formats.limits, doc, &error)) {
        const bool encoding = error.problem == JsonProblem::Syntax && error.detail == "the text is not UTF-8";
        AddProblem(out, name, static_cast<std::uint32_t>(error.line), encoding, DescribeJsonError(error));
        return;
    }
    AddJsonEntries(name, doc, out);
}

// A table's values in stored form, one per row.
bool LoadTableTexts(const std::u16string& name, const ModReadOptions& options, TableLists& table, ModStrings& out) {
    LoadReport report;
    const std::int32_t format = FormatOfFileName(name) == FormatTbl ? FormatTbl : FormatTabbedText;
    if (LoadTableFile(name, format, options.formats, table.Keys, table.Values, report)) return true;
    AddProblem(out, name, 0, false, "the table cannot be read");
    return false;
}

// The source table's texts by key: the n-th entry of a key for its n-th
// entry elsewhere.
struct SourceTexts {
    TableLists table;
    std::map<std::u16string, std::vector<std::size_t>> rows;

    const std::u16string* Find(std::size_t row, const std::u16string& key, std::size_t nth) const {
        if (row < table.Count() && table.Keys.Get(row) == key) return &cache[row];
        const auto it = rows.find(key);
        if (it == rows.end() || nth >= it->second.size()) return nullptr;
        return &cache[it->second[nth]];
    }
    std::vector<std::u16string> cache;  // stored form of every value
};

void ReadTable(const std::u16string& name, int rank, int language, const SourceTexts* source,
               const ModReadOptions& options, ModStrings& out) {
    TableLists table;
    if (!LoadTableTexts(name, options, table, out)) return;
    if (language < 0) language = source ? UnknownLanguage : 0;
    const std::size_t first = out.entries.size();
    AddTableEntries(name, TableKindOf(name), rank, language, table.Keys, table.Values, out);
    if (!source || language == 0) return;
    std::map<std::u16string, std::size_t> seen;
    for (std::size_t i = first; i < out.entries.size(); ++i) {
        StringEntry& e = out.entries[i];
        if (const std::u16string* s = source->Find(i - first, e.key, seen[e.key]++)) {
            e.text[0] = *s;
            e.present |= 1;
        }
    }
}

}  // namespace

void AddJsonEntries(const std::u16string& name, const JsonDocument& doc, ModStrings& out) {
    const auto fileIndex = static_cast<std::uint32_t>(out.files.size());
    StringFile& file = out.files.emplace_back();
    file.name = name;
    file.kind = StringFileKind::Json;
    file.lineStarts = LineStarts(doc.bytes);
    out.entries.reserve(out.entries.size() + doc.objects.size());
    for (const JsonObject& o : doc.objects) {
        StringEntry& e = out.entries.emplace_back();
        e.file = fileIndex;
        e.line = file.LineOf(o.span.begin);
        e.hasId = true;
        e.id = o.id;
        DecodeJsonString(doc.Text(doc.Field(o, JsonFieldKey).value), e.key);
        for (int l = 0; l < JsonLanguageCount; ++l) {
            if (!doc.Has(o, static_cast<std::uint8_t>(l))) continue;
            const JsonField& f = doc.Field(o, static_cast<std::uint8_t>(l));
            DecodeJsonString(doc.Text(f.value), e.text[l]);
            e.present |= static_cast<std::uint16_t>(1u << l);
            e.fieldLine[l] = file.LineOf(f.name.begin);
        }
    }
}

void AddTableEntries(const std::u16string& name, StringFileKind kind, int rank, int language, const TStringList& keys,
                     const TStringList& values, ModStrings& out) {
    const auto fileIndex = static_cast<std::uint32_t>(out.files.size());
    out.files.push_back({name, kind, rank, {}});
    out.entries.reserve(out.entries.size() + keys.Count());
    for (std::size_t i = 0; i < keys.Count(); ++i) {
        StringEntry& e = out.entries.emplace_back();
        e.file = fileIndex;
        e.line = static_cast<std::uint32_t>(i + 1);
        e.key = keys.Get(i);
        e.text[language] = StoredForm(values.Get(i));
        e.present |= static_cast<std::uint16_t>(1u << language);
    }
}

std::u16string StoredForm(std::u16string_view display) {
    std::u16string stored(display);
    stored.resize(MacrosToColorCodes(std::u16string(display).c_str(), stored.data(), display.size() + 1, true));
    return stored;
}

std::u16string DisplayForm(const std::u16string& stored) {
    std::u16string display(stored.size() * 8 / 3 + 9, u'\0');
    display.resize(ColorCodesToMacros(stored.c_str(), display.data(), stored.size() + 1));
    return display;
}

std::u16string TrimmedKey(std::u16string_view key) {
    while (!key.empty() && (key.front() == u' ' || key.front() == u'\t')) key.remove_prefix(1);
    while (!key.empty() && (key.back() == u' ' || key.back() == u'\t')) key.remove_suffix(1);
    return std::u16string(key);
}

std::u16string NameInFolder(const std::u16string& fileName) {
    const std::u16string dir = platform::DirectoryOf(fileName);
    std::size_t skip = dir.size();
    while (skip < fileName.size() && (fileName[skip] == u'/' || fileName[skip] == u'\\')) ++skip;
    return fileName.substr(skip);
}

std::u16string AsciiLowerName(std::u16string name) {
    for (char16_t& c : name) c = AsciiLowerUnit(c);
    return name;
}

StringFileKind TableKindOf(const std::u16string& name) {
    return FormatOfFileName(name) == FormatTbl ? StringFileKind::Tbl : StringFileKind::Text;
}

int ClassicRankOf(const std::u16string& name) { return ClassicRank(NameInFolder(name)); }

int LanguageOfFile(const std::u16string& name) {
    return LanguageOfClassicFolder(NameInFolder(platform::DirectoryOf(name)));
}

std::uint32_t StringFile::LineOf(std::uint32_t offset) const {
    if (lineStarts.empty()) return 0;
    return static_cast<std::uint32_t>(std::upper_bound(lineStarts.begin(), lineStarts.end(), offset) -
                                      lineStarts.begin());
}

int LanguageOfClassicFolder(std::u16string_view folderName) {
    static constexpr struct {
        std::u16string_view folder;
        int language;
    } Folders[] = {{u"eng", 0}, {u"chi", 1}, {u"deu", 2}, {u"esp", 3},  {u"fra", 4}, {u"ita", 5},
                   {u"kor", 6}, {u"pol", 7}, {u"jpn", 9}, {u"por", 10}, {u"rus", 11}};
    for (const auto& f : Folders)
        if (SameAsciiCaseless(folderName, f.folder)) return f.language;
    return -1;
}

ModStrings ReadModStrings(const std::vector<std::u16string>& inputs, const ModReadOptions& options) {
    ModStrings out;
    std::unique_ptr<SourceTexts> source;
    if (!options.sourceTable.empty()) {
        source = std::make_unique<SourceTexts>();
        if (!LoadTableTexts(options.sourceTable, options, source->table, out)) return out;
        for (std::size_t i = 0; i < source->table.Count(); ++i) {
            source->cache.push_back(StoredForm(source->table.Values.Get(i)));
            source->rows[source->table.Keys.Get(i)].push_back(i);
        }
    }
    for (const std::u16string& input : inputs) {
        if (platform::FolderExists(input)) {
            const std::vector<std::u16string> leaves = platform::FilesInFolder(input);
            const int language = LanguageOfClassicFolder(NameInFolder(input));
            bool any = false;
            for (const std::u16string& leaf : leaves) {
                const std::u16string name = platform::JoinPath(input, leaf);
                if (FormatOfFileName(leaf) == FormatJson) {
                    ReadJsonFile(name, options, out);
                    any = true;
                } else if (const int rank = ClassicRank(leaf); rank >= 0) {
                    ReadTable(name, rank, language >= 0 ? language : options.tableLanguage, source.get(), options, out);
                    any = true;
                }
            }
            if (!any) AddProblem(out, input, 0, false, "the folder holds no string files");
        } else if (FormatOfFileName(input) == FormatJson) {
            ReadJsonFile(input, options, out);
        } else if (platform::FileExists(input)) {
            ReadTable(input, -1, options.tableLanguage, source.get(), options, out);
        } else {
            AddProblem(out, input, 0, false, "no such file or folder");
        }
    }
    return out;
}

const std::vector<NamedKeyColumn> NamedKeyColumns = {
    {"armor.txt", "namestr"},      {"weapons.txt", "namestr"},    {"misc.txt", "namestr"},
    {"uniqueitems.txt", "index"},  {"setitems.txt", "index"},     {"sets.txt", "name"},
    {"runes.txt", "Name"},         {"magicprefix.txt", "Name"},   {"magicsuffix.txt", "Name"},
    {"rareprefix.txt", "name"},    {"raresuffix.txt", "name"},    {"monstats.txt", "NameStr"},
    {"superuniques.txt", "Name"},  {"skilldesc.txt", "str name"}, {"skilldesc.txt", "str short"},
    {"skilldesc.txt", "str long"}, {"skilldesc.txt", "str alt"},  {"levels.txt", "LevelName"},
    {"levels.txt", "LevelWarp"},
};

void ReadNamedKeys(const std::u16string& folder, ModStrings& strings) {
    for (const std::u16string& leaf : platform::FilesInFolder(folder)) {
        std::vector<std::pair<std::string, std::size_t>> wanted;  // column name, its index
        for (const NamedKeyColumn& c : NamedKeyColumns)
            if (SameAsciiCaseless(leaf, platform::FromUtf8(c.file))) wanted.emplace_back(c.column, 0);
        if (wanted.empty()) continue;
        const std::u16string name = platform::JoinPath(folder, leaf);
        platform::FileImage image;
        if (platform::ReadWholeFile(name, std::uint64_t{1} << 30, 0, image) != platform::ReadStatus::Ok) {
            AddProblem(strings, name, 0, false, "the data table cannot be read");
            continue;
        }
        const std::string_view bytes(reinterpret_cast<const char*>(image.data.get()), image.size);
        std::vector<std::vector<std::string_view>> rows;
        for (std::size_t at = 0; at < bytes.size();) {
            std::size_t end = bytes.find('\n', at);
            if (end == std::string_view::npos) end = bytes.size();
            std::string_view line = bytes.substr(at, end - at);
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            std::vector<std::string_view>& cells = rows.emplace_back();
            for (std::size_t c = 0;;) {
                const std::size_t tab = line.find('\t', c);
                cells.push_back(line.substr(c, tab == std::string_view::npos ? std::string_view::npos : tab - c));
                if (tab == std::string_view::npos) break;
                c = tab + 1;
            }
            at = end + 1;
        }
        if (rows.empty()) continue;
        const auto fileIndex = static_cast<std::uint32_t>(strings.files.size());
        strings.files.push_back({name, StringFileKind::Excel, -1, {}});
        for (auto& [column, index] : wanted) {
            index = rows[0].size();
            for (std::size_t c = 0; c < rows[0].size(); ++c)
                if (SameAsciiCaseless(platform::FromUtf8(rows[0][c]), platform::FromUtf8(column))) index = c;
            if (index == rows[0].size()) continue;
            for (std::size_t r = 1; r < rows.size(); ++r) {
                if (index >= rows[r].size() || rows[r][index].empty() || rows[r][index] == "Expansion") continue;
                strings.namedKeys.push_back(
                    {fileIndex, static_cast<std::uint32_t>(r + 1), platform::FromUtf8(rows[r][index]), column});
            }
        }
    }
}

}  // namespace vm
