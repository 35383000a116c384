#include "dialogs/edit_material_dlg.h"

#include "nodfile/material_table.h"
#include "resources/resource.h"

// No handlers of its own: OK and Cancel are the dialog's standard ones.
const MessageMap CEditMaterialDlg::messageMap = {&CDialog::messageMap, nullptr, 0};

CEditMaterialDlg::CEditMaterialDlg(CWnd* pParentWnd) : CDialog(IDD_EDIT_MATERIAL, pParentWnd) {}

void CEditMaterialDlg::DoDataExchange(CDataExchange* pDX)
{
    DDX_Control(pDX, IDC_NEWMATERIAL, m_editNewMaterial);
    DDX_Text(pDX, IDC_OLDMATERIAL, m_strOldMaterial, kMaterialNameSize);
    DDX_Text(pDX, IDC_NEWMATERIAL, m_strNewMaterial, kMaterialNameSize);
}

BOOL CEditMaterialDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    m_editNewMaterial.SetFocus();
    m_editNewMaterial.SetSel(0, static_cast<int>(m_editNewMaterial.GetWindowText().size()));
    m_editNewMaterial.ScrollCaret();
    return FALSE;  // the focus is set
}

void CEditMaterialDlg::OnOK()
{
    if (UpdateData(true))
        EndDialog(IDOK);
}
