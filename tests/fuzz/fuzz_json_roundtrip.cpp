// String files of the remastered game: whatever the reader makes of the
// input, and what the writer makes of its columns. Input: two selector
// bytes (the languages of two tables and the edits made), then the file.
//
// A file that reads must come back byte for byte when written unchanged.
// Then table 1 (one language) is edited (values, keys, inserts, deletes,
// moves) and written; the result must read, and each written entry must
// come back exactly where the writer says it put it. Table 2 (another
// language, read from the original file) is edited and written over
// table 1's result the same way: its entries come back where they went,
// and table 1's keys are still there.

#include "formats/JsonStrings.h"
#include "tests/fuzz/FuzzCommon.h"

namespace {

constexpr std::size_t MaxInput = 65536;

struct Table {
    std::vector<std::u16string> keys, values;
    std::vector<std::uint32_t> origins;
};

Table ColumnOf(const vm::JsonDocument& doc) {
    Table t;
    for (std::size_t i = 0; i < doc.column.items.size(); ++i) {
        t.keys.emplace_back(doc.column.Key(i));
        t.values.emplace_back(doc.column.Value(i));
        t.origins.push_back(static_cast<std::uint32_t>(i + 1));
    }
    return t;
}

// Edits chosen by the bits of seed: texts come from other entries, so they
// are display forms the reader itself makes.
void Edit(Table& t, std::uint32_t seed) {
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 8;
    };
    const unsigned edits = next() % 6;
    for (unsigned e = 0; e < edits; ++e) {
        const std::size_t n = t.keys.size();
        const unsigned what = next() % 5;
        const std::size_t i = n ? next() % n : 0, j = n ? next() % n : 0;
        if (what == 0 && n) {
            // In front: after a value ending in a bare colour code
            // ("\color;"), a macro word would read back as that code's
            // character, a text no reader makes.
            t.values[i] = u"\\red;x\\n" + t.values[j];
        } else if (what == 1 && n) {
            t.keys[i] = t.keys[j] + u"k";
        } else if (what == 2) {
            const std::size_t at = n ? i : 0;
            t.keys.insert(t.keys.begin() + static_cast<std::ptrdiff_t>(at), u"new");
            t.values.insert(t.values.begin() + static_cast<std::ptrdiff_t>(at), n ? t.values[j] : u"\u4E2D\uE01D");
            t.origins.insert(t.origins.begin() + static_cast<std::ptrdiff_t>(at), 0);
        } else if (what == 3 && n) {
            t.keys.erase(t.keys.begin() + static_cast<std::ptrdiff_t>(i));
            t.values.erase(t.values.begin() + static_cast<std::ptrdiff_t>(i));
            t.origins.erase(t.origins.begin() + static_cast<std::ptrdiff_t>(i));
        } else if (what == 4 && n) {
            std::swap(t.keys[i], t.keys[j]);
            std::swap(t.values[i], t.values[j]);
            std::swap(t.origins[i], t.origins[j]);
        }
    }
}

std::string Write(const Table& t, const vm::JsonDocument& base, const vm::JsonDocument* loaded, int language,
                  std::vector<std::uint32_t>& origins, const std::vector<bool>* owned = nullptr) {
    const vm::TableEntrySource source = [&t](std::int32_t i, const char16_t*& k, const char16_t*& v) {
        k = t.keys[static_cast<std::size_t>(i)].c_str();
        v = t.values[static_cast<std::size_t>(i)].c_str();
        return true;
    };
    const vm::JsonOriginSource origin = [&t](std::int32_t i) { return t.origins[static_cast<std::size_t>(i)]; };
    std::string out;
    vm::JsonError error;
    if (!vm::BuildJsonColumn({&base, loaded, language, 0, owned}, source, origin,
                             static_cast<std::int32_t>(t.keys.size()), out, &origins, &error)) {
        // Only half a surrogate pair, which the reader never delivers from
        // a file that read, may stop a write.
        std::fprintf(stderr, "%s\n", vm::DescribeJsonError(error).c_str());
        vmfuzz::Fail("write refused", __FILE__, __LINE__);
    }
    return out;
}

// The result reads, and every written entry is where the writer put it.
// With loaded given, a key the table left as it was read may be another
// table's change.
vm::JsonDocument CheckWritten(const std::string& bytes, const Table& t, const std::vector<std::uint32_t>& origins,
                              int language, const vm::JsonDocument* loaded = nullptr) {
    vm::JsonDocument doc;
    vm::JsonError error;
    if (!vm::ParseJsonStrings(bytes, language, doc, &error)) {
        std::fprintf(stderr, "%s\n%.*s\n", vm::DescribeJsonError(error).c_str(), static_cast<int>(bytes.size()),
                     bytes.data());
        vmfuzz::Fail("written file does not read", __FILE__, __LINE__);
    }
    FUZZ_CHECK(origins.size() == t.keys.size());
    for (std::size_t i = 0; i < origins.size(); ++i) {
        if (origins[i] == vm::JsonOriginGone) continue;
        FUZZ_CHECK(origins[i] >= 1 && origins[i] <= doc.column.items.size());
        const std::size_t at = origins[i] - 1;
        const bool keyKept = loaded && t.origins[i] != 0 && t.keys[i] == loaded->column.Key(t.origins[i] - 1);
        const std::u16string key = keyKept ? std::u16string(doc.column.Key(at)) : t.keys[i];
        if (key != doc.column.Key(at) || t.values[i] != doc.column.Value(at))
            std::fprintf(stderr, "table %d, entry %zu of %zu (origin %u), written as object %zu:\n%.*s\n",
                         loaded ? 2 : 1, i, t.keys.size(), t.origins[i], at + 1, static_cast<int>(bytes.size()),
                         bytes.data());
        vmfuzz::CheckSameEntries({{key, t.values[i]}}, {{doc.column.Key(at), doc.column.Value(at)}},
                                 "entry read back where it was written");
    }
    return doc;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2 || size > MaxInput) return 0;
    const int language1 = data[0] % vm::JsonLanguageCount;
    const int language2 = (language1 + 1 + data[1] % (vm::JsonLanguageCount - 1)) % vm::JsonLanguageCount;
    const std::uint32_t seed = static_cast<std::uint32_t>(data[0]) << 8 | data[1];
    const std::string bytes(reinterpret_cast<const char*>(data) + 2, size - 2);

    vm::JsonDocument first, second;
    vm::JsonError error;
    const bool read = vm::ParseJsonStrings(bytes, language1, first, &error);
    if (!read) {
        // A refused file has a place in it and loads nothing.
        FUZZ_CHECK(error.problem != vm::JsonProblem::None && error.line >= 1 && error.column >= 1);
        FUZZ_CHECK(error.offset <= bytes.size());
        FUZZ_CHECK(first.objects.empty() && first.column.items.empty());
        return 0;
    }
    FUZZ_CHECK(vm::ParseJsonStrings(bytes, language2, second));
    FUZZ_CHECK(first.column.items.size() == first.objects.size());

    // Every string of the file decodes on its own, a key as the column
    // reads it (up to a zero character, where a key ends).
    for (std::size_t o = 0; o < first.objects.size(); ++o) {
        const vm::JsonObject& object = first.objects[o];
        std::u16string text;
        FUZZ_CHECK(vm::DecodeJsonString(first.Text(first.Field(object, vm::JsonFieldKey).value), text));
        FUZZ_CHECK(std::u16string_view(text.c_str()) == first.column.Key(o));
        for (std::uint8_t l = 0; l < vm::JsonLanguageCount; ++l)
            if (first.Has(object, l)) FUZZ_CHECK(vm::DecodeJsonString(first.Text(first.Field(object, l).value), text));
    }

    // Unchanged: byte for byte, from either column.
    Table one = ColumnOf(first), two = ColumnOf(second);
    std::vector<std::uint32_t> origins;
    FUZZ_CHECK(Write(one, first, nullptr, language1, origins) == bytes);
    FUZZ_CHECK(Write(two, second, nullptr, language2, origins) == bytes);

    // Table 1 edited and written.
    Edit(one, seed);
    std::vector<std::uint32_t> written;
    const std::string afterOne = Write(one, first, nullptr, language1, written);
    const vm::JsonDocument readOne = CheckWritten(afterOne, one, written, language1);
    // Written again from what it wrote, it is the same file.
    Table again = one;
    again.origins = written;
    FUZZ_CHECK(Write(again, readOne, nullptr, language1, origins) == afterOne);

    // Table 2 edited and written over table 1's file: its own entries come
    // back where they went, and the objects table 1 added stay.
    Edit(two, seed * 7 + 1);
    const std::string afterTwo = Write(two, readOne, &second, language2, origins);
    const vm::JsonDocument readTwo = CheckWritten(afterTwo, two, origins, language2, &second);
    // Written again from what it wrote, with only its own objects as its
    // own, it is the same file.
    // Its column as it has it, so that table 1's keys stay table 1's.
    std::vector<bool> owned(readTwo.objects.size(), false);
    vm::JsonDocument asTwoHasIt = readTwo;
    for (std::size_t i = 0; i < origins.size(); ++i) {
        if (origins[i] == 0 || origins[i] == vm::JsonOriginGone) continue;
        owned[origins[i] - 1] = true;
        asTwoHasIt.column.Set(origins[i] - 1, two.keys[i], two.values[i]);
    }
    Table twoAgain = two;
    twoAgain.origins = origins;
    std::vector<std::uint32_t> unused;
    FUZZ_CHECK(Write(twoAgain, readTwo, &asTwoHasIt, language2, unused, &owned) == afterTwo);
    for (std::size_t i = 0; i < one.origins.size(); ++i) {
        if (one.origins[i] != 0) continue;
        const std::int64_t id = readOne.objects[written[i] - 1].id;
        bool found = false;
        for (const vm::JsonObject& o : readTwo.objects) found = found || o.id == id;
        FUZZ_CHECK(found);
    }
    return 0;
}
