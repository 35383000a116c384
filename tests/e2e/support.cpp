#include "support.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

namespace e2e {
namespace {

// Long enough for a busy program (a list of 100,000 names being filled) to answer, short
// enough that a hung one fails the case instead of the whole run.
constexpr UINT kSendTimeoutMs = 60000;

std::string HexPtr(const void* p) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%p", p);
    return buf;
}

LRESULT Send(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(w, msg, wp, lp, SMTO_NORMAL, kSendTimeoutMs, &result)) {
        char buf[96];
        std::snprintf(buf, sizeof buf, "window %p did not answer message 0x%04X", (void*)w, msg);
        Fail(buf);
    }
    return static_cast<LRESULT>(result);
}

std::string Narrow(const wchar_t* text, int length) {
    if (length <= 0) return {};
    int size = WideCharToMultiByte(CP_ACP, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, length, out.data(), size, nullptr, nullptr);
    return out;
}

struct Finder {
    DWORD pid;
    bool dialogsOnly;
    bool othersThanPid;
    std::vector<HWND> found;
    bool hiddenToo = false;
};

BOOL CALLBACK CollectTopLevel(HWND w, LPARAM param) {
    auto* f = reinterpret_cast<Finder*>(param);
    if (!f->hiddenToo && !IsWindowVisible(w)) return TRUE;
    DWORD pid = ProcessOf(w);
    if (f->othersThanPid ? pid == f->pid : pid != f->pid) return TRUE;
    if (f->dialogsOnly && ClassOf(w) != "#32770") return TRUE;
    f->found.push_back(w);
    return TRUE;
}

struct ChildFinder {
    int id;  // -1: any
    const char* cls;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectChild(HWND w, LPARAM param) {
    auto* f = reinterpret_cast<ChildFinder*>(param);
    if (f->id != -1 && GetDlgCtrlID(w) != f->id) return TRUE;
    if (f->cls && lstrcmpiA(ClassOf(w).c_str(), f->cls) != 0) return TRUE;
    f->found.push_back(w);
    return TRUE;
}

std::vector<HWND> AllChildren(HWND parent, const char* cls) {
    ChildFinder f{-1, cls, {}};
    EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&f));
    return f.found;
}

// A 32-bit top-down DIB in a memory DC; pixels are 0x00RRGGBB.
class Canvas {
public:
    Canvas(int w, int h) : w_(w), h_(h) {
        HDC screen = GetDC(nullptr);
        dc_ = CreateCompatibleDC(screen);
        ReleaseDC(nullptr, screen);
        BITMAPINFO bi{};
        bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        bi.bmiHeader.biWidth = w;
        bi.bmiHeader.biHeight = -h;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        bi.bmiHeader.biCompression = BI_RGB;
        bmp_ = CreateDIBSection(dc_, &bi, DIB_RGB_COLORS, &bits_, nullptr, 0);
        if (!bmp_) Fail("cannot create a bitmap for a screen capture");
        old_ = SelectObject(dc_, bmp_);
    }
    ~Canvas() {
        SelectObject(dc_, old_);
        DeleteObject(bmp_);
        DeleteDC(dc_);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    HDC dc() const { return dc_; }
    std::vector<std::uint32_t> Pixels() const {
        GdiFlush();
        const auto* p = static_cast<const std::uint32_t*>(bits_);
        std::vector<std::uint32_t> out(p, p + static_cast<std::size_t>(w_) * h_);
        for (auto& px : out) px &= 0x00FFFFFF;
        return out;
    }
    void Fill(std::uint32_t rgb) {
        auto* p = static_cast<std::uint32_t*>(bits_);
        GdiFlush();
        for (std::size_t i = 0; i < static_cast<std::size_t>(w_) * h_; ++i) p[i] = rgb;
    }

private:
    int w_, h_;
    HDC dc_ = nullptr;
    HBITMAP bmp_ = nullptr;
    HGDIOBJ old_ = nullptr;
    void* bits_ = nullptr;
};

std::vector<std::uint32_t> CaptureScreen(int x, int y, int w, int h) {
    Canvas canvas(w, h);
    HDC screen = GetDC(nullptr);
    BitBlt(canvas.dc(), 0, 0, w, h, screen, x, y, SRCCOPY | CAPTUREBLT);
    ReleaseDC(nullptr, screen);
    return canvas.Pixels();
}

std::vector<std::uint32_t> RenderIcon(HICON icon, int w, int h, std::uint32_t background) {
    Canvas canvas(w, h);
    canvas.Fill(background);
    DrawIconEx(canvas.dc(), 0, 0, icon, w, h, 0, nullptr, DI_NORMAL);
    return canvas.Pixels();
}

bool Close(std::uint32_t a, std::uint32_t b) {
    for (int shift = 0; shift < 24; shift += 8) {
        int ca = static_cast<int>((a >> shift) & 0xFF), cb = static_cast<int>((b >> shift) & 0xFF);
        if (ca - cb > 24 || cb - ca > 24) return false;
    }
    return true;
}

// Share of the icon's opaque pixels (the same on black and on white) found on screen.
double IconMatch(const std::vector<std::uint32_t>& shot, LPCSTR iconId, int w, int h) {
    HICON icon = LoadIconA(nullptr, iconId);
    if (!icon) return 0.0;
    auto onBlack = RenderIcon(icon, w, h, 0x000000);
    auto onWhite = RenderIcon(icon, w, h, 0xFFFFFF);
    std::size_t opaque = 0, same = 0;
    for (std::size_t i = 0; i < shot.size(); ++i) {
        if (onBlack[i] != onWhite[i]) continue;
        ++opaque;
        if (Close(onBlack[i], shot[i])) ++same;
    }
    return opaque ? static_cast<double>(same) / static_cast<double>(opaque) : 0.0;
}

Icon ClassifyIcon(HWND picture) {
    RECT rc;
    GetClientRect(picture, &rc);
    POINT origin{0, 0};
    ClientToScreen(picture, &origin);
    int w = rc.right - rc.left, h = rc.bottom - rc.top;
    if (w <= 0 || h <= 0) return Icon::None;
    auto shot = CaptureScreen(origin.x, origin.y, w, h);
    struct Candidate {
        Icon icon;
        LPCSTR id;
    };
    const Candidate candidates[] = {
        {Icon::Error, IDI_HAND},
        {Icon::Information, IDI_ASTERISK},
        {Icon::Exclamation, IDI_EXCLAMATION},
        {Icon::Question, IDI_QUESTION},
    };
    Icon best = Icon::None;
    double bestScore = 0.9;  // below this the picture is none of them
    for (const auto& c : candidates) {
        double score = IconMatch(shot, c.id, w, h);
        if (score > bestScore) {
            bestScore = score;
            best = c.icon;
        }
    }
    return best;
}

void WriteBmp24(const std::string& path, const std::vector<std::uint32_t>& px, int w, int h) {
    const int stride = (w * 3 + 3) & ~3;
    std::string data;
    BITMAPFILEHEADER fh{};
    BITMAPINFOHEADER ih{};
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof fh + sizeof ih;
    fh.bfSize = fh.bfOffBits + static_cast<DWORD>(stride) * h;
    ih.biSize = sizeof ih;
    ih.biWidth = w;
    ih.biHeight = h;  // bottom-up
    ih.biPlanes = 1;
    ih.biBitCount = 24;
    ih.biCompression = BI_RGB;
    data.append(reinterpret_cast<const char*>(&fh), sizeof fh);
    data.append(reinterpret_cast<const char*>(&ih), sizeof ih);
    std::string row(static_cast<std::size_t>(stride), '\0');
    for (int y = h - 1; y >= 0; --y) {
        for (int x = 0; x < w; ++x) {
            std::uint32_t p = px[static_cast<std::size_t>(y) * w + x];
            row[static_cast<std::size_t>(x) * 3 + 0] = static_cast<char>(p & 0xFF);
            row[static_cast<std::size_t>(x) * 3 + 1] = static_cast<char>((p >> 8) & 0xFF);
            row[static_cast<std::size_t>(x) * 3 + 2] = static_cast<char>((p >> 16) & 0xFF);
        }
        data += row;
    }
    WriteFileBytes(path, data);
}

HANDLE OpenShared(const std::string& path, DWORD access) {
    return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

void Fail(const std::string& why) { throw CaseFailure(why); }

void Expect(bool ok, const std::string& why) {
    if (!ok) Fail(why);
}

std::string Quote(const std::string& bytes) {
    std::string out = "\"";
    for (unsigned char c : bytes) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        }
    }
    return out + "\"";
}

std::string Quote(const std::vector<std::string>& list) {
    std::string out = "[";
    for (std::size_t i = 0; i < list.size(); ++i) out += (i ? ", " : "") + Quote(list[i]);
    return out + "]";
}

bool WaitUntil(const std::function<bool()>& pred, int timeoutMs, int pollMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (pred()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(pollMs));
    }
}

std::string ClassOf(HWND w) {
    char buf[256] = {};
    GetClassNameA(w, buf, sizeof buf);
    return buf;
}

std::string TextOf(HWND w) {
    if (!IsWindow(w)) Fail("reading the text of a window that is gone");
    std::vector<wchar_t> buf(8192);
    LRESULT n = Send(w, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data()));
    return Narrow(buf.data(), static_cast<int>(n));
}

bool TryTextOf(HWND w, std::string& text) {
    std::vector<wchar_t> buf(8192);
    DWORD_PTR n = 0;
    if (!IsWindow(w) || !SendMessageTimeoutW(w, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data()),
                                             SMTO_NORMAL, 2000, &n))
        return false;
    text = Narrow(buf.data(), static_cast<int>(n));
    return true;
}

void SetText(HWND w, const std::string& bytes) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(w, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(bytes.c_str()), SMTO_NORMAL,
                             kSendTimeoutMs, &result))
        Fail("window did not answer WM_SETTEXT");
}

HWND Child(HWND parent, int id) { return GetDlgItem(parent, id); }

LONG StyleOf(HWND w) { return GetWindowLongA(w, GWL_STYLE); }

HWND OwnerOf(HWND w) { return GetWindow(w, GW_OWNER); }

DWORD ProcessOf(HWND w) {
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    return pid;
}

// What the window's thread has focused and active; zeros when it cannot be asked.
static GUITHREADINFO ThreadInfo(HWND w) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    DWORD thread = GetWindowThreadProcessId(w, nullptr);
    if (!thread || !GetGUIThreadInfo(thread, &info)) return GUITHREADINFO{};
    return info;
}

HWND FocusIn(HWND w) { return ThreadInfo(w).hwndFocus; }

HWND ActiveIn(HWND w) { return ThreadInfo(w).hwndActive; }

std::vector<HWND> Descendants(HWND parent, int id, const char* cls) {
    ChildFinder f{id, cls, {}};
    EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&f));
    return f.found;
}

std::vector<std::string> ListEntries(HWND list) {
    LRESULT count = Send(list, LB_GETCOUNT, 0, 0);
    if (count < 0) Fail("LB_GETCOUNT failed");
    std::vector<std::string> out;
    std::vector<wchar_t> buf;
    for (LRESULT i = 0; i < count; ++i) {
        LRESULT len = Send(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
        if (len < 0) Fail("LB_GETTEXTLEN failed");
        buf.assign(static_cast<std::size_t>(len) + 1024, L'\0');
        LRESULT got = Send(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buf.data()));
        if (got < 0) Fail("LB_GETTEXT failed");
        out.push_back(Narrow(buf.data(), static_cast<int>(got)));
    }
    return out;
}

int ListCount(HWND list) { return static_cast<int>(Send(list, LB_GETCOUNT, 0, 0)); }

int ListSelection(HWND list) { return static_cast<int>(Send(list, LB_GETCURSEL, 0, 0)); }

std::pair<int, int> EditSelection(HWND edit) {
    auto r = static_cast<DWORD>(Send(edit, EM_GETSEL, 0, 0));
    return {LOWORD(r), HIWORD(r)};
}

std::vector<HWND> VisibleDialogs(DWORD pid) {
    Finder f{pid, true, false, {}};
    EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&f));
    return f.found;
}

std::vector<HWND> Dialogs(DWORD pid) {
    Finder f{pid, true, false, {}, true};
    EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&f));
    return f.found;
}

std::vector<HWND> VisibleTopLevels() {
    Finder f{GetCurrentProcessId(), false, true, {}};
    EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&f));
    return f.found;
}

HWND FindDialog(DWORD pid, const std::string& caption) {
    for (HWND w : VisibleDialogs(pid)) {
        std::string text;
        if (TryTextOf(w, text) && text == caption) return w;
    }
    return nullptr;
}

HWND WaitDialog(DWORD pid, const std::string& caption, int timeoutMs) {
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindDialog(pid, caption)) != nullptr; }, timeoutMs);
    if (!found)
        Fail("no window " + Quote(caption) + " appeared within " + std::to_string(timeoutMs) +
             " ms; on screen: " + DescribeWindows(pid));
    return found;
}

void WaitGone(HWND w, const std::string& what, int timeoutMs) {
    if (!WaitUntil([&] { return !IsWindow(w) || !IsWindowVisible(w); }, timeoutMs))
        Fail(what + " still open after " + std::to_string(timeoutMs) + " ms");
}

std::string DescribeWindows(DWORD pid) {
    Finder f{pid, true, false, {}, true};
    EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&f));
    if (f.found.empty()) return "(no visible window)";
    std::string out;
    for (HWND w : f.found) {
        std::string text;
        bool answers = TryTextOf(w, text);
        out += std::string("{") + (IsWindowVisible(w) ? "" : "(hidden) ") +
               (answers ? Quote(text) : std::string("(not answering)"));
        if (answers) {
            for (HWND c : AllChildren(w, "Static")) {
                LONG type = StyleOf(c) & SS_TYPEMASK;
                if (type == SS_ICON || type == SS_BITMAP) continue;  // their "text" is a resource id
                if (TryTextOf(c, text) && !text.empty()) out += " " + Quote(text);
            }
        }
        out += "} ";
    }
    return out;
}

void PostClick(HWND button) {
    if (!PostMessageA(button, BM_CLICK, 0, 0)) Fail("cannot post a click to " + HexPtr(button));
}

void PostCommand(HWND dialog, int id) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void PostKey(HWND target, UINT vk) {
    LPARAM scan = static_cast<LPARAM>(MapVirtualKeyA(vk, MAPVK_VK_TO_VSC)) << 16;
    PostMessageA(target, WM_KEYDOWN, vk, 1 | scan);
    PostMessageA(target, WM_KEYUP, vk, static_cast<LPARAM>(1 | scan | 0xC0000000u));
}

void PostChars(HWND target, const std::string& bytes) {
    for (unsigned char c : bytes) PostMessageA(target, WM_CHAR, c, 1);
}

void PostSysCommand(HWND w, WPARAM command) { PostMessageA(w, WM_SYSCOMMAND, command, 0); }

void PostMouseClick(HWND w, POINT client, bool dbl) {
    LPARAM at = MAKELPARAM(client.x, client.y);
    PostMessageA(w, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageA(w, WM_LBUTTONUP, 0, at);
    if (dbl) {
        PostMessageA(w, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
        PostMessageA(w, WM_LBUTTONUP, 0, at);
    }
}

RECT ListItemRect(HWND list, int index) {
    RECT r{};
    if (Send(list, LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&r)) != LB_ERR &&
        r.bottom > r.top)
        return r;
    // Without a marshalled rectangle, work it out from the row height.
    LRESULT height = Send(list, LB_GETITEMHEIGHT, 0, 0);
    LRESULT top = Send(list, LB_GETTOPINDEX, 0, 0);
    RECT client;
    GetClientRect(list, &client);
    r.left = 0;
    r.right = client.right;
    r.top = static_cast<LONG>((index - top) * height);
    r.bottom = r.top + static_cast<LONG>(height);
    return r;
}

bool Responds(HWND w, int timeoutMs) {
    DWORD_PTR ignored;
    return IsWindow(w) &&
           SendMessageTimeoutW(w, WM_NULL, 0, 0, SMTO_NORMAL, static_cast<UINT>(timeoutMs), &ignored) != 0;
}

const char* IconName(Icon icon) {
    switch (icon) {
        case Icon::None: return "no standard icon";
        case Icon::Error: return "the error icon";
        case Icon::Information: return "the information icon";
        case Icon::Exclamation: return "the exclamation icon";
        case Icon::Question: return "the question icon";
    }
    return "?";
}

MessageBoxView ReadMessageBox(HWND box, Icon expect, int timeoutMs) {
    MessageBoxView view;
    view.hwnd = box;
    view.caption = TextOf(box);
    HWND text = GetDlgItem(box, 0xFFFF);
    if (!text) Fail("window " + Quote(view.caption) + " has no message text (static 0xFFFF)");
    view.text = TextOf(text);
    view.owner = OwnerOf(box);
    HWND picture = nullptr;
    for (HWND c : AllChildren(box, "Static"))
        if ((StyleOf(c) & SS_TYPEMASK) == SS_ICON && IsWindowVisible(c)) picture = c;
    if (picture) {
        WaitUntil([&] { return (view.icon = ClassifyIcon(picture)) == expect; }, timeoutMs, 50);
    }
    return view;
}

void SaveScreenBmp(RECT r, const std::string& path) {
    int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0) Fail("empty screenshot rectangle");
    auto last = CaptureScreen(r.left, r.top, w, h);
    // Wait for the windows to finish painting: two captures in a row agree.
    WaitUntil(
        [&] {
            auto now = CaptureScreen(r.left, r.top, w, h);
            bool settled = now == last;
            last = std::move(now);
            return settled;
        },
        3000, 150);
    WriteBmp24(path, last, w, h);
}

std::string ReadFileBytes(const std::string& path) {
    HANDLE f = OpenShared(path, GENERIC_READ);
    if (f == INVALID_HANDLE_VALUE) Fail("cannot read " + Quote(path));
    std::string out;
    char buf[65536];
    DWORD got = 0;
    while (ReadFile(f, buf, sizeof buf, &got, nullptr) && got > 0) out.append(buf, got);
    CloseHandle(f);
    return out;
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) Fail("cannot create " + Quote(path));
    DWORD put = 0;
    bool ok = WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr) && put == bytes.size();
    CloseHandle(f);
    if (!ok) Fail("cannot write " + Quote(path));
}

std::uint64_t FileSize(const std::string& path) {
    HANDLE f = OpenShared(path, GENERIC_READ);
    if (f == INVALID_HANDLE_VALUE) Fail("cannot open " + Quote(path));
    LARGE_INTEGER size{};
    GetFileSizeEx(f, &size);
    CloseHandle(f);
    return static_cast<std::uint64_t>(size.QuadPart);
}

std::string ReadAt(const std::string& path, std::uint64_t offset, std::size_t size) {
    HANDLE f = OpenShared(path, GENERIC_READ);
    if (f == INVALID_HANDLE_VALUE) Fail("cannot open " + Quote(path));
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    std::string out(size, '\0');
    DWORD got = 0;
    bool ok = SetFilePointerEx(f, at, nullptr, FILE_BEGIN) &&
              ReadFile(f, out.data(), static_cast<DWORD>(size), &got, nullptr);
    CloseHandle(f);
    if (!ok) Fail("cannot read " + Quote(path) + " at " + std::to_string(offset));
    out.resize(got);
    return out;
}

void OverwriteStart(const std::string& path, const std::string& bytes) {
    HANDLE f = OpenShared(path, GENERIC_WRITE);
    if (f == INVALID_HANDLE_VALUE) Fail("cannot open " + Quote(path) + " for writing");
    DWORD put = 0;
    bool ok = WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr) && put == bytes.size();
    CloseHandle(f);
    if (!ok) Fail("cannot write the start of " + Quote(path));
}

bool CanOpenForWriting(const std::string& path) {
    HANDLE f = OpenShared(path, GENERIC_WRITE);
    if (f == INVALID_HANDLE_VALUE) return false;
    CloseHandle(f);
    return true;
}

ExclusiveHold::ExclusiveHold(const std::string& path)
    : file_(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                        FILE_ATTRIBUTE_NORMAL, nullptr)) {
    if (file_ == INVALID_HANDLE_VALUE) Fail("cannot hold " + Quote(path) + " open without sharing");
}

ExclusiveHold::~ExclusiveHold() { CloseHandle(file_); }

namespace {
const char* const kHelpEngineClass = "MS_WINHELP";
}

HelpEngineStandIn::HelpEngineStandIn(bool accept) : accept_(accept) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = Proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = kHelpEngineClass;
    RegisterClassA(&wc);  // fails harmlessly when an earlier stand-in registered it
    window_ = CreateWindowA(kHelpEngineClass, "", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr, wc.hInstance, nullptr);
    if (!window_) Fail("cannot create the stand-in help engine's window");
    SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

HelpEngineStandIn::~HelpEngineStandIn() { DestroyWindow(window_); }

LRESULT CALLBACK HelpEngineStandIn::Proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = reinterpret_cast<HelpEngineStandIn*>(GetWindowLongPtrA(w, GWLP_USERDATA));
    if (msg == WM_COPYDATA && self) {
        const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lp);
        Request r;
        r.tag = data->dwData;
        if (data->lpData && data->cbData) r.bytes.assign(static_cast<const char*>(data->lpData), data->cbData);
        r.from = reinterpret_cast<HWND>(wp);
        self->requests_.push_back(r);
        return self->accept_ ? TRUE : FALSE;
    }
    return DefWindowProcA(w, msg, wp, lp);
}

void HelpEngineStandIn::Pump(int ms) {
    WaitUntil(
        [&] {
            MSG m;
            while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
            return false;
        },
        ms, 10);
}

bool HelpEngineStandIn::WaitRequest(int timeoutMs) {
    return WaitUntil(
        [&] {
            MSG m;
            while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
            return !requests_.empty();
        },
        timeoutMs, 10);
}

Process::~Process() {
    if (Running()) Terminate();
    if (process_) CloseHandle(process_);
}

void Process::Start(const std::string& exe, const std::string& workDir) {
    std::string cmd = "\"" + exe + "\"";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, workDir.c_str(), &si, &pi))
        Fail("cannot start " + Quote(exe) + " (error " + std::to_string(GetLastError()) + ")");
    CloseHandle(pi.hThread);
    if (process_) CloseHandle(process_);
    process_ = pi.hProcess;
    pid_ = pi.dwProcessId;
}

bool Process::Running() const {
    return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

DWORD Process::WaitExit(int timeoutMs) {
    if (WaitForSingleObject(process_, static_cast<DWORD>(timeoutMs)) != WAIT_OBJECT_0) {
        std::string screen = DescribeWindows(pid_);
        Terminate();
        Fail("the program did not end within " + std::to_string(timeoutMs) + " ms; on screen: " + screen);
    }
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    return code;
}

void Process::Terminate() {
    TerminateProcess(process_, 1);
    WaitForSingleObject(process_, 10000);
}

void TerminateById(DWORD pid) {
    HANDLE h = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
    if (!h) return;
    TerminateProcess(h, 1);
    WaitForSingleObject(h, 10000);
    CloseHandle(h);
}

}  // namespace e2e
