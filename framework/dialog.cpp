#include "framework/dialog.h"

#include "framework/win_app.h"

namespace {

// The standard prompt of the length check; %1 stands for the limit.
constexpr char kMaxCharsPrompt[] = "Please enter no more than %1 characters.";

std::string FormatMaxCharsPrompt(std::size_t maxBytes)
{
    std::string text = kMaxCharsPrompt;
    const std::size_t at = text.find("%1");
    text.replace(at, 2, std::to_string(maxBytes));
    return text;
}

// Messages whose result a dialog procedure returns itself instead of through DWLP_MSGRESULT.
bool ReturnsResultDirectly(UINT message)
{
    switch (message) {
    case WM_CHARTOITEM:
    case WM_COMPAREITEM:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_QUERYDRAGICON:
    case WM_VKEYTOITEM:
        return true;
    default:
        return false;
    }
}

struct TemplatePlacement {
    DWORD style = 0;
    short x = 0;
    short y = 0;
};

// Reads style and position from either template format (plain or extended).
bool ReadTemplatePlacement(UINT templateId, TemplatePlacement& placement)
{
    const HINSTANCE module = AfxGetResourceHandle();
    const HRSRC resource = ::FindResourceA(module, MAKEINTRESOURCEA(templateId), MAKEINTRESOURCEA(5));
    const HGLOBAL loaded = resource ? ::LoadResource(module, resource) : nullptr;
    const auto* bytes = static_cast<const BYTE*>(loaded ? ::LockResource(loaded) : nullptr);
    if (!bytes)
        return false;
    auto word = [bytes](std::size_t offset) { return static_cast<WORD>(bytes[offset] | bytes[offset + 1] << 8); };
    const bool extended = word(0) == 1 && word(2) == 0xFFFF;
    const std::size_t styleAt = extended ? 12 : 0;
    const std::size_t xAt = extended ? 18 : 10;
    placement.style = static_cast<DWORD>(word(styleAt) | word(styleAt + 2) << 16);
    placement.x = static_cast<short>(word(xAt));
    placement.y = static_cast<short>(word(xAt + 2));
    return true;
}

}  // namespace

void DDX_Control(CDataExchange* pDX, int id, CWnd& control)
{
    if (!pDX->m_bFailed)
        control.m_hWnd = pDX->m_pDlgWnd->GetDlgItem(id);
}

void DDX_Text(CDataExchange* pDX, int id, std::string& value, std::size_t maxBytes)
{
    if (pDX->m_bFailed)
        return;
    CEdit edit;
    edit.m_hWnd = pDX->m_pDlgWnd->GetDlgItem(id);
    if (!pDX->m_bSaveAndValidate) {
        edit.LimitText(static_cast<int>(maxBytes));
        edit.SetWindowText(value);
        return;
    }
    std::string text = edit.GetWindowText();
    if (text.size() > maxBytes) {
        pDX->m_pDlgWnd->MessageBox(FormatMaxCharsPrompt(maxBytes), MB_ICONEXCLAMATION);
        edit.SetFocus();
        edit.SetSel(0, -1);
        pDX->m_bFailed = true;
        return;
    }
    value = std::move(text);
}

const MessageMapEntry CDialog::messageEntries[] = {
    OnCommand<&CDialog::OnOK>(IDOK),
    OnCommand<&CDialog::OnCancel>(IDCANCEL),
};
const MessageMap CDialog::messageMap = MakeMessageMap(nullptr, CDialog::messageEntries);

INT_PTR CDialog::DoModal()
{
    // Without a parent the application's main window owns the dialog, so the dialog
    // manager disables it for the length of the run.
    HWND owner = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
    const CWinApp* app = AfxGetApp();
    if (!m_pParentWnd && app && app->m_pMainWnd != this && app->m_pMainWnd)
        owner = app->m_pMainWnd->m_hWnd;
    const INT_PTR result = ::DialogBoxParamA(AfxGetResourceHandle(), MAKEINTRESOURCEA(m_nIDTemplate), owner,
                                             &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
    m_hWnd = nullptr;
    return result;
}

bool CDialog::UpdateData(bool saveAndValidate)
{
    CDataExchange dx(this, saveAndValidate);
    DoDataExchange(&dx);
    return !dx.m_bFailed;
}

CDialog* CDialog::FromHandle(HWND hWnd)
{
    if (!hWnd || ::GetWindowLongPtrA(hWnd, DWLP_DLGPROC) != reinterpret_cast<LONG_PTR>(&CDialog::DialogProc))
        return nullptr;
    return reinterpret_cast<CDialog*>(::GetWindowLongPtrA(hWnd, DWLP_USER));
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(false);
    return TRUE;
}

void CDialog::OnOK()
{
    if (UpdateData(true))
        EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

// A template placed at 0, 0 with no placement style of its own is centred over its owner,
// or in the work area when it has none, and kept inside the work area.
void CDialog::CentreIfUnplaced() const
{
    TemplatePlacement placement;
    if (!ReadTemplatePlacement(m_nIDTemplate, placement) || placement.x != 0 || placement.y != 0 ||
        (placement.style & (DS_CENTER | DS_CENTERMOUSE | DS_ABSALIGN)) != 0)
        return;

    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    const HWND owner = ::GetWindow(m_hWnd, GW_OWNER);
    const HWND anchor = owner ? owner : m_hWnd;
    if (!::GetMonitorInfoA(::MonitorFromWindow(anchor, MONITOR_DEFAULTTOPRIMARY), &monitor))
        return;
    const RECT work = monitor.rcWork;

    RECT around = work;
    if (owner && ::IsWindowVisible(owner) && !::IsIconic(owner))
        ::GetWindowRect(owner, &around);
    RECT self;
    ::GetWindowRect(m_hWnd, &self);
    const int width = self.right - self.left;
    const int height = self.bottom - self.top;
    int x = around.left + (around.right - around.left - width) / 2;
    int y = around.top + (around.bottom - around.top - height) / 2;
    if (x + width > work.right)
        x = work.right - width;
    if (y + height > work.bottom)
        y = work.bottom - height;
    if (x < work.left)
        x = work.left;
    if (y < work.top)
        y = work.top;
    ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<CDialog*>(lParam);
        ::SetWindowLongPtrA(hWnd, DWLP_USER, lParam);
        self->m_hWnd = hWnd;
        const BOOL focusLeftToManager = self->OnInitDialog();
        self->CentreIfUnplaced();
        return focusLeftToManager;
    }
    // Messages that come before WM_INITDIALOG (the font, for one) have no object yet.
    auto* self = reinterpret_cast<CDialog*>(::GetWindowLongPtrA(hWnd, DWLP_USER));
    if (!self)
        return FALSE;

    LRESULT result = 0;
    bool handled = self->DispatchWithDefault(message, wParam, result);
    // Commands no dialog handles go on to the application, as ID_HELP does.
    CWinApp* app = AfxGetApp();
    if (!handled && message == WM_COMMAND && app)
        handled = app->DispatchMessageMap(message, wParam, result);

    if (message == WM_NCDESTROY && app && app->m_pMainWnd == self) {
        app->m_pMainWnd = nullptr;
        ::PostQuitMessage(0);
    }
    if (!handled)
        return FALSE;
    if (ReturnsResultDirectly(message))
        return static_cast<INT_PTR>(result);
    ::SetWindowLongPtrA(hWnd, DWLP_MSGRESULT, result);
    return TRUE;
}
