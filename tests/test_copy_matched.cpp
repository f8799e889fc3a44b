// Pairing by key with repeat keys, against a plain scan of the rule.

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "documents/CopyMatchedValues.h"
#include "documents/FileCompare.h"

using namespace vm;

namespace {

void Fill(TableLists& t, const std::vector<std::u16string>& keys, const std::vector<std::u16string>& values) {
    t.Clear();
    for (std::size_t i = 0; i < keys.size(); ++i) t.Append(keys[i], i < values.size() ? values[i] : u"");
}

std::vector<std::u16string> Texts(const TStringList& list) {
    std::vector<std::u16string> out;
    for (const auto& item : list.Items()) out.push_back(item.text);
    return out;
}

std::vector<std::int32_t> Flags(const TStringList& list) {
    std::vector<std::int32_t> out;
    for (const auto& item : list.Items()) out.push_back(item.flag);
    return out;
}

// The rule as a straightforward scan from the start of the destination for
// every source entry.
void ReferenceCopy(const TStringList& sk, const TStringList& sv, const TStringList& dk, TStringList& dv) {
    if (sk.Empty() || dk.Empty()) return;
    std::vector<std::u16string> effective(dk.Count());
    for (std::size_t k = 0; k < dk.Count(); ++k)
        effective[k] = k > 0 && IsRepeatKey(dk.Get(k)) ? effective[k - 1] : dk.Get(k);
    std::vector<bool> takenMark(dk.Count(), false);
    std::size_t taken = 0;
    std::u16string current = u"x";
    for (std::size_t j = 0; j < sk.Count(); ++j) {
        if (taken == dk.Count()) break;
        if (!IsRepeatKey(sk.Get(j))) current = sk.Get(j);
        for (std::size_t k = 0; k < dk.Count(); ++k) {
            if (takenMark[k] || effective[k] != current) continue;
            if (dv.Get(k) != sv.Get(j)) {
                dv.Set(k, std::u16string(sv.Get(j)));
                dv.SetFlag(k, 2);
            }
            takenMark[k] = true;
            ++taken;
            break;
        }
    }
}

}  // namespace

TEST(CopyMatchedValues, PairsRepeatedKeysInOrder) {
    TableLists source, dest;
    Fill(source, {u"A", u"X", u"X", u"B"}, {u"1", u"2", u"3", u"4"});
    Fill(dest, {u"A", u"x", u"B", u"A"}, {u"0", u"0", u"0", u"0"});
    EXPECT_EQ(CopyMatchedValues(source.Keys, source.Values, dest.Keys, dest.Values), 4u);
    EXPECT_EQ(Texts(dest.Values), (std::vector<std::u16string>{u"1", u"2", u"4", u"3"}));
    EXPECT_EQ(Flags(dest.Values), (std::vector<std::int32_t>{2, 2, 2, 2}));

    Fill(source, {u"A", u"A"}, {u"first", u"second"});
    Fill(dest, {u"A"}, {u""});
    CopyMatchedValues(source.Keys, source.Values, dest.Keys, dest.Values);
    EXPECT_EQ(dest.Values.Get(0), u"first");
}

TEST(CopyMatchedValues, RepeatKeysAtTheStart) {
    TableLists source, dest;
    // The source's current key starts as lower-case "x".
    Fill(source, {u"X"}, {u"s"});
    Fill(dest, {u"X"}, {u"d"});
    EXPECT_EQ(CopyMatchedValues(source.Keys, source.Values, dest.Keys, dest.Values), 0u);
    EXPECT_EQ(dest.Values.Get(0), u"d");

    Fill(source, {u"x"}, {u"s"});
    Fill(dest, {u"x"}, {u"d"});
    EXPECT_EQ(CopyMatchedValues(source.Keys, source.Values, dest.Keys, dest.Values), 1u);
    EXPECT_EQ(dest.Values.Get(0), u"s");
}

TEST(CopyMatchedValues, EqualValuesKeepTheirFlags) {
    TableLists source, dest;
    Fill(source, {u"A", u"B"}, {u"same", u"new"});
    Fill(dest, {u"A", u"B"}, {u"same", u"old"});
    dest.Values.SetFlag(0, 1);
    EXPECT_EQ(CopyMatchedValues(source.Keys, source.Values, dest.Keys, dest.Values), 1u);
    EXPECT_EQ(Flags(dest.Values), (std::vector<std::int32_t>{1, 2}));
}

TEST(CopyMatchedValues, DestinationKeysAreFixedBeforeWriting) {
    // Keys and values the same list, as when the file's keys are replaced:
    // writing entry 0 must not change the key that the repeat key after it
    // stands for.
    TableLists source, dest;
    Fill(source, {u"a", u"X", u"b"}, {u"q", u"r", u"s"});
    Fill(dest, {u"a", u"X", u"b"}, {});
    CopyMatchedValues(source.Keys, source.Values, dest.Keys, dest.Keys);
    EXPECT_EQ(Texts(dest.Keys), (std::vector<std::u16string>{u"q", u"r", u"s"}));
}

TEST(CopyMatchedValues, GrowsTheDestinationTableWhenPairedBeyondItsEnd) {
    // Destination keys from a longer list than the destination values.
    TableLists other, target, file;
    Fill(other, {u"k0", u"k1", u"k2"}, {u"S0", u"S1", u"S2"});
    Fill(target, {u"t0"}, {u"v0"});
    Fill(file, {u"S2"}, {u"E"});
    CopyMatchedValues(file.Keys, file.Values, other.Values, target.Values);
    EXPECT_EQ(target.Count(), 3u);
    EXPECT_EQ(target.Keys.Count(), 3u);
    EXPECT_EQ(target.Values.Get(2), u"E");
    EXPECT_EQ(target.Values.Flag(2), 2);
    EXPECT_EQ(target.Values.Get(1), u"");
    EXPECT_EQ(target.Values.Flag(1), 0);
}

TEST(CopyMatchedValues, MatchesThePlainScanOnRandomTables) {
    std::mt19937 rng(3);
    const std::u16string keys[] = {u"A", u"B", u"C", u"D", u"X", u"x", u"X", u"x", u""};
    const std::u16string values[] = {u"", u"1", u"2", u"3"};
    for (int round = 0; round < 200; ++round) {
        TableLists source, fast, slow;
        const std::size_t ns = rng() % 40, nd = rng() % 40;
        for (std::size_t i = 0; i < ns; ++i) source.Append(keys[rng() % 9], values[rng() % 4]);
        for (std::size_t i = 0; i < nd; ++i) {
            const std::u16string k = keys[rng() % 9], v = values[rng() % 4];
            fast.Append(k, v);
            slow.Append(k, v);
        }
        CopyMatchedValues(source.Keys, source.Values, fast.Keys, fast.Values);
        ReferenceCopy(source.Keys, source.Values, slow.Keys, slow.Values);
        ASSERT_EQ(Texts(fast.Values), Texts(slow.Values)) << "round " << round;
        ASSERT_EQ(Flags(fast.Values), Flags(slow.Values)) << "round " << round;
    }
}

// A side compared with a file: entries paired by key, repeated keys in
// order, marked added or changed; file entries left over count as removed.
// The marks follow the table when it changes.
TEST(FileCompare, MarksAddedAndChangedEntriesAndCountsTheRemoved) {
    TTblObjects p;
    p.Compared = std::make_shared<FileComparison>();
    FileComparison& c = *p.Compared;
    Fill(c.file, {u"a", u"b", u"b", u"c", u"gone"}, {u"1", u"2", u"3", u"4", u"5"});
    TableLists side;
    Fill(side, {u"b", u"new", u"a", u"b", u"c"}, {u"2", u"6", u"1", u"three", u"4"});
    MarkDifferences(c, side.Keys, side.Values);
    using D = Difference;
    EXPECT_EQ(c.marks, (std::vector<D>{D::None, D::Added, D::None, D::Changed, D::None}));
    EXPECT_EQ(c.added, 1u);
    EXPECT_EQ(c.changed, 1u);
    EXPECT_EQ(c.removed, 1u);

    p.Keys = &side.Keys;
    p.Values = &side.Values;
    EXPECT_EQ(NextDifference(p, -1, 1), 1);
    EXPECT_EQ(NextDifference(p, 1, 1), 3);
    EXPECT_EQ(NextDifference(p, 3, 1), -1);
    EXPECT_EQ(NextDifference(p, 3, -1), 1);
    EXPECT_EQ(NextDifference(p, 1, -1), -1);

    // The second "b" set back to the file's text, the new entry removed.
    side.Values.Set(3, u"3", FlagChanged);
    side.Keys.Set(1, u"gone", FlagChanged);
    side.Values.Set(1, u"5", FlagChanged);
    RemarkDifferences(p);
    EXPECT_EQ(p.Compared->added + p.Compared->changed + p.Compared->removed, 0u);
    EXPECT_EQ(NextDifference(p, -1, 1), -1);
    EXPECT_EQ(DifferenceOf(p, 99), Difference::None);
}
