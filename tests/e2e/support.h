// Driving another process's Win32 windows from outside: finding its dialogs, reading
// their controls, posting input, reading message boxes (icon included) and the screen.
// Every wait polls against a deadline; a failed expectation throws CaseFailure, which
// the case runner reports as the case's one FAIL line.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace e2e {

class CaseFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

[[noreturn]] void Fail(const std::string& why);
void Expect(bool ok, const std::string& why);

// A byte string shown with C escapes, so that bytes 0x80-0xFF and zeros stay visible.
std::string Quote(const std::string& bytes);
std::string Quote(const std::vector<std::string>& list);

// Polls pred until it returns true or timeoutMs have passed; true if it held.
bool WaitUntil(const std::function<bool()>& pred, int timeoutMs, int pollMs = 15);

// --- Reading windows -------------------------------------------------------------

std::string ClassOf(HWND w);
// The window's text as the ANSI code page's bytes (read as UTF-16, then converted, since
// the A messages do not carry the bytes across processes under every system).
std::string TextOf(HWND w);
// The same for a window that may close meanwhile: false instead of a failure.
bool TryTextOf(HWND w, std::string& text);
// Sets a text through WM_SETTEXT with the given ANSI bytes.
void SetText(HWND w, const std::string& bytes);
HWND Child(HWND parent, int id);  // direct child with that id, or null
LONG StyleOf(HWND w);
HWND OwnerOf(HWND w);
DWORD ProcessOf(HWND w);
// The window that has the keyboard focus in w's thread (null if none).
HWND FocusIn(HWND w);
// The active window of w's thread (null if none).
HWND ActiveIn(HWND w);
// Every descendant of parent with that id and window class.
std::vector<HWND> Descendants(HWND parent, int id, const char* cls);

std::vector<std::string> ListEntries(HWND list);
int ListCount(HWND list);
int ListSelection(HWND list);  // LB_ERR when nothing is selected
// EM_GETSEL as {start, end}.
std::pair<int, int> EditSelection(HWND edit);

// Visible top-level dialogs (#32770) of a process, in z order.
std::vector<HWND> VisibleDialogs(DWORD pid);
// Every top-level dialog of a process, hidden ones too: a modal dialog exists, hidden,
// from its creation until its loop first finds the queue empty.
std::vector<HWND> Dialogs(DWORD pid);
// Visible top-level windows of any process but this one.
std::vector<HWND> VisibleTopLevels();
// First visible dialog of pid whose caption is exactly caption, or null.
HWND FindDialog(DWORD pid, const std::string& caption);
// Waits for such a dialog; fails with a description of what is on screen otherwise.
HWND WaitDialog(DWORD pid, const std::string& caption, int timeoutMs);
void WaitGone(HWND w, const std::string& what, int timeoutMs);
// Every dialog of pid, hidden ones marked: caption and static texts.
std::string DescribeWindows(DWORD pid);

// --- Input -------------------------------------------------------------------------

// Posted, never sent: a click that opens a modal window must not block the driver.
void PostClick(HWND button);
void PostCommand(HWND dialog, int id);
void PostKey(HWND target, UINT vk);
void PostChars(HWND target, const std::string& bytes);
void PostSysCommand(HWND w, WPARAM command);
// Left button down/up at a point of the window's client area; twice with the second
// press a WM_LBUTTONDBLCLK, as the system produces for a double-click.
void PostMouseClick(HWND w, POINT client, bool dbl);
RECT ListItemRect(HWND list, int index);
// True when w answers a sent message within timeoutMs (its thread is not stuck).
bool Responds(HWND w, int timeoutMs);

// --- Message boxes -----------------------------------------------------------------

enum class Icon { None, Error, Information, Exclamation, Question };
const char* IconName(Icon icon);

struct MessageBoxView {
    HWND hwnd = nullptr;
    std::string caption;
    std::string text;
    Icon icon = Icon::None;
    HWND owner = nullptr;
};

// Reads a message box: caption, the text of its static 0xFFFF, and which standard icon
// its picture static shows on screen (polled until it is drawn and settles on expect,
// or the deadline passes, so a box still painting is not misread).
MessageBoxView ReadMessageBox(HWND box, Icon expect, int timeoutMs = 10000);

// --- Screen ------------------------------------------------------------------------

// Writes the screen's rectangle r as a 24-bit BMP once two captures in a row agree.
void SaveScreenBmp(RECT r, const std::string& path);

// --- Files -------------------------------------------------------------------------

std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
std::uint64_t FileSize(const std::string& path);
std::string ReadAt(const std::string& path, std::uint64_t offset, std::size_t size);
// Writes bytes at the start of an existing file, in place (no truncation).
void OverwriteStart(const std::string& path, const std::string& bytes);
bool CanOpenForWriting(const std::string& path);

// Holds a file open with no sharing for as long as it lives.
class ExclusiveHold {
public:
    explicit ExclusiveHold(const std::string& path);
    ~ExclusiveHold();
    ExclusiveHold(const ExclusiveHold&) = delete;
    ExclusiveHold& operator=(const ExclusiveHold&) = delete;

private:
    HANDLE file_;
};

// --- Help ---------------------------------------------------------------------------

// Stands in for the system's help engine: a hidden top-level window of the class that
// WinHelp looks for before starting an engine, recording every request sent to it
// (WM_COPYDATA). It answers accept (non-zero: taken) or refuses.
class HelpEngineStandIn {
public:
    struct Request {
        ULONG_PTR tag = 0;  // COPYDATASTRUCT's dwData
        std::string bytes;  // the data block
        HWND from = nullptr;
    };

    explicit HelpEngineStandIn(bool accept);
    ~HelpEngineStandIn();
    HelpEngineStandIn(const HelpEngineStandIn&) = delete;
    HelpEngineStandIn& operator=(const HelpEngineStandIn&) = delete;

    // Runs this thread's messages (the requests are sent to it) until one has arrived or
    // timeoutMs have passed; true if one has.
    bool WaitRequest(int timeoutMs);
    // Runs this thread's messages for ms, so late requests are recorded too.
    void Pump(int ms);
    const std::vector<Request>& Requests() const { return requests_; }

private:
    static LRESULT CALLBACK Proc(HWND w, UINT msg, WPARAM wp, LPARAM lp);
    HWND window_ = nullptr;
    bool accept_;
    std::vector<Request> requests_;
};

// --- Processes ---------------------------------------------------------------------

// A started program; terminated, if it still runs, when the object goes.
class Process {
public:
    Process() = default;
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    void Start(const std::string& exe, const std::string& workDir);
    DWORD Id() const { return pid_; }
    bool Running() const;
    // Waits for the process to end and returns its exit code; on time-out terminates it
    // and fails.
    DWORD WaitExit(int timeoutMs);
    void Terminate();

private:
    HANDLE process_ = nullptr;
    DWORD pid_ = 0;
};

// Ends a process that this driver did not start (a help engine the program started),
// by its id.
void TerminateById(DWORD pid);

}  // namespace e2e
