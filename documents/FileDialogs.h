// The open and save dialogs: which file, which format, and the options of
// their child panels. The platform's file dialog is shown through a
// FileDialogShower, which hands the child panel's events to a DialogHook;
// the hooks below hold every rule, so they work and are tested without a
// window.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "documents/TblObjects.h"
#include "documents/Workspace.h"

namespace vm {

// Child panel control ids.
inline constexpr int IdOpenLabelEncoding = 2001;
inline constexpr int IdOpenEncoding = 2002;
inline constexpr int IdOpenLabelTxtOptions = 2003;
inline constexpr int IdOpenLabelLanguage = 2004;
inline constexpr int IdOpenLanguage = 2005;
inline constexpr int IdSaveLabelEncoding = 1001;
inline constexpr int IdSaveEncoding = 1002;
inline constexpr int IdSaveQuote = 1003;
inline constexpr int IdSaveColorApi = 1004;
inline constexpr int IdSaveHeader = 1005;
inline constexpr int IdSaveLabelOffset8 = 1006;
inline constexpr int IdSaveOffset8 = 1007;
inline constexpr int IdSaveLabelAddHash = 1008;
inline constexpr int IdSaveAddHash = 1009;
inline constexpr int IdSaveLabelTblOptions = 1010;
inline constexpr int IdSaveLabelTxtOptions = 1011;
inline constexpr int IdSaveLabelLanguage = 1012;
inline constexpr int IdSaveLanguage = 1013;
inline constexpr int IdSaveLabelJsonOptions = 1014;

// The open dialog's filters: every file it opens (the first, which every
// open dialog starts with: the format follows the chosen name's
// extension), .tbl, text and string files. The save dialog's string file
// filter is its fourth.
inline constexpr int OpenAllFilter = 1;
inline constexpr int OpenTblFilter = 2;
inline constexpr int OpenTextFilter = 3;
inline constexpr int OpenJsonFilter = 4;
inline constexpr int SaveJsonFilter = 4;

// The controls of a dialog's child panel, by id.
class DialogControls {
public:
    virtual ~DialogControls() = default;
    virtual void SetText(int id, const std::u16string& text) = 0;
    // At most maxChars characters of the control's text.
    virtual std::u16string GetText(int id, int maxChars) = 0;
    virtual void AddItem(int id, const std::u16string& text) = 0;  // combo boxes
    virtual void SelectItem(int id, int index) = 0;
    virtual int SelectedItem(int id) = 0;  // -1 for none
    virtual void SetChecked(int id, bool checked) = 0;
    virtual bool IsChecked(int id) = 0;
    virtual void Show(int id, bool shown) = 0;
    virtual void Enable(int id, bool enabled) = 0;
};

// The child panel's events, as the platform's hook procedure receives them.
class DialogHook {
public:
    virtual ~DialogHook() = default;
    virtual void OnCreate(DialogControls& c) = 0;
    // Any notification from the file dialog, with its current filter index.
    virtual void OnNotify(DialogControls& c, int filterIndex) = 0;
    // A command from a child control (id, notification code).
    virtual void OnCommand(DialogControls& c, int id, int code) = 0;
    // After OK and after cancel alike.
    virtual void OnDestroy(DialogControls& c) = 0;
};

// Notification code of a combo box whose selection changed.
inline constexpr int ComboSelectionChanged = 1;

// What one dialog shows, and what it returns.
struct FileDialogRequest {
    bool save = false;
    std::u16string filter;        // "description|pattern|..." pairs
    std::u16string templateName;  // "OPENTEMPLATE" or "SAVETEMPLATE"
    std::u16string initialDir;
    std::u16string fileName;  // in: the name shown; out: the full path chosen
    int filterIndex = 0;      // in and out; kept between dialogs
    std::u16string title;     // empty: the platform's own ("Open", "Save As")
    // Save dialog: a typed name without an extension gets the one of the
    // chosen file type (this one until a type is chosen). Empty: none.
    std::u16string defaultExtension;
};

// Shows the platform's dialog modally over the main window; true when the
// user confirmed a name.
class FileDialogShower {
public:
    virtual ~FileDialogShower() = default;
    virtual bool Show(FileDialogRequest& request, DialogHook& hook) = 0;
};

// The dialogs' state is the workspace's (Workspace::DialogDir,
// DialogFilterIndex, FileDialogs, AfterDialogSave, AfterOpenDialog). Every
// open dialog starts with "All supported files"; the save dialog starts
// with the filter of the last confirmed save dialog (0 before the first:
// the first filter), and a cancelled one leaves it as it was. The save
// dialog of a side showing a string file's column always starts with the
// string file filter.

// The dialog filters.
extern const char16_t* const OpenFilter;
extern const char16_t* const SaveFilter;

// Mode 0 opens a table into p, after the question about p's unsaved
// changes (cancelling it shows no dialog); 1 updates p from a file, 2
// translates p by way of a file and ToolCompare marks how p differs from
// a file, with no question. A string file is read
// in the language chosen in the dialog. The dialog's choices go into the
// workspace's options. title names the task in the dialog's title bar
// (empty: the platform's own); selection is p's selected rows, which
// undoing a tool brings back. Without a FileDialogShower nothing happens.
void OpenDialog(TTblObjects& p, int mode, const std::u16string& title = {}, RowBlock selection = {});
// True when a table was saved. p.FileName becomes the chosen name only then,
// and only then AfterDialogSave runs. For a side showing a string file's
// column the dialog starts with that file's name, extension included. The
// dialog's choices go into the workspace's options, but for a side with
// header options of its own (p.Tbl): the dialog starts from those and the
// save uses the ones chosen, while the options keep theirs.
bool SaveDialog(TTblObjects& p);

// Save: writes p back to the file it was read from or last saved to, in
// that file's format and with its own options (a .tbl file's header, a
// text file's encoding and layout, a string file's column), with no
// dialog. A side with no such file (a new table, a failed read) goes
// through SaveDialog instead. A save that would lose entries asks first,
// as every save does. True when the table was saved.
bool SaveInPlace(TTblObjects& p);

// The hooks, public for tests. The save hook needs the entry count of the
// table being saved to bound the spare hash slots: a .tbl file holds at
// most 65536 hash slots, one per entry plus the spare ones.
// Both dialogs offer the string files' languages. The open dialog's choice
// is the options' language, kept in the settings; the save dialog starts
// from the side's own column (the options' for a table of another format),
// and its choice is the column written. Each hook shows the options it is
// given and takes the panel's choices back into them. The save hook shows
// and takes the .tbl header options from tbl when it is given one (a side
// read from a .tbl file: that file's own, which the settings do not take);
// their spare hash slots may then pass the options' bound up to what tbl
// held, so that confirming the dialog writes the file back as it was.
class OpenDialogHook final : public DialogHook {
public:
    explicit OpenDialogHook(EditorOptions& options) : options_(options) {}
    void OnCreate(DialogControls& c) override;
    void OnNotify(DialogControls& c, int filterIndex) override;
    void OnCommand(DialogControls& c, int id, int code) override;
    void OnDestroy(DialogControls& c) override;

private:
    EditorOptions& options_;
    bool jsonHeading_ = false;  // the panel is headed by the string files' options
};

class SaveDialogHook final : public DialogHook {
public:
    SaveDialogHook(EditorOptions& options, std::size_t entryCount, int language = -1, TblOptions* tbl = nullptr)
        : options_(options), entryCount_(entryCount), language_(language), tbl_(tbl ? *tbl : options.formats.tbl) {}
    void OnCreate(DialogControls& c) override;
    void OnNotify(DialogControls& c, int filterIndex) override;
    void OnCommand(DialogControls& c, int id, int code) override;
    void OnDestroy(DialogControls& c) override;
    // The language chosen, once the panel is gone.
    int Language() const { return language_; }

private:
    EditorOptions& options_;
    std::size_t entryCount_;
    int language_;  // preselected (-1: the options'), then the choice
    TblOptions& tbl_;
};

// The name part of a path: without directory and without extension.
std::u16string NamePart(const std::u16string& path);

}  // namespace vm
