// The undo history: random sessions over both tables, undone to the start
// and redone to the end, must pass through exactly the tables and rows seen
// at every change; the saved point, loading and saving; the memory limit.

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>

#include "documents/CrossTableTools.h"
#include "documents/History.h"
#include "documents/ItemOperations.h"
#include "documents/TableFiles.h"
#include "tests/DocumentTestUtil.h"
#include "tests/TestFiles.h"

using namespace vm;
using namespace vmtest;

namespace {

// A table as the test compares it: texts and flags of every entry.
struct Table {
    std::vector<std::u16string> keys, values;
    std::vector<std::int32_t> keyFlags, valueFlags;
    bool operator==(const Table&) const = default;
};

Table Snapshot(const TTblObjects& p) { return {Texts(*p.Keys), Texts(*p.Values), Flags(*p.Keys), Flags(*p.Values)}; }

std::string Describe(const Table& t) {
    std::string out;
    for (std::size_t i = 0; i < t.keys.size(); ++i) {
        out += std::to_string(i) + ":";
        for (char16_t c : t.keys[i]) out += c < 128 ? static_cast<char>(c) : '?';
        out += "/" + std::to_string(t.keyFlags[i]) + "=";
        for (char16_t c : t.values[i]) out += c < 128 ? static_cast<char>(c) : '?';
        out += "/" + std::to_string(t.valueFlags[i]) + " ";
    }
    return out;
}

const std::u16string Pool[] = {u"",
                               u"a",
                               u"b",
                               u"X",
                               u"x",
                               u"10 go",
                               u"25 hi",
                               u"\u041f\u0440\u0438\u0432\u0435\u0442",
                               u"a\\nb",
                               u"\\red;c",
                               u"a long value that does not fit into a short string",
                               u"caf\u00e9 cr\u00e8me br\u00fbl\u00e9e",
                               u"abcdefghij\u4e2d\u6587",
                               u"a long value that does fit",
                               u"abcdefghij",
                               u"xa",
                               u"go"};

class HistoryTest : public DocumentsTest {};

// What the test expects of the two histories: for each side the changes
// that touched it (as numbers into `ops`), the table after each of them and
// how many are in force.
struct Model {
    struct Op {
        unsigned sides = 0;  // bit 0 Table 1, bit 1 Table 2
        int origin = 0;
        std::int32_t rowBefore = -1;
        RowBlock selectionBefore;
    };
    std::vector<Op> ops;
    std::vector<std::size_t> sideOps[2];
    std::vector<Table> tables[2];  // tables[s][k]: after k changes of side s
    std::size_t depth[2] = {0, 0};
    std::ptrdiff_t saved[2] = {0, 0};  // -1: no longer reachable

    std::ptrdiff_t IndexIn(int s, std::size_t op) const {
        const auto& list = sideOps[s];
        const auto at = std::find(list.begin(), list.end(), op);
        return at == list.end() ? -1 : at - list.begin();
    }

    // Side s keeps only its first `keep` changes, and with a change that
    // covered both tables goes whatever the other side did after it.
    void Cut(int s, std::size_t keep) {
        if (keep >= sideOps[s].size()) return;
        const std::vector<std::size_t> gone(sideOps[s].begin() + static_cast<std::ptrdiff_t>(keep), sideOps[s].end());
        sideOps[s].resize(keep);
        tables[s].resize(keep + 1);
        if (saved[s] > static_cast<std::ptrdiff_t>(keep)) saved[s] = -1;
        for (std::size_t op : gone) {
            const std::ptrdiff_t other = IndexIn(1 - s, op);
            if (other >= 0) Cut(1 - s, static_cast<std::size_t>(other));
        }
    }
};

}  // namespace

TEST_F(HistoryTest, RandomSessionsUndoAndRedoThroughEveryTableSeen) {
    TempDir dir;
    for (unsigned seed = 1; seed <= 150; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        // A workspace of its own for each session.
        Workspace session{&view1, &view2};
        Workspace& space = session;
        std::mt19937 rng(seed);
        const auto pick = [&rng](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
        const auto text = [&] { return Pool[pick(std::size(Pool))]; };

        // A file for the update and translate tools, keyed by the same
        // texts the tables hold.
        std::string file = "Key\tValue\n";
        for (int i = 0; i < 6; ++i)
            file += std::string(1, "abXx"[pick(4)]) + "\t" + std::to_string(pick(90) + 10) + " f\n";
        ASSERT_TRUE(dir.Write("tool.txt", file));
        space.ToolFileName = dir.Path(u"tool.txt");

        Model m;
        for (int s = 0; s < 2; ++s) {
            TTblObjects& p = space.sides[s];
            for (int i = pick(8); i > 0; --i) {
                p.Keys->Append(text(), pick(4) == 0 ? FlagMarkBit : FlagPlain);
                p.Values->Append(text(), pick(3) == 0 ? FlagChanged : FlagPlain);
            }
            StartHistory(p);
            m.tables[s].push_back(Snapshot(p));
        }

        const auto check = [&](const char* what) {
            for (int s = 0; s < 2; ++s) {
                const TTblObjects& p = space.sides[s];
                ASSERT_EQ(Snapshot(p), m.tables[s][m.depth[s]])
                    << what << " side " << s + 1 << ": " << Describe(Snapshot(p)) << " expected "
                    << Describe(m.tables[s][m.depth[s]]);
                ASSERT_EQ(UndoSteps(p), m.depth[s]) << what;
                ASSERT_EQ(RedoSteps(p), m.sideOps[s].size() - m.depth[s]) << what;
                ASSERT_EQ(p.Modified, m.saved[s] != static_cast<std::ptrdiff_t>(m.depth[s]))
                    << what << " side " << s + 1;
            }
        };
        const auto rows = [&space] { return RowCountOf(space.sides[0]); };

        // One random change: on one table, or on both as one step.
        const auto change = [&] {
            const int side = pick(2);
            TTblObjects& p = space.sides[side];
            const int r = rows();
            const int first = pick(r + 2) - 1;
            const int last = first + pick(4) - 1;
            // The rows where the command finds them: the current row and
            // the rows it works on selected, or the entry it changes.
            Model::Op op;
            op.origin = side;
            space.CurrentRow = pick(r + 1) - 1;
            const RowPlace rows{space.CurrentRow, {first, std::max(last - first + 1, 0)}};
            const RowPlace atEntry = RowPlace::At(first);
            op.rowBefore = rows.row;
            op.selectionBefore = rows.selection;
            const auto at = [&](const RowPlace& place) {
                op.rowBefore = place.row;
                op.selectionBefore = place.selection;
            };
            const std::size_t before[2] = {UndoSteps(space.sides[0]), UndoSteps(space.sides[1])};
            switch (pick(14)) {
            case 0: InsertEntries(p, first, last); break;
            case 1: ClearEntries(p, first, last); break;
            case 2: DeleteEntries(p, first, last); break;
            case 3:
                at(atEntry);
                MoveEntry(p, first, first + (pick(2) ? 1 : -1));
                break;
            case 4:
                at(atEntry);
                ApplyEditedText(p, *p.Keys, first, text());
                break;
            case 5:
                at(atEntry);
                ApplyEditedText(p, *p.Values, first, text());
                break;
            case 6:
                at(atEntry);
                PasteValue(p, first, text());
                break;
            case 7:
                at(atEntry);
                ToggleMark(p, first);
                break;
            case 8: CopyValues(p, rows.selection); break;
            case 9: CopyTimeDialogs(p, rows.selection); break;
            case 10: UpdateFromFile(p, 2, pick(2) ? ToolUpdate : ToolTranslate, options, rows.selection); break;
            case 11: {
                HistoryStep both(StepKind::Insert, p, rows, last - first + 1);
                InsertEntries(p, first, last);
                InsertEntries(*p.Other, first, last);
                break;
            }
            case 12: {
                HistoryStep both(StepKind::Delete, p, rows, last - first + 1);
                ClearEntries(p, first, last);
                DeleteEntries(*p.Other, first, last);
                break;
            }
            default: {
                HistoryStep both(StepKind::Edit, p, rows);
                ApplyEditedText(p, *p.Values, first, text());
                ApplyEditedText(*p.Other, *p.Other->Keys, first, text());
                break;
            }
            }
            for (int s = 0; s < 2; ++s)
                if (UndoSteps(space.sides[s]) > before[s]) op.sides |= 1u << s;
            if (op.sides == 0) return;
            const std::size_t id = m.ops.size();
            m.ops.push_back(op);
            for (int s = 0; s < 2; ++s) {
                if (!(op.sides & (1u << s))) continue;
                m.Cut(s, m.depth[s]);
            }
            for (int s = 0; s < 2; ++s) {
                if (!(op.sides & (1u << s))) continue;
                m.sideOps[s].push_back(id);
                m.tables[s].push_back(Snapshot(space.sides[s]));
                ++m.depth[s];
            }
        };

        const auto undo = [&](int s) {
            if (m.depth[s] == 0) {
                EXPECT_FALSE(Undo(space.sides[s]));
                return;
            }
            const std::size_t id = m.sideOps[s][m.depth[s] - 1];
            const Model::Op& op = m.ops[id];
            const int rowsBefore = rows();
            const std::optional<RowsToShow> shown = Undo(space.sides[s]);
            ASSERT_TRUE(shown);
            if (op.sides & (2u >> s)) m.depth[1 - s] = static_cast<std::size_t>(m.IndexIn(1 - s, id));
            --m.depth[s];
            // The rows as they stood before the change, within the rows
            // there are now, in the list the command came from.
            const int r = rows();
            EXPECT_EQ(shown->side, op.origin);
            EXPECT_EQ(shown->rowCountChanged, r != rowsBefore);
            EXPECT_EQ(shown->rows.row, std::min(op.rowBefore, r - 1));
            const RowBlock sel = shown->rows.selection;
            if (op.selectionBefore.first >= 0 && op.selectionBefore.first < r && op.selectionBefore.count > 0) {
                EXPECT_EQ(sel.first, op.selectionBefore.first);
                EXPECT_EQ(sel.count, std::min(op.selectionBefore.count, r - op.selectionBefore.first));
            } else {
                EXPECT_EQ(sel.count, 0);
            }
        };
        const auto redo = [&](int s) {
            if (m.depth[s] == m.sideOps[s].size()) {
                EXPECT_FALSE(Redo(space.sides[s]));
                return;
            }
            const std::size_t id = m.sideOps[s][m.depth[s]];
            ASSERT_TRUE(Redo(space.sides[s]));
            if (m.ops[id].sides & (2u >> s)) m.depth[1 - s] = static_cast<std::size_t>(m.IndexIn(1 - s, id)) + 1;
            ++m.depth[s];
        };

        for (int action = 0; action < 60; ++action) {
            const int s = pick(2);
            const int what = pick(20);
            if (what < 10) {
                change();
            } else if (what < 15) {
                undo(s);
            } else if (what < 18) {
                redo(s);
            } else if (what == 18) {
                MarkSaved(space.sides[s]);
                m.saved[s] = static_cast<std::ptrdiff_t>(m.depth[s]);
            } else {
                // A load of the same table: the side's history starts anew;
                // changes that covered both tables stay with the other.
                StartHistory(space.sides[s]);
                for (std::size_t id : m.sideOps[s]) {
                    m.ops[id].sides &= ~(1u << s);
                    m.ops[id].origin = 1 - s;
                }
                m.sideOps[s].clear();
                m.tables[s] = {Snapshot(space.sides[s])};
                m.depth[s] = 0;
                m.saved[s] = 0;
            }
            check("after an action");
            if (HasFatalFailure()) return;
        }

        // Everything undone, from either side at random, then redone.
        while (m.depth[0] + m.depth[1] > 0) {
            const int s = m.depth[0] == 0 ? 1 : m.depth[1] == 0 ? 0 : pick(2);
            undo(s);
            check("undoing to the start");
            if (HasFatalFailure()) return;
        }
        while (m.depth[0] < m.sideOps[0].size() || m.depth[1] < m.sideOps[1].size()) {
            const int s = m.depth[0] == m.sideOps[0].size() ? 1 : m.depth[1] == m.sideOps[1].size() ? 0 : pick(2);
            redo(s);
            check("redoing to the end");
            if (HasFatalFailure()) return;
        }
    }
}

TEST_F(HistoryTest, UndoingBackToTheLoadOrSaveLeavesTheSideUnmodified) {
    TempDir dir;
    ASSERT_TRUE(dir.Write("t1.txt", "Key\tValue\nk0\tzero\nk1\tone\nk2\ttwo\n"));
    T1().FileName = dir.Path(u"t1.txt");
    ASSERT_TRUE(LoadTable(T1(), FormatTabbedText, options));
    ASSERT_TRUE(SaveTableAs(T1(), dir.Path(u"loaded.tbl"), FormatTbl, options));
    const std::string original = dir.Read("loaded.tbl");
    Fill(T2(), {{u"k0", u"null"}, {u"k1", u"eins"}});

    // Select everything and clear it, as the window does (the last row is
    // no entry).
    {
        HistoryStep clear(StepKind::Clear, T1(), {0, {0, 4}}, 3);
        ClearEntries(T1(), 0, 2);
    }
    EXPECT_TRUE(T1().Modified);
    EXPECT_EQ(UndoName(T1()), u"Clear 3 entries");
    {
        HistoryStep both(StepKind::Delete, T1(), RowPlace::At(0), 1);
        DeleteEntries(T1(), 0, 0);
        DeleteEntries(T2(), 0, 0);
    }
    EXPECT_EQ(UndoName(T1()), u"Delete 1 entry");
    EXPECT_EQ(UndoName(T2()), u"Delete 1 entry");

    // Nothing undoes while a step is being recorded.
    {
        HistoryStep open(StepKind::Edit, T2(), RowPlace::At(0));
        EXPECT_FALSE(Undo(T2()));
    }
    // Undo from Table 2 takes back the step in both tables; then the clear,
    // back at the rows it found. Neither undo asks the views for anything.
    view1.calls.clear();
    view2.calls.clear();
    ASSERT_TRUE(Undo(T2()));
    EXPECT_EQ(T2().Count(), 2u);
    EXPECT_FALSE(T2().Modified);
    const std::optional<RowsToShow> shown = Undo(T1());
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->side, 0);
    EXPECT_EQ(shown->rows.row, 0);
    EXPECT_EQ(shown->rows.selection.first, 0);
    EXPECT_EQ(shown->rows.selection.count, 4);
    EXPECT_FALSE(shown->rowCountChanged);
    EXPECT_TRUE(view1.calls.empty() && view2.calls.empty());
    EXPECT_FALSE(T1().Modified);
    EXPECT_FALSE(CanUndo(T1()));
    EXPECT_EQ(RedoName(T1()), u"Clear 3 entries");
    ASSERT_TRUE(SaveTableAs(T1(), dir.Path(u"again.tbl"), FormatTbl, options));
    EXPECT_EQ(dir.Read("again.tbl"), original);

    // A save moves the saved point: redo is now the change, undo goes back.
    ASSERT_TRUE(Redo(T1()));
    ASSERT_TRUE(SaveTableAs(T1(), dir.Path(u"cleared.tbl"), FormatTbl, options));
    EXPECT_FALSE(T1().Modified);
    ASSERT_TRUE(Undo(T1()));
    EXPECT_TRUE(T1().Modified);
    EXPECT_EQ(T1().Values->Get(1), u"one");
    ASSERT_TRUE(Redo(T1()));
    EXPECT_FALSE(T1().Modified);

    // A new change after an undo drops what could be redone, in Table 2
    // too for the step that covered both.
    ASSERT_TRUE(Undo(T1()));
    ApplyEditedText(T1(), *T1().Keys, 0, u"new");
    EXPECT_FALSE(CanRedo(T1()));
    EXPECT_FALSE(CanRedo(T2()));
    EXPECT_TRUE(T1().Modified);

    // Loading starts Table 1's history anew; a step that covered both
    // tables stays Table 2's.
    {
        HistoryStep both(StepKind::Insert, T2(), RowPlace::At(0), 1);
        InsertEntries(T2(), 0, 0);
        InsertEntries(T1(), 0, 0);
    }
    EXPECT_EQ(T2().Count(), 3u);
    T1().FileName = dir.Path(u"t1.txt");
    ASSERT_TRUE(LoadTable(T1(), FormatTabbedText, options));
    EXPECT_FALSE(CanUndo(T1()));
    EXPECT_FALSE(CanRedo(T1()));
    ASSERT_TRUE(Undo(T2()));
    EXPECT_EQ(T2().Count(), 2u);
    EXPECT_EQ(T1().Count(), 3u);

    // The names follow the language.
    sStepClear = u"%1 Eintr\u00e4ge leeren";
    ClearEntries(T1(), 0, 1);
    EXPECT_EQ(UndoName(T1()), u"2 Eintr\u00e4ge leeren");
}

TEST_F(HistoryTest, MemoryStaysWithinTheEntriesAndTheLimit) {
    // A full table: clearing or deleting every entry costs what those
    // entries held, no copies of them.
    std::size_t entryBytes = 0;
    for (int i = 0; i < 65535; ++i) {
        T1().Keys->Append(u"key" + std::u16string(1, static_cast<char16_t>(u'A' + i % 26)));
        T1().Values->Append(u"a value long enough to live outside the string " +
                            std::u16string(1, static_cast<char16_t>(u'a' + i % 26)));
    }
    // What the table holds for them: each text with its zero unit, and an
    // entry of 16 bytes in each list.
    for (std::size_t i = 0; i < T1().Count(); ++i)
        entryBytes += (T1().Keys->Get(i).size() + T1().Values->Get(i).size() + 2) * sizeof(char16_t) + 32;
    const Table full = Snapshot(T1());
    ClearEntries(T1(), 0, 65534);
    EXPECT_LE(HistoryBytes(space), entryBytes + 4096);
    ASSERT_TRUE(Undo(T1()));
    EXPECT_EQ(Snapshot(T1()), full);
    DeleteEntries(T1(), 0, 65534);
    EXPECT_EQ(T1().Count(), 0u);
    EXPECT_LE(HistoryBytes(space), entryBytes + 4096);
    ASSERT_TRUE(Undo(T1()));
    EXPECT_EQ(Snapshot(T1()), full);
    EXPECT_FALSE(T1().Modified);

    // A load gives back what its side's steps held; the other side keeps
    // its own.
    ResetHistory(space);
    Fill(T1(), {{u"k", u"v"}});
    Fill(T2(), {{u"k", u"v"}});
    for (int i = 0; i < 200; ++i) {
        ApplyEditedText(T1(), *T1().Values, 0, std::u16string(300, static_cast<char16_t>(u'a' + i % 26)));
        ApplyEditedText(T2(), *T2().Values, 0, std::u16string(10 + i % 2, u'b'));
    }
    const std::uint64_t bothSides = HistoryBytes(space);
    StartHistory(T1());
    EXPECT_LT(HistoryBytes(space), bothSides / 4);
    EXPECT_EQ(UndoSteps(T2()), 200u);

    // Past the limit the oldest steps go. Once the step after the loaded
    // state has gone, no undo makes the table unmodified again.
    ResetHistory(space);
    Fill(T1(), {{u"k", u"v"}});
    StartHistory(T1());
    space.options.maxUndoSize = 0;
    TrimHistory(space);
    EXPECT_FALSE(CanUndo(T1()));
    space.options.maxUndoSize = 4096;
    for (int i = 0; i < 100; ++i)
        ApplyEditedText(T1(), *T1().Values, 0, std::u16string(20, static_cast<char16_t>(u'a' + i % 26)));
    EXPECT_LE(HistoryBytes(space), 4096u);
    EXPECT_GT(UndoSteps(T1()), 0u);
    EXPECT_LT(UndoSteps(T1()), 100u);
    while (Undo(T1())) {}
    EXPECT_NE(T1().Values->Get(0), u"v");
    EXPECT_TRUE(T1().Modified);

    // A step larger than the limit is not kept at all.
    space.options.maxUndoSize = 64;
    ClearEntries(T1(), 0, 0);
    EXPECT_FALSE(CanUndo(T1()));
    EXPECT_EQ(T1().Values->Get(0), u"");
    EXPECT_TRUE(T1().Modified);
}

TEST_F(HistoryTest, StepsKeptAtTheLimitGiveBackExactlyWhatTheyKept) {
    // Once the history is full, each edit lets the oldest steps go. Every
    // step still kept must undo and redo to exactly the table it found:
    // texts, flags and kept bytes.
    struct Seen {
        Table table;
        std::vector<std::string> keyBytes, valueBytes;
        bool operator==(const Seen&) const = default;
    };
    const auto seen = [this] {
        Seen s{Snapshot(T1()), {}, {}};
        for (std::size_t i = 0; i < T1().Count(); ++i) {
            s.keyBytes.emplace_back(T1().Keys->Stored(i));
            s.valueBytes.emplace_back(T1().Values->Stored(i));
        }
        return s;
    };
    Fill(T1(), {{u"k0", u"v0"}, {u"k1", u"v1"}, {u"k2", u"v2"}, {u"k3", u"v3"}});
    for (std::size_t i = 0; i < 4; i += 2) T1().Values->SetStored(i, "read\\n");
    StartHistory(T1());
    space.options.maxUndoSize = 16 << 10;

    std::mt19937 rng(15);
    std::vector<Seen> tables{seen()};
    for (int n = 0; n < 600; ++n) {
        const auto row = static_cast<std::int32_t>(rng() % 6);  // rows 4 and 5 grow the table
        TStringList& list = rng() % 3 ? *T1().Values : *T1().Keys;
        std::u16string text = Pool[rng() % std::size(Pool)];
        if (rng() % 8 == 0) text += std::u16string(rng() % 300, u'w');
        if (rng() % 5 == 0) {
            ToggleMark(T1(), row % 4);
        } else if (!ApplyEditedText(T1(), list, row, text)) {
            continue;
        } else if (&list == T1().Values && rng() % 3 == 0) {
            // As if the value had been read so: the next step over it keeps
            // these bytes, and undoing this one takes them away with it.
            T1().Values->SetStored(static_cast<std::size_t>(row), "kept");
        }
        tables.push_back(seen());
        ASSERT_LE(HistoryBytes(space), space.options.maxUndoSize);
    }
    ASSERT_LT(UndoSteps(T1()), tables.size() - 1);  // the limit let the oldest go
    // Undoing may let more of the oldest go (a step grows by the text it
    // takes back); each undo still lands on the table seen before.
    std::size_t undone = 0;
    while (Undo(T1())) {
        ++undone;
        ASSERT_EQ(seen(), tables[tables.size() - 1 - undone]) << "undo " << undone << ": " << Describe(Snapshot(T1()));
    }
    ASSERT_GT(undone, 10u);
    for (std::size_t k = undone; k > 0; --k) {
        ASSERT_TRUE(Redo(T1()));
        ASSERT_EQ(seen(), tables[tables.size() - k]) << "redo " << undone - k + 1;
    }
    EXPECT_FALSE(Redo(T1()));
}
