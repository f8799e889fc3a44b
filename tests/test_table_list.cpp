// The table lists' text store against a plain model: random edits of a
// linked key and value list, strings taken from the lists themselves
// included, must leave every text, flag, kept bytes and count as the model
// has them, and the store must give back the room of replaced strings.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

#include "documents/TableList.h"

namespace {

using vm::TStringList;

struct ModelItem {
    std::u16string first;
    std::int32_t second = 0;  // the flag
    std::uint32_t origin = 0;
    std::string stored;  // kept bytes
    ModelItem() = default;
    ModelItem(std::u16string text, std::int32_t flag) : first(std::move(text)), second(flag) {}
};

struct Model {
    std::vector<ModelItem> items;
};

void Grow(Model& a, Model& b, std::size_t count) {
    for (Model* m : {&a, &b})
        if (m->items.size() < count) m->items.resize(count);
}

// Setting a text keeps the kept bytes only when the text stays the same.
void SetText(Model& m, std::size_t i, const std::u16string& text) {
    if (m.items[i].first != text) m.items[i].stored.clear();
    m.items[i].first = text;
}

std::u16string RandomText(std::mt19937& rng) {
    static const char16_t alphabet[] = u"ab\\ncÿ Ж中\t";
    std::size_t length = rng() % 16 == 0 ? rng() % 3000 : rng() % 40;
    std::u16string s;
    for (std::size_t i = 0; i < length; ++i) s.push_back(alphabet[rng() % (std::size(alphabet) - 1)]);
    return s;
}

void ExpectSame(const TStringList& list, const Model& model, int step) {
    ASSERT_EQ(list.Count(), model.items.size()) << "step " << step;
    std::size_t live = 0;
    std::size_t i = 0;
    for (const vm::TableItem& item : list.Items()) {
        ASSERT_EQ(item.text, model.items[i].first) << "step " << step << " entry " << i;
        ASSERT_EQ(item.text.c_str()[item.text.size()], u'\0') << "step " << step << " entry " << i;
        ASSERT_EQ(item.flag, model.items[i].second) << "step " << step << " entry " << i;
        ASSERT_EQ(list.Origin(i), model.items[i].origin) << "step " << step << " entry " << i;
        ASSERT_EQ(list.Stored(i), model.items[i].stored) << "step " << step << " entry " << i;
        if (!item.text.empty()) live += item.text.size() + 1;
        ++i;
    }
    std::size_t kept = 0;
    for (const ModelItem& item : model.items) kept += !item.stored.empty();
    ASSERT_EQ(list.StoredCount(), kept) << "step " << step;
    ASSERT_EQ(list.LiveUnits(), live) << "step " << step;
    // Dead room never outgrows what is in use: compaction runs once it
    // passes both the live units and its threshold.
    ASSERT_LE(list.DeadUnits(), std::max<std::size_t>(live, (1 << 16) - 1)) << "step " << step;
}

TEST(TableListTest, RandomEditsMatchAPlainModel) {
    std::mt19937 rng(7);
    vm::TableLists lists;
    Model keys, values;
    for (int step = 0; step < 4000; ++step) {
        const bool onKeys = rng() % 2 == 0;
        TStringList& list = onKeys ? lists.Keys : lists.Values;
        Model& model = onKeys ? keys : values;
        Model& partner = onKeys ? values : keys;
        const std::size_t count = model.items.size();
        const std::size_t i = rng() % (count + 3);
        switch (rng() % 11) {
        case 0:
        case 1:
        case 2: {  // a new text, possibly beyond the end
            const std::u16string text = RandomText(rng);
            list.Set(i, text);
            Grow(model, partner, i + 1);
            SetText(model, i, text);
            break;
        }
        case 3: {  // a text of this very list: whole, a tail, or another entry's
            const std::size_t from = count ? rng() % count : 0;
            const std::u16string_view source = list.Get(from);
            const std::size_t cut = source.empty() ? 0 : rng() % (source.size() + 1);
            const std::u16string expected(source.substr(cut));
            list.Set(i, source.substr(cut));
            Grow(model, partner, i + 1);
            SetText(model, i, expected);
            break;
        }
        case 4: {
            const std::int32_t flag = static_cast<std::int32_t>(rng() % 4);
            Grow(model, partner, i + 1);
            if (rng() % 2) {
                list.SetFlag(i, flag);
                model.items[i].second = flag;
            } else {  // origins travel with their entries as flags do
                list.SetOrigin(i, static_cast<std::uint32_t>(step));
                model.items[i].origin = static_cast<std::uint32_t>(step);
            }
            break;
        }
        case 5: {  // both lists, as the readers' sinks do
            const std::u16string key = RandomText(rng), value = RandomText(rng);
            Grow(keys, values, std::max(keys.items.size(), values.items.size()));
            lists.Keys.EnsureCount(keys.items.size());
            if (rng() % 2) lists.Append(key, value);
            else lists.Append(key.c_str(), value.c_str());  // the readers' sinks give pointers
            keys.items.emplace_back(key, 0);
            values.items.emplace_back(value, 0);
            break;
        }
        case 6: {
            const std::size_t at = rng() % (count + 1), n = rng() % 4;
            list.InsertEmpty(at, n);
            model.items.insert(model.items.begin() + static_cast<std::ptrdiff_t>(at), n, {});
            break;
        }
        case 7: {
            const std::size_t at = rng() % (count + 1), n = rng() % 5;
            list.Erase(at, n);
            if (at < count)
                model.items.erase(model.items.begin() + static_cast<std::ptrdiff_t>(at),
                                  model.items.begin() + static_cast<std::ptrdiff_t>(std::min(count, at + n)));
            break;
        }
        case 8:
            if (count > 1) {
                const std::size_t from = rng() % count, to = rng() % count;
                list.Move(from, to);
                auto item = model.items[from];
                model.items.erase(model.items.begin() + static_cast<std::ptrdiff_t>(from));
                model.items.insert(model.items.begin() + static_cast<std::ptrdiff_t>(to), item);
            }
            break;
        case 9: {  // bytes kept for an entry, or dropped
            const std::string bytes = rng() % 3 ? std::string(1 + rng() % 8, static_cast<char>('a' + rng() % 26)) : "";
            list.SetStored(i, bytes);
            Grow(model, partner, bytes.empty() ? 0 : i + 1);
            if (i < model.items.size()) model.items[i].stored = bytes;
            break;
        }
        default:
            if (rng() % 40 == 0) {
                list.Clear();
                model.items.clear();
            } else if (count > 0 && rng() % 3 == 0) {  // texts cleared and given back, as clear and undo do
                const std::size_t at = rng() % count, n = 1 + rng() % std::min<std::size_t>(4, count - at);
                vm::EntryBlock block = list.ClearTexts(at, n);
                std::vector<ModelItem> was(model.items.begin() + static_cast<std::ptrdiff_t>(at),
                                           model.items.begin() + static_cast<std::ptrdiff_t>(at + n));
                for (std::size_t k = at; k < at + n; ++k) {
                    model.items[k].first.clear();
                    model.items[k].stored.clear();
                }
                if (rng() % 2) {
                    ExpectSame(list, model, step);
                    list.Exchange(at, block);
                    std::copy(was.begin(), was.end(), model.items.begin() + static_cast<std::ptrdiff_t>(at));
                }
            } else if (count > 0 && rng() % 2 == 0) {  // one entry traded with a value and back
                const std::size_t at = rng() % count;
                vm::TableEntry entry{RandomText(rng), 1, rng() % 2 ? "kept" : ""};
                const vm::TableEntry given = entry;
                list.Exchange(at, entry);
                ASSERT_EQ(entry.text, model.items[at].first);
                ASSERT_EQ(entry.stored, model.items[at].stored);
                model.items[at].first = given.text;
                model.items[at].second = given.flag;
                model.items[at].stored = given.stored;
            } else if (count > 0) {  // a run taken out whole and put back elsewhere, as undo does
                const std::size_t at = rng() % count, n = 1 + rng() % 4;
                vm::EntryBlock block = list.Take(at, n);
                const auto first = model.items.begin() + static_cast<std::ptrdiff_t>(at);
                const auto last = model.items.begin() + static_cast<std::ptrdiff_t>(std::min(count, at + n));
                std::vector<ModelItem> run(first, last);
                model.items.erase(first, last);
                const std::size_t to = rng() % (model.items.size() + 1);
                list.Put(to, std::move(block));
                model.items.insert(model.items.begin() + static_cast<std::ptrdiff_t>(to), run.begin(), run.end());
            }
            break;
        }
        if (step % 4 == 0 || step == 3999) {
            ExpectSame(lists.Keys, keys, step);
            ExpectSame(lists.Values, values, step);
        }
    }
}

TEST(TableListTest, ReplacedTextsAreReclaimedAndReadingBeyondTheEndChangesNothing) {
    TStringList list;
    const std::u16string long1(5000, u'a'), long2(6000, u'b');
    for (int round = 0; round < 400; ++round) {
        list.Set(0, round % 2 ? long1 : long2);
        list.Set(1, long2);
    }
    EXPECT_EQ(list.Get(0), long1);
    EXPECT_EQ(list.Get(1), long2);
    // 4.4 million units were stored over the rounds; a few times what is
    // in use remain.
    EXPECT_LE(list.LiveUnits() + list.DeadUnits(), std::size_t{1} << 17);

    EXPECT_EQ(list.Get(7), u"");
    EXPECT_EQ(list.Flag(7), 0);
    EXPECT_EQ(list.Count(), 2u);
}

TEST(TableListTest, TextsConvertAndCompareLikeStrings) {
    vm::TableLists lists;
    lists.Append(u"Key", u"Wert \\red;");
    const std::u16string copy = lists.Values.Get(0);
    EXPECT_EQ(copy, u"Wert \\red;");
    EXPECT_TRUE(lists.Keys.Get(0) == std::u16string(u"Key"));
    EXPECT_TRUE(std::u16string(u"Key") == lists.Keys.Get(0));
    EXPECT_FALSE(lists.Keys.Get(0) != u"Key");
    EXPECT_EQ(std::u16string(lists.Keys.Get(5).c_str()), u"");
}

}  // namespace
