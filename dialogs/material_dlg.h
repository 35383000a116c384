// The main window: the open file, its material names, and Open, Save and Exit.
#pragma once

#include "framework/dialog.h"

#include <string>

class CMaterialDlg : public CDialog {
public:
    explicit CMaterialDlg(CWnd* pParentWnd = nullptr);
    ~CMaterialDlg() override = default;
    const MessageMap* GetMessageMap() const override { return &messageMap; }
    static const MessageMap messageMap;

    // Reads the table of the file at path; on success it replaces what the dialog shows.
    void OpenFile(std::string path);

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;

    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnOpenFile();
    void OnSaveFile();
    void OnDblclkMaterials();

private:
    static const MessageMapEntry messageEntries[];

    std::string m_strFilePath;  // the open file's full path; empty until a file is open
    CListBox m_listMaterials;   // between open and save, the only store of the names
    HICON m_hIcon;
};
