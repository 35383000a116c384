// A window object around an HWND, and the thin control wrappers the dialogs bind.
#pragma once

#include "framework/message_map.h"

#include <string>

// The text of any window, as the bytes of the ANSI code page.
std::string GetWindowTextString(HWND hWnd);

class CWnd : public CCmdTarget {
public:
    HWND m_hWnd = nullptr;

    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::SendMessageA(m_hWnd, message, wParam, lParam);
    }
    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
    void SetDlgItemText(int id, const std::string& text) const { ::SetDlgItemTextA(m_hWnd, id, text.c_str()); }
    void SetWindowText(const std::string& text) const { ::SetWindowTextA(m_hWnd, text.c_str()); }
    std::string GetWindowText() const { return GetWindowTextString(m_hWnd); }
    void SetFocus() const { ::SetFocus(m_hWnd); }
    bool IsIconic() const { return ::IsIconic(m_hWnd) != FALSE; }

    // A message box owned by this window: one OK button, the application's name as caption.
    int MessageBox(const std::string& text, UINT icon) const;

protected:
    // Called from a handler: hand the message being handled on to the default processing.
    void Default() { m_bDefault = true; }

    bool DispatchWithDefault(UINT message, WPARAM wParam, LRESULT& result);

private:
    bool m_bDefault = false;
};

class CListBox : public CWnd {
public:
    int GetCount() const { return static_cast<int>(SendMessage(LB_GETCOUNT)); }
    int GetCurSel() const { return static_cast<int>(SendMessage(LB_GETCURSEL)); }
    std::string GetText(int index) const;
    int AddString(const std::string& text) const
    {
        return static_cast<int>(SendMessage(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str())));
    }
    int InsertString(int index, const std::string& text) const
    {
        return static_cast<int>(
            SendMessage(LB_INSERTSTRING, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.c_str())));
    }
    int DeleteString(int index) const { return static_cast<int>(SendMessage(LB_DELETESTRING, static_cast<WPARAM>(index))); }
    void ResetContent() const { SendMessage(LB_RESETCONTENT); }
};

class CEdit : public CWnd {
public:
    void SetSel(int start, int end) const { SendMessage(EM_SETSEL, static_cast<WPARAM>(start), end); }
    void LimitText(int bytes) const { SendMessage(EM_LIMITTEXT, static_cast<WPARAM>(bytes)); }
    void ScrollCaret() const { SendMessage(EM_SCROLLCARET); }
};
