#include "framework/win_app.h"

#include "framework/dialog.h"

#include <vector>

namespace {

CWinApp* g_app = nullptr;

constexpr char kHelpFailed[] = "Failed to launch help.";
constexpr DWORD kHelpContextDialogBase = 0x20000;

std::string ModulePath()
{
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = ::GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length < buffer.size())
            return std::string(buffer.data(), length);
        buffer.resize(buffer.size() * 2);
    }
}

// The position of the last '.' of the last path component, or npos.
std::size_t ExtensionStart(const std::string& path)
{
    std::size_t dot = std::string::npos;
    for (const char* p = path.c_str(); *p; p = ::CharNextA(p)) {
        if (*p == '\\')
            dot = std::string::npos;
        else if (*p == '.')
            dot = static_cast<std::size_t>(p - path.c_str());
    }
    return dot;
}

// F1 inside a dialog's modal loop, without Shift, Ctrl or Alt, becomes the help command
// of the main window.
LRESULT CALLBACK HelpKeyFilter(int code, WPARAM wParam, LPARAM lParam)
{
    const MSG* msg = reinterpret_cast<const MSG*>(lParam);
    if (code == MSGF_DIALOGBOX && msg->message == WM_KEYDOWN && msg->wParam == VK_F1 &&
        ::GetKeyState(VK_SHIFT) >= 0 && ::GetKeyState(VK_CONTROL) >= 0 && ::GetKeyState(VK_MENU) >= 0) {
        const CWinApp* app = AfxGetApp();
        if (app && app->m_pMainWnd && app->m_pMainWnd->m_hWnd) {
            app->m_pMainWnd->SendMessage(WM_COMMAND, ID_HELP);
            return TRUE;
        }
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

// Applications map ID_HELP to OnHelp in their own maps.
const MessageMap CWinApp::messageMap = {nullptr, nullptr, 0};

CWinApp::CWinApp()
{
    g_app = this;
}

CWinApp::~CWinApp()
{
    if (g_app == this)
        g_app = nullptr;
}

int CWinApp::Run()
{
    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}

void CWinApp::OnHelp()
{
    CDialog* dialog = nullptr;
    for (HWND h = ::GetFocus(); h && !dialog; h = ::GetParent(h))
        dialog = CDialog::FromHandle(h);
    if (!dialog || !m_pMainWnd)
        return;

    std::string helpFile = ModulePath();
    const std::size_t dot = ExtensionStart(helpFile);
    if (dot != std::string::npos)
        helpFile.erase(dot);
    helpFile += ".HLP";
    if (!::WinHelpA(m_pMainWnd->m_hWnd, helpFile.c_str(), HELP_CONTEXT,
                    kHelpContextDialogBase + dialog->GetTemplateId()))
        m_pMainWnd->MessageBox(kHelpFailed, MB_ICONEXCLAMATION);
}

// The system draws dialogs and controls in the 3D look itself since Windows 4.0, which
// is all this program runs on, so there is nothing to switch on.
BOOL CWinApp::Enable3dControlsStatic()
{
    return TRUE;
}

// No dialog of this program hosts an ActiveX control, so no container support is set up.
void AfxEnableControlContainer() {}

CWinApp* AfxGetApp()
{
    return g_app;
}

const char* AfxGetAppName()
{
    return g_app ? g_app->m_strAppName.c_str() : "";
}

HINSTANCE AfxGetResourceHandle()
{
    return g_app ? g_app->m_hInstance : ::GetModuleHandleA(nullptr);
}

std::string LastPathComponent(const std::string& path)
{
    std::size_t start = 0;
    for (const char* p = path.c_str(); *p; p = ::CharNextA(p))
        if (*p == '\\')
            start = static_cast<std::size_t>(p - path.c_str()) + 1;
    return path.substr(start);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    CWinApp* app = AfxGetApp();
    if (!app)
        return 1;
    app->m_hInstance = instance;
    std::string name = LastPathComponent(ModulePath());
    const std::size_t dot = ExtensionStart(name);
    app->m_strAppName = dot == std::string::npos ? name : name.substr(0, dot);

    const HHOOK helpHook = ::SetWindowsHookExA(WH_MSGFILTER, HelpKeyFilter, nullptr, ::GetCurrentThreadId());
    const int exitCode = app->InitInstance() ? app->Run() : 0;
    if (helpHook)
        ::UnhookWindowsHookEx(helpHook);
    return exitCode;
}
