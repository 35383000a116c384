// Renames one material: shows the old name and offers it, selected, for editing.
#pragma once

#include "framework/dialog.h"

#include <string>

class CEditMaterialDlg : public CDialog {
public:
    explicit CEditMaterialDlg(CWnd* pParentWnd = nullptr);
    ~CEditMaterialDlg() override = default;
    const MessageMap* GetMessageMap() const override { return &messageMap; }
    static const MessageMap messageMap;

    CEdit m_editNewMaterial;
    std::string m_strOldMaterial;
    std::string m_strNewMaterial;  // the result, when DoModal returns IDOK

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
};
