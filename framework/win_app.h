// The application object: the program's entry point finds the one CWinApp, sets it up
// and calls InitInstance.
#pragma once

#include "framework/wnd.h"

#include <string>

constexpr UINT ID_HELP = 0xE146;

class CWinApp : public CCmdTarget {
public:
    CWinApp();
    ~CWinApp() override;
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;
    const MessageMap* GetMessageMap() const override { return &messageMap; }
    static const MessageMap messageMap;

    // FALSE ends the program at once; TRUE enters the message loop until WM_QUIT.
    virtual BOOL InitInstance() { return FALSE; }
    int Run();

    // The help command: help for the dialog that holds the focus.
    void OnHelp();

    BOOL Enable3dControlsStatic();

    CWnd* m_pMainWnd = nullptr;
    HINSTANCE m_hInstance = nullptr;
    std::string m_strAppName;  // the executable's file name without its extension
};

CWinApp* AfxGetApp();
const char* AfxGetAppName();
HINSTANCE AfxGetResourceHandle();
void AfxEnableControlContainer();

// The text after the last backslash, or all of it; the scan steps over whole multibyte
// characters, so a trailing byte equal to '\' does not count.
std::string LastPathComponent(const std::string& path);
