// The letters of every language the game ships are drawn as letters: the
// lists and the editors are asked to draw one character at a time, and no
// two different characters may come out the same (a font without the
// character draws the same empty box for all of them) or blank.
//
// Under wine this depends on the prefix: scripts/wine-prefix.sh links the
// list font to a CJK font; a prefix set up without it fails here.

#include "tests/gui/AppTestUtil.h"

#include <map>

#include "editing/Editors.h"

using namespace vm;
using namespace vmtest;

namespace {

// A few letters of each language: English, German, French, Italian,
// Spanish, Polish, Russian, Chinese, Japanese, Korean.
const std::vector<std::u16string> Letters = {
    u"A",      u"g",      u"Q",      u"\u00E4", u"\u00DF", u"\u00DC", u"\u00E9", u"\u00E7", u"\u0153", u"\u00E0",
    u"\u00F2", u"\u00F1", u"\u00BF", u"\u0142", u"\u017C", u"\u0105", u"\u0416", u"\u0449", u"\u042F", u"\u4E2D",
    u"\u6587", u"\u5B57", u"\u4E9A", u"\u3042", u"\u30A2", u"\u8A9E", u"\uD55C", u"\uAD6D", u"\uC5B4"};

// The pixels of a rectangle of what a control draws of its client area.
std::vector<COLORREF> Drawn(HWND control, RECT area) {
    RECT client{};
    GetClientRect(control, &client);
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, client.right, client.bottom);
    HGDIOBJ old = SelectObject(dc, bitmap);
    SendMessage(control, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT | PRF_ERASEBKGND);
    std::vector<COLORREF> pixels;
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x) pixels.push_back(GetPixel(dc, x, y));
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return pixels;
}

bool Blank(const std::vector<COLORREF>& pixels) {
    for (COLORREF p : pixels)
        if (p != pixels.front()) return false;
    return true;
}

// Each letter's picture must be its own.
void ExpectDistinct(const std::map<std::vector<COLORREF>, std::u16string>& seen, const std::vector<COLORREF>& picture,
                    const std::u16string& letter, const char* where) {
    const auto same = seen.find(picture);
    EXPECT_TRUE(same == seen.end()) << where << ": U+" << std::hex << static_cast<unsigned>(letter[0])
                                    << " draws like U+" << static_cast<unsigned>(same->second[0])
                                    << " (no font for it: is the wine prefix set up with its fonts?)";
    EXPECT_FALSE(Blank(picture)) << where << ": U+" << std::hex << static_cast<unsigned>(letter[0]) << " draws nothing";
}

}  // namespace

TEST_F(AppTest, EveryLanguagesLettersAreDrawnInTheListsAndEditors) {
    std::vector<std::pair<std::string, std::string>> rows;
    for (const std::u16string& letter : Letters) rows.push_back({"k", platform::ToUtf8(letter)});
    Start({TextTable("letters.txt", rows)});
    tk::ListView& list = S(0).list;
    ASSERT_EQ(list.RowCount(), static_cast<int>(Letters.size()) + 1);
    const int visible = ListView_GetCountPerPage(list.hwnd);

    std::map<std::vector<COLORREF>, std::u16string> cells;
    for (std::size_t i = 0; i < Letters.size(); ++i) {
        const int row = static_cast<int>(i);
        if (row % visible == 0) {
            list.EnsureVisible(std::min(row + visible - 1, list.RowCount() - 1));
            list.EnsureVisible(row);
        }
        RECT cell{};
        cell.top = 2;  // the Value column
        cell.left = LVIR_LABEL;
        SendMessage(list.hwnd, LVM_GETSUBITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&cell));
        cell.right = cell.left + 24;  // one letter
        const std::vector<COLORREF> picture = Drawn(list.hwnd, cell);
        ExpectDistinct(cells, picture, Letters[i], "list");
        cells.emplace(picture, Letters[i]);
    }

    // The single-byte program's editors show what the code page holds.
    if (SingleByteProgram) return;
    tk::Edit& value = S(0).valueEditor;
    std::map<std::vector<COLORREF>, std::u16string> edits;
    for (const std::u16string& letter : Letters) {
        value.SetTextClean(letter);
        const std::vector<COLORREF> picture = Drawn(value.hwnd, RECT{0, 0, 30, 20});
        ExpectDistinct(edits, picture, letter, "value editor");
        edits.emplace(picture, letter);
    }
}
