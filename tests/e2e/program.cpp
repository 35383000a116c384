#include "program.h"

#include <cstdio>

namespace e2e {
namespace {

std::string Hex(DWORD v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08lX", static_cast<unsigned long>(v));
    return buf;
}

}  // namespace

Program::Program(const std::string& exe, const std::string& workDir, std::string appName)
    : appName_(std::move(appName)) {
    // An emulated 32-bit Wine now and then hangs before the program shows anything, so a
    // start that shows no window gets one more try; a program that cannot start fails both.
    for (int attempt = 1;; ++attempt) {
        process_.Start(exe, workDir);
        try {
            main_ = WaitDialog(Pid(), ui::kMainCaption, kStartMs);
            break;
        } catch (const std::exception& e) {
            if (attempt == 2) throw;
            std::fprintf(stderr, "no main dialog on the first start, trying again: %s\n", e.what());
            process_.Terminate();
        }
    }
    for (int id : {ui::kList, ui::kLabel, ui::kOpen, ui::kSave, ui::kExit})
        Expect(Child(main_, id) != nullptr, "the main dialog has no control " + std::to_string(id));
}

HWND Program::Item(int id) const {
    HWND w = Child(main_, id);
    if (!w) Fail("the main dialog has no control " + std::to_string(id));
    return w;
}

HWND Program::ShowOpenDialog() {
    PostClick(Item(ui::kOpen));
    HWND dialog = WaitDialog(Pid(), ui::kOpenCaption, kWindowMs);
    Expect(OwnerOf(dialog) == main_, "the open-file dialog is not owned by the main dialog");
    return dialog;
}

void Program::EnterFileName(HWND openDialog, const std::string& path) {
    auto edits = Descendants(openDialog, ui::kFileNameField, "Edit");
    Expect(!edits.empty(), "the open-file dialog has no file-name field");
    SetText(edits.front(), path);
}

void Program::Choose(HWND openDialog, const std::string& path) {
    EnterFileName(openDialog, path);
    PostCommand(openDialog, IDOK);
    WaitGone(openDialog, "the open-file dialog (given " + Quote(path) + ")", kWindowMs);
}

void Program::OpenOnly(const std::string& path) { Choose(ShowOpenDialog(), path); }

void Program::OpenExpecting(const std::string& path, const std::vector<std::string>& expect,
                            const std::string& label) {
    OpenOnly(path);
    std::vector<std::string> seen;
    std::string seenLabel;
    bool saveEnabled = false, ok = false;
    WaitUntil(
        [&] {
            seen = Entries();
            seenLabel = Label();
            saveEnabled = IsWindowEnabled(Item(ui::kSave)) != FALSE;
            ok = seen == expect && seenLabel == label && saveEnabled;
            return ok || VisibleDialogs(Pid()).size() > 1;  // a message box instead: no use waiting
        },
        kWindowMs);
    if (!ok)
        Fail("after opening " + Quote(path) + " the list shows " + Quote(seen) + " and the label " + Quote(seenLabel) +
             (saveEnabled ? "" : ", \"Save File\" disabled") + "; expected " + Quote(expect) + " and " + Quote(label) +
             "; on screen: " + DescribeWindows(Pid()));
}

void Program::ExpectMessage(const std::string& text, Icon icon, HWND owner, const std::string& screenshot) {
    if (!owner) owner = main_;
    HWND box = nullptr;
    WaitUntil(
        [&] {
            for (HWND w : VisibleDialogs(Pid())) {
                if (w == main_ || w == owner) continue;
                if (GetDlgItem(w, 0xFFFF) && !Descendants(w, -1, "Button").empty()) {
                    box = w;
                    return true;
                }
            }
            return false;
        },
        kWindowMs);
    if (!box)
        Fail("expected the message " + Quote(text) + ", but none appeared; on screen: " + DescribeWindows(Pid()));
    MessageBoxView view = ReadMessageBox(box, icon);
    if (!screenshot.empty()) {
        RECT all, r;
        GetWindowRect(main_, &all);
        GetWindowRect(box, &r);
        UnionRect(&all, &all, &r);
        InflateRect(&all, 12, 12);
        RECT screen{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
        IntersectRect(&all, &all, &screen);
        SaveScreenBmp(all, screenshot);
    }
    std::string problems;
    if (view.text != text) problems += " text " + Quote(view.text) + " instead of " + Quote(text) + ";";
    if (view.caption != appName_)
        problems += " caption " + Quote(view.caption) + " instead of " + Quote(appName_) + ";";
    if (view.icon != icon) problems += std::string(" ") + IconName(view.icon) + " instead of " + IconName(icon) + ";";
    if (view.owner != owner) problems += " not owned by the window it belongs to;";
    PostCommand(box, IDOK);
    WaitGone(box, "the message box " + Quote(view.text), kWindowMs);
    if (!problems.empty()) Fail("message box:" + problems);
}

void Program::SaveExpecting(const std::string& text, Icon icon, const std::string& screenshot) {
    HWND save = Item(ui::kSave);
    Expect(IsWindowEnabled(save), "\"Save File\" is disabled");
    PostClick(save);
    ExpectMessage(text, icon, nullptr, screenshot);
}

HWND Program::OpenRename(int index) {
    HWND list = Item(ui::kList);
    RECT r = ListItemRect(list, index);
    PostMouseClick(list, POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2}, true);
    return WaitDialog(Pid(), ui::kRenameCaption, kWindowMs);
}

void Program::ConfirmRename(HWND rename) {
    HWND ok = Child(rename, IDOK);
    Expect(ok != nullptr, "the rename dialog has no OK button");
    PostClick(ok);
    WaitGone(rename, "the rename dialog", kWindowMs);
}

void Program::Rename(int index, const std::string& newName) {
    HWND rename = OpenRename(index);
    HWND edit = Child(rename, ui::kNewName);
    Expect(edit != nullptr, "the rename dialog has no new-name field");
    SetText(edit, newName);
    ConfirmRename(rename);
    WaitBackInMain(rename);
}

void Program::WaitBackInMain(HWND closedDialog) {
    // A hidden dialog has not ended yet: its modal loop still runs until the window is
    // destroyed, and a system command the main dialog handles while still disabled is
    // dropped for good (a minimise then never happens). So wait until the dialog is gone,
    // the main dialog is enabled and active again, and only then act on it.
    bool gone = false, enabled = false, active = false;
    WaitUntil(
        [&] {
            gone = !IsWindow(closedDialog);
            enabled = IsWindowEnabled(main_) != FALSE;
            active = ActiveIn(main_) == main_;
            return gone && enabled && active;
        },
        kSettleMs);
    if (!gone) Fail("the closed dialog still exists (hidden) " + std::to_string(kSettleMs) + " ms after closing");
    if (!enabled) Fail("the main dialog stays disabled after the dialog it owns closed");
    if (!active) Fail("the main dialog did not become active again after the dialog it owns closed");
}

void Program::ExpectNothingElseOpen(const std::string& context) {
    HWND open = ShowOpenDialog();
    std::vector<HWND> others;
    for (HWND w : Dialogs(Pid()))
        if (w != main_ && w != open) others.push_back(w);
    std::string screen = DescribeWindows(Pid());
    PostCommand(open, IDCANCEL);
    WaitGone(open, "the open-file dialog", kWindowMs);
    Expect(others.empty(), context + ": other windows are open: " + screen);
}

void Program::Exit() {
    // A window closed just now may still exist, hidden, for a moment.
    bool alone = WaitUntil([&] { return Dialogs(Pid()).size() == 1; }, kSettleMs);
    Expect(alone, "before exiting, windows besides the main dialog are open: " + DescribeWindows(Pid()));
    PostClick(Item(ui::kExit));
    ExpectEnded("\"Exit\"");
}

void Program::ExpectEnded(const std::string& how) {
    DWORD code = process_.WaitExit(kExitMs);
    Expect(code == 0, how + " ended the program with exit code " + Hex(code));
}

}  // namespace e2e
