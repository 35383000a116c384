#include "app/material_app.h"

#include "dialogs/material_dlg.h"

const MessageMapEntry CMaterialApp::messageEntries[] = {
    OnCommand<&CWinApp::OnHelp>(ID_HELP),
};
const MessageMap CMaterialApp::messageMap = MakeMessageMap(&CWinApp::messageMap, CMaterialApp::messageEntries);

CMaterialApp theApp;

BOOL CMaterialApp::InitInstance()
{
    AfxEnableControlContainer();
    Enable3dControlsStatic();

    CMaterialDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();  // Exit, Escape and the close box all end the program the same way
    // The dialog object dies here; the main window pointer must not outlive it.
    m_pMainWnd = nullptr;
    return FALSE;
}
