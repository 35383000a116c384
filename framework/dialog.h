// Modal dialogs from templates, with data exchange between controls and members.
#pragma once

#include "framework/wnd.h"

#include <cstddef>
#include <string>

class CDialog;

// One run of data exchange. Without exceptions, a failed check marks the exchange as
// failed and every later step of the same run does nothing.
class CDataExchange {
public:
    CDataExchange(CDialog* dialog, bool saveAndValidate) : m_pDlgWnd(dialog), m_bSaveAndValidate(saveAndValidate) {}

    CDialog* const m_pDlgWnd;
    const bool m_bSaveAndValidate;  // true: controls to members, with validation
    bool m_bFailed = false;
};

// Binds a control object to the control with this id.
void DDX_Control(CDataExchange* pDX, int id, CWnd& control);

// Moves the text of an edit control to or from value, at most maxBytes bytes long: when
// filling, the control is limited to maxBytes; when saving, a longer text fails the
// exchange with the standard prompt and leaves value unchanged.
void DDX_Text(CDataExchange* pDX, int id, std::string& value, std::size_t maxBytes);

class CDialog : public CWnd {
public:
    explicit CDialog(UINT templateId, CWnd* pParentWnd = nullptr) : m_nIDTemplate(templateId), m_pParentWnd(pParentWnd) {}
    ~CDialog() override = default;
    const MessageMap* GetMessageMap() const override { return &messageMap; }
    static const MessageMap messageMap;

    // Runs the dialog until it ends; returns the value passed to EndDialog, or -1 when the
    // dialog could not be created.
    INT_PTR DoModal();
    void EndDialog(INT_PTR result) const { ::EndDialog(m_hWnd, result); }
    bool UpdateData(bool saveAndValidate = true);

    UINT GetTemplateId() const { return m_nIDTemplate; }
    // The dialog object behind a window, when the window is one of this framework's dialogs.
    static CDialog* FromHandle(HWND hWnd);

protected:
    virtual void DoDataExchange(CDataExchange* /*pDX*/) {}
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();

private:
    static const MessageMapEntry messageEntries[];

    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    void CentreIfUnplaced() const;

    const UINT m_nIDTemplate;
    CWnd* const m_pParentWnd;
};
