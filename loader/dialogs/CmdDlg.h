#pragma once
// The script editor's logic, without widgets: the scripts of this process's working
// copies in the "Scripts" folder, the name and text the editor shows, and the edits
// add, remove, commit and OK. Its view (loader/qt/CmdDlgView.h) copies control
// values in and shows what this model holds.
//
// Scripts are records {name, text}. A script is read whole; on OK only the scripts that
// were added or changed are written, so an untouched script stays byte for byte as it
// was. The editor works on working copies only ("<name>.tmp<pid>"); committing them
// over the ".txt" scripts belongs to the library's unload, which OK asks to be asked.

#include "platform/Dialogs.h"
#include "platform/Windows.h"

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

// "Script_%d": names proposed for a new script.
extern const char* const kScriptNewNameFormat;
// Text of a new script: "sleep 1000" CR LF "restart 1".
extern const char* const kScriptNewText;
// The command reference of the "?" label, lines separated by LF.
extern const char* const kScriptHelpText;
// How long the command reference stays on screen, in milliseconds.
inline constexpr int kScriptHelpDuration = 60000;
// Longest script name, in characters.
inline constexpr int kScriptNameMaxLength = 200;

// Refusals of a name at commit, shown as error boxes (caption "Ошибка").
extern const char* const kScriptNameUnsafeText;    // "Недопустимые символы в имени скрипта"
extern const char* const kScriptNameDuplicateText; // "Скрипт с таким именем уже существует"
extern const char* const kScriptNameEmptyText;     // "Не задано имя скрипта"
// "Не удалось создать папку для скриптов\n", followed by the folder.
extern const char* const kScriptFolderErrorText;

// Where the editor finds its scripts and what it tells when it changed them.
struct TScriptPlace {
    std::filesystem::path Folder; // the "Scripts" folder
    std::string Pid;              // the process id in decimal: working copies end in ".tmp<Pid>"
    platform::HWND Owner = 0;     // window of the refusal boxes
    // Called after OK changed working copies: the library then asks at unload whether
    // to keep the session's changes.
    std::function<void()> MarkSessionChanged;
};

// The names of the scripts of the place's working copies, ordered by name ignoring
// letter case (AnsiLowerCase), then by name. Regular files only.
std::vector<std::string> ListScriptNames(const TScriptPlace& place);

class TScriptDialogModel : public platform::FormModel {
public:
    explicit TScriptDialogModel(TScriptPlace place);

    std::string FormName() const override { return "TScriptDialog"; }
    // The window the refusal boxes belong to (the view's own while it is shown).
    void SetOwner(platform::HWND owner) { place_.Owner = owner; }

    // Creates the folder when it is missing and reads every working copy of this
    // process, whole, from Windows-1251, ordered as ListScriptNames. Raises
    // platform::Exception kScriptFolderErrorText + folder when the folder cannot be made.
    void Load();
    // Makes the script of that name (letter case counts) current, else the first one;
    // none when there is none. Used when the editor opens.
    void SelectByName(const std::string& name);

    int Count() const { return static_cast<int>(entries_.size()); }
    // The list's text of an entry: its committed name.
    const std::string& ItemName(int index) const;
    // The entry the controls show; -1 for none.
    int CurrentIndex() const { return current_; }
    // The committed name of the current entry; empty for none.
    std::string CurrentName() const;

    // The controls: enabled only with a current entry; name and text (lines separated by
    // CR LF) of that entry until they are edited.
    bool ControlsEnabled() const { return current_ >= 0; }
    const std::string& NameText() const { return nameText_; }
    const std::string& ScriptText() const { return scriptText_; }
    // Edits of the controls; they mark the model modified. The name is cut to
    // kScriptNameMaxLength characters. Ignored without a current entry.
    void SetNameText(const std::string& text);
    void SetScriptText(const std::string& text);
    bool Modified() const { return modified_; }

    // Another entry becomes current, after the edits were committed; false (and the
    // current entry stays) when the commit was refused.
    bool Select(int index);
    // Moves the controls' values into the current entry. Refused, with an error box and
    // the entry unchanged, for an empty name (kScriptNameEmptyText), a name SafeFileName
    // would change or with a character Windows-1251 lacks (kScriptNameUnsafeText), and a
    // name another entry has in any letter case (kScriptNameDuplicateText). True when
    // there was nothing to commit.
    bool Commit();
    // Commits pending edits, then adds a script named kScriptNewNameFormat with the
    // smallest number above the count of scripts that no script has (letter case
    // ignored), text kScriptNewText, and makes it current. False when the commit was refused.
    bool Add();
    // Drops the current entry (its edits with it); afterwards none is current.
    void Remove();
    bool RemoveEnabled() const { return current_ >= 0; }

    // The check of the OK button: commits pending edits; false keeps the editor open.
    bool Accept();
    // The work of OK: Accept, then deletes the working copies of removed scripts and the
    // old copies of renamed ones, writes the copies of added and changed scripts (in
    // Windows-1251, through a temporary file), and marks the session changed when any
    // file changed. No ".txt" script is touched. False, with nothing written, when the
    // commit was refused; raises when a file cannot be written.
    bool Save();

private:
    struct Entry {
        std::string Name;
        std::string Text;
        std::string LoadedName; // empty for an added script
        std::string LoadedText;
        bool Added = false;
    };

    void Fill();
    bool Refuse(const char* text) const;
    bool NameTaken(const std::string& name, int except) const;
    std::filesystem::path WorkingCopy(const std::string& name) const;

    TScriptPlace place_;
    std::vector<Entry> entries_;
    std::vector<std::string> removed_; // loaded names of removed scripts
    int current_ = -1;
    std::string nameText_;
    std::string scriptText_;
    bool modified_ = false;
};
