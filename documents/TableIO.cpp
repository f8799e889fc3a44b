#include "documents/TableIO.h"

#include <limits>
#include <new>

#include "formats/FormatLimits.h"
#include "formats/TblTextTbl.h"

namespace vm {

namespace {

char16_t AsciiLower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; }

bool HasExtension(std::u16string_view name, std::u16string_view lower) {
    if (name.size() < lower.size()) return false;
    const std::u16string_view ext = name.substr(name.size() - lower.size());
    for (std::size_t i = 0; i < ext.size(); ++i)
        if (AsciiLower(ext[i]) != lower[i]) return false;
    return true;
}

ReadFailure FailureOf(platform::ReadStatus status) {
    return status == platform::ReadStatus::TooLarge ? ReadFailure::TooLarge : ReadFailure::Unreadable;
}

bool LoadJson(const platform::FileImage& image, const FormatOptions& options, TStringList& keys, TStringList& values,
              LoadReport& report) {
    auto doc = std::make_shared<JsonDocument>();
    if (!ParseJsonStrings(std::string(reinterpret_cast<const char*>(image.data.get()), image.size),
                          options.json.language, *doc, &report.json)) {
        report.read.failure = ReadFailure::Corrupt;
        return false;
    }
    const std::size_t count = doc->column.items.size();
    keys.Reserve(count);
    values.Reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        keys.Append(doc->column.Key(i));
        values.Append(doc->column.Value(i));
    }
    report.document = std::move(doc);
    return true;
}

TableEntrySource SourceOf(const TStringList& keys, const TStringList& values) {
    const std::size_t count = keys.Count();
    // The writers pull every entry in order; the strings stay where they
    // are while they run.
    return [&keys, &values, count](std::int32_t i, const char16_t*& key, const char16_t*& value) {
        if (i < 0 || static_cast<std::size_t>(i) >= count) return false;
        key = keys.Get(static_cast<std::size_t>(i)).c_str();
        value = values.Get(static_cast<std::size_t>(i)).c_str();
        return true;
    };
}

bool Fail(SaveReport& report, SaveFailure failure) {
    report.failure = failure;
    return false;
}

bool SaveTbl(const std::u16string& fileName, const TStringList& keys, const TStringList& values,
             const TblOptions& options, bool allowLossy, SaveReport& report) {
    const std::size_t count = keys.Count();
    if (count > 65535) return Fail(report, SaveFailure::TooManyEntries);
    if (options.addToHashSize < 0 || count + static_cast<std::size_t>(options.addToHashSize) > 65536)
        return Fail(report, SaveFailure::TooManyHashSlots);
    std::uint64_t totalChars = 0;
    for (std::size_t i = 0; i < count; ++i) totalChars += keys.Get(i).size() + values.Get(i).size();
    // Entries read from a .tbl with bytes their text would not give back
    // are written with those bytes.
    TblImageBuffer image;
    report.write.allowLossy = allowLossy;
    if (!BuildTblImage(SourceOf(keys, values), static_cast<std::int32_t>(count), totalChars, image, options,
                       StoredBytesOf(keys, values), &report.write))
        return Fail(report, report.write.refusedAsLossy ? SaveFailure::Lossy : SaveFailure::DoesNotFit);
    report.write.bytes = image.size();
    platform::AtomicFileWriter file;
    if (file.Open(fileName) && file.Write(image.data(), image.size()) && file.Commit()) return true;
    report.write.error = file.Error() != platform::WriteError::None ? file.Error() : platform::WriteError::Other;
    return Fail(report, SaveFailure::File);
}

bool SaveText(const std::u16string& fileName, std::int32_t format, const TStringList& keys, const TStringList& values,
              const FormatOptions& options, bool allowLossy, SaveReport& report) {
    TextOptions text = options.text;
    text.layout = format == FormatDiabloText ? TextLayout::DiabloII : TextLayout::Tabbed;
    report.write.allowLossy = allowLossy;
    if (WriteTextTable(fileName, SourceOf(keys, values), static_cast<std::int32_t>(keys.Count()), text, options.limits,
                       &report.write, StoredBytesOf(keys, values)))
        return true;
    return Fail(report, report.write.refusedAsLossy ? SaveFailure::Lossy : SaveFailure::File);
}

bool SaveJson(const std::u16string& fileName, const TStringList& keys, const TStringList& values,
              const FormatOptions& options, const JsonTarget& target, SaveReport& report) {
    const JsonDocument empty = EmptyJsonDocument();
    const JsonDocument* base = target.base ? target.base : &empty;
    const JsonOriginSource noOrigin = [](std::int32_t) { return 0u; };
    JsonWriteRequest request{base, target.loaded, options.json.language, 0, target.owned};

    // New ids, unique across the folder: the ids of the file as written
    // and as the entries were read (an object others removed may come
    // back), and the other string files' ids. The folder is read when the
    // first new object needs an id, so a save that makes none reads no
    // other file.
    TakenIds own;
    own.Add(*base);
    if (target.loaded) own.Add(*target.loaded);
    std::optional<StringFolder> folder;
    TakenIds taken;
    std::optional<NewIdSource> ids;
    request.newId = [&]() -> std::optional<std::int64_t> {
        if (!folder) {
            folder = ReadStringFolder(fileName, options.limits);
            const NewIdStart start = ChooseNewIdStart(*folder, own, options.json.firstId);
            taken.Add(own);
            for (const StringFolder::Sibling& s : folder->siblings) taken.Add(s.ids);
            if (start.start) ids.emplace(taken, *start.start);
            else report.firstIdHolder = start.firstIdHolder;
        }
        return ids ? ids->Next() : std::nullopt;
    };
    const auto finish = [&](bool ok) {
        if (folder) report.idWarnings = folder->warnings;
        return ok;
    };

    std::string bytes;
    if (!BuildJsonColumn(request, SourceOf(keys, values), target.origin ? target.origin : noOrigin,
                         static_cast<std::int32_t>(keys.Count()), bytes, &report.jsonOrigins, &report.json)) {
        if (!report.firstIdHolder.empty()) {
            report.json = JsonError{};
            return finish(Fail(report, SaveFailure::FirstIdTaken));
        }
        return finish(Fail(report, SaveFailure::Json));
    }
    report.write.bytes = bytes.size();
    platform::AtomicFileWriter file;
    if (file.Open(fileName) && file.Write(bytes.data(), bytes.size()) && file.Commit()) {
        report.jsonBytes = std::move(bytes);
        if (ids && ids->Given() > 0) {
            report.newObjects = ids->Given();
            report.highestNewId = ids->Highest();
            AdvanceIdCounter(*folder, ids->Highest());
        }
        return finish(true);
    }
    report.write.error = file.Error() != platform::WriteError::None ? file.Error() : platform::WriteError::Other;
    return finish(Fail(report, SaveFailure::File));
}

}  // namespace

std::int32_t FormatOfFileName(std::u16string_view fileName) {
    if (HasExtension(fileName, u".tbl")) return FormatTbl;
    if (HasExtension(fileName, u".txt")) return FormatTabbedText;
    if (HasExtension(fileName, u".json")) return FormatJson;
    return 0;
}

bool LoadTableFile(const std::u16string& fileName, std::int32_t format, const FormatOptions& options, TStringList& keys,
                   TStringList& values, LoadReport& report) {
    report = LoadReport{};
    // Four zero bytes after the image: the .tbl reader needs one, the text
    // reader a zero UTF-16 unit even after an odd byte.
    platform::FileImage image;
    report.file = fileName.empty() ? platform::ReadStatus::NotFound
                                   : platform::ReadWholeFile(fileName, options.limits.maxFileSize, 4, image);
    if (report.file != platform::ReadStatus::Ok) {
        report.read.failure = FailureOf(report.file);
        return false;
    }
    report.fileBytes = image.size;
    // Running out of memory ends the read like any other failure; the
    // entries appended so far stay.
    try {
        if (format == FormatJson) return LoadJson(image, options, keys, values, report);
        // Room for the file's text in one block per list, so that a large
        // table is read without growing them piece by piece: every unit
        // of a key or value comes from at least one byte of the file.
        keys.Reserve(0, static_cast<std::size_t>(image.size));
        values.Reserve(0, static_cast<std::size_t>(image.size));
        if (format == FormatTbl) {
            if (image.size >= TblHeaderSize) report.tblHeader = ParseTblHeader(image.data.get());
            AppendToLists append(keys, values);
            return ReadTblImage(image.data.get(), image.size, append, options.limits, &report.read);
        }
        const TableEntrySink sink = [&keys, &values](const char16_t* key, const char16_t* value) {
            keys.Append(key);
            values.Append(value);
        };
        if (!ReadTextImage(image.data.get(), image.size, platform::DirectoryOf(fileName), sink, options.text,
                           options.limits, &report.read))
            return false;
        report.textShape = TextShapeOfImage(image.data.get(), image.size, report.read.encoding, options.text);
        return true;
    } catch (const std::bad_alloc&) {
        report.file = platform::ReadStatus::NoMemory;
        report.read.failure = ReadFailure::Unreadable;
        return false;
    }
}

bool SaveTableFile(const std::u16string& fileName, std::int32_t format, const TStringList& keys,
                   const TStringList& values, const FormatOptions& options, bool allowLossy, const JsonTarget& json,
                   SaveReport& report) {
    report = SaveReport{};
    if (fileName.empty()) {
        report.write.error = platform::WriteError::BadName;
        return Fail(report, SaveFailure::File);
    }
    if (keys.Count() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
        return Fail(report, SaveFailure::TooManyEntries);
    if (format != FormatJson && keys.Empty()) return Fail(report, SaveFailure::NoEntries);
    // Running out of memory fails the save like a full disk: the old file
    // stays as it was.
    try {
        if (format == FormatJson) return SaveJson(fileName, keys, values, options, json, report);
        if (format == FormatTbl) return SaveTbl(fileName, keys, values, options.tbl, allowLossy, report);
        return SaveText(fileName, format, keys, values, options, allowLossy, report);
    } catch (const std::bad_alloc&) {
        return Fail(report, SaveFailure::DoesNotFit);
    }
}

TblOptions TblOptionsOfHeader(const TblHeader& header, const TblOptions& fallback) {
    TblOptions options = fallback;
    options.offset8 = header.Offset8;
    if (header.HashSize >= header.NumElements && header.HashSize - header.NumElements <= 255)
        options.addToHashSize = static_cast<int>(header.HashSize - header.NumElements);
    return options;
}

}  // namespace vm
