// The program under test as seen from outside: its windows, control ids and texts, and
// the steps a user takes with it (open through the open-file dialog, double-click a
// name, answer a message box, exit).
#pragma once

#include <string>
#include <vector>

#include "support.h"

namespace e2e {

namespace ui {
constexpr int kList = 1000;
constexpr int kLabel = 1001;
constexpr int kOpen = 1002;
constexpr int kSave = 1003;
constexpr int kExit = IDOK;
constexpr int kOldName = 1004;
constexpr int kNewName = 1005;
constexpr int kFileNameField = 0x47C;  // the open-file dialog's file-name box
constexpr const char* kMainCaption = "Palvane 2";
constexpr const char* kRenameCaption = "Edit material";
constexpr const char* kOpenCaption = "Open";
constexpr const char* kAppName = "Palvane2";  // message-box caption for Palvane2.exe
}  // namespace ui

// Deadlines for one step: generous, since a loaded machine, or one that runs 32-bit
// programs through an emulator, can take many seconds to show a window. A passing step
// waits only as long as it needs.
constexpr int kStartMs = 300000;  // a 32-bit process under an emulator takes minutes on a busy machine
constexpr int kWindowMs = 300000;  // the first open-file dialog of an emulated process is slow
constexpr int kExitMs = 300000;
constexpr int kSettleMs = 10000;  // for a state that follows at once from the last step

class Program {
public:
    // Starts exe in workDir and waits for its main dialog. appName is the caption its
    // message boxes must carry.
    Program(const std::string& exe, const std::string& workDir, std::string appName = ui::kAppName);

    DWORD Pid() const { return process_.Id(); }
    Process& process() { return process_; }
    HWND Main() const { return main_; }
    HWND Item(int id) const;

    std::vector<std::string> Entries() const { return ListEntries(Item(ui::kList)); }
    std::string Label() const { return TextOf(Item(ui::kLabel)); }

    // Clicks "Open File" and waits for the open-file dialog.
    HWND ShowOpenDialog();
    // Types path into the open-file dialog's file-name field.
    void EnterFileName(HWND openDialog, const std::string& path);
    // That, then posts OK and waits for the dialog to close.
    void Choose(HWND openDialog, const std::string& path);
    // Both, then waits for the state of a loaded file: the list shows exactly expect, the
    // label shows label and "Save File" is enabled.
    void OpenExpecting(const std::string& path, const std::vector<std::string>& expect, const std::string& label);
    // Both, when a message box is the expected outcome.
    void OpenOnly(const std::string& path);

    // Waits for a message box of the program (a dialog other than the main, rename and
    // open-file ones), checks its caption, text, icon and owner, and dismisses it; with a
    // screenshot path, first saves a picture of the box over the main dialog there (BMP).
    void ExpectMessage(const std::string& text, Icon icon, HWND owner = nullptr, const std::string& screenshot = "");
    // Clicks "Save File" (which must be enabled) and expects the outcome's message.
    void SaveExpecting(const std::string& text, Icon icon, const std::string& screenshot = "");

    // Double-clicks entry index and waits for the "Edit material" dialog.
    HWND OpenRename(int index);
    // Closes the rename dialog with OK and waits until it is gone.
    void ConfirmRename(HWND rename);
    // The whole rename: double-click, replace the text, OK, then WaitBackInMain.
    void Rename(int index, const std::string& newName);
    // Waits until a dialog the main dialog owns has ended (destroyed, not only hidden)
    // and the main dialog is enabled and active again.
    void WaitBackInMain(HWND closedDialog);

    // Fails unless only the main dialog is open: clicks "Open File" as a barrier (every
    // earlier posted action has then run), checks no other window of the program is up,
    // and cancels the open-file dialog.
    void ExpectNothingElseOpen(const std::string& context);

    // Clicks "Exit" and checks that the process ends with exit code 0.
    void Exit();
    // Waits for the process to end after some other closing action; checks exit code 0.
    void ExpectEnded(const std::string& how);

private:
    Process process_;
    std::string appName_;
    HWND main_ = nullptr;
};

}  // namespace e2e
