#include "dialogs/material_dlg.h"

#include "dialogs/edit_material_dlg.h"
#include "framework/win_app.h"
#include "nodfile/material_table.h"
#include "resources/resource.h"

#include <commdlg.h>

namespace {

// The structure size without the fields added in Windows 2000, which every version of
// the common dialog accepts: 76 bytes in this 32-bit program.
constexpr DWORD kOpenFileNameSize = offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(LPCSTR);
static_assert(sizeof(void*) != 4 || kOpenFileNameSize == 76);

constexpr char kNodFilter[] = "NOD files (*.nod)\0*.nod\0All Files (*.*)\0*.*\0";

const char* ReadFailureText(TableReadResult result)
{
    switch (result) {
    case TableReadResult::CannotOpen:
        return "Could not open file.";
    case TableReadResult::NotValid:
        return "Not a valid NOD file.";
    case TableReadResult::NoMaterials:
        return "This file does not contain any materials.";
    case TableReadResult::Loaded:
        break;
    }
    return nullptr;
}

}  // namespace

const MessageMapEntry CMaterialDlg::messageEntries[] = {
    OnMessage<&CMaterialDlg::OnPaint>(WM_PAINT),
    OnMessage<&CMaterialDlg::OnQueryDragIcon>(WM_QUERYDRAGICON),
    OnCommand<&CMaterialDlg::OnOpenFile>(IDC_OPENFILE, BN_CLICKED),
    OnCommand<&CMaterialDlg::OnSaveFile>(IDC_SAVEFILE, BN_CLICKED),
    OnCommand<&CMaterialDlg::OnDblclkMaterials>(IDC_MATERIALS, LBN_DBLCLK),
};
const MessageMap CMaterialDlg::messageMap = MakeMessageMap(&CDialog::messageMap, CMaterialDlg::messageEntries);

CMaterialDlg::CMaterialDlg(CWnd* pParentWnd)
    : CDialog(IDD_MATERIAL_DIALOG, pParentWnd),
      m_hIcon(::LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDR_MAINFRAME)))
{
}

void CMaterialDlg::DoDataExchange(CDataExchange* pDX)
{
    DDX_Control(pDX, IDC_MATERIALS, m_listMaterials);
}

BOOL CMaterialDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
    SetDlgItemText(IDC_FILENAME, "");
    m_strFilePath.clear();
    return TRUE;
}

void CMaterialDlg::OnPaint()
{
    if (!IsIconic()) {
        Default();
        return;
    }
    PAINTSTRUCT paint;
    const HDC dc = ::BeginPaint(m_hWnd, &paint);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc));
    const int iconWidth = ::GetSystemMetrics(SM_CXICON);
    const int iconHeight = ::GetSystemMetrics(SM_CYICON);
    RECT client;
    ::GetClientRect(m_hWnd, &client);
    const int x = (client.right - client.left - iconWidth + 1) / 2;
    const int y = (client.bottom - client.top - iconHeight + 1) / 2;
    ::DrawIcon(dc, x, y, m_hIcon);
    ::EndPaint(m_hWnd, &paint);
}

HCURSOR CMaterialDlg::OnQueryDragIcon()
{
    return static_cast<HCURSOR>(m_hIcon);
}

void CMaterialDlg::OnOpenFile()
{
    char path[MAX_PATH] = {};
    OPENFILENAMEA ofn = {};
    ofn.lStructSize = kOpenFileNameSize;
    ofn.hwndOwner = m_hWnd;
    ofn.lpstrFilter = kNodFilter;
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = path;
    ofn.nMaxFile = sizeof path;
    ofn.lpstrDefExt = "nod";
    ofn.Flags = OFN_HIDEREADONLY | OFN_FILEMUSTEXIST | OFN_EXPLORER;
    if (::GetOpenFileNameA(&ofn))
        OpenFile(path);
}

void CMaterialDlg::OpenFile(std::string path)
{
    MaterialTable names;
    const TableReadResult result = ReadMaterialTable(path, names);
    if (result != TableReadResult::Loaded) {
        MessageBox(ReadFailureText(result), MB_ICONERROR);
        return;
    }

    // Filling a long list with redrawing off keeps the cost to the strings themselves.
    m_listMaterials.SendMessage(WM_SETREDRAW, FALSE);
    m_listMaterials.ResetContent();
    for (std::size_t i = 0; i < names.size(); ++i)
        m_listMaterials.AddString(std::string(names[i]));
    m_listMaterials.SendMessage(WM_SETREDRAW, TRUE);
    ::InvalidateRect(m_listMaterials.m_hWnd, nullptr, TRUE);

    SetDlgItemText(IDC_FILENAME, LastPathComponent(path));
    m_strFilePath = std::move(path);
    ::EnableWindow(GetDlgItem(IDC_SAVEFILE), TRUE);
}

void CMaterialDlg::OnSaveFile()
{
    MaterialTable names;
    const int count = m_listMaterials.GetCount();
    for (int i = 0; i < count; ++i)
        names.push_back(m_listMaterials.GetText(i));

    switch (WriteMaterialTable(m_strFilePath, names)) {
    case TableWriteResult::Saved:
        MessageBox("File saved.", MB_ICONINFORMATION);
        break;
    case TableWriteResult::NoMaterials:
        MessageBox("No materials to save.", MB_ICONERROR);
        break;
    case TableWriteResult::CannotOpenForWriting:
        MessageBox("Could not open file for writing (is the file on Read-Only?).", MB_ICONERROR);
        break;
    case TableWriteResult::WriteFailed:
        MessageBox("Could not write file.", MB_ICONERROR);
        break;
    case TableWriteResult::TableChanged:
        // The list stays, so the user can open the file again and redo the renames.
        MessageBox("The file has changed since it was opened. Nothing was saved.", MB_ICONERROR);
        break;
    }
}

void CMaterialDlg::OnDblclkMaterials()
{
    // With no entry selected there is nothing to rename; adding one would change the
    // table's count on the next save.
    const int index = m_listMaterials.GetCurSel();
    if (index == LB_ERR)
        return;
    const std::string name = m_listMaterials.GetText(index);

    CEditMaterialDlg dialog;
    dialog.m_strOldMaterial = name;
    dialog.m_strNewMaterial = name;
    if (dialog.DoModal() != IDOK)
        return;
    m_listMaterials.DeleteString(index);
    m_listMaterials.InsertString(index, dialog.m_strNewMaterial);
}
