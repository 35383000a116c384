#include "framework/wnd.h"

#include "framework/win_app.h"

#include <vector>

std::string GetWindowTextString(HWND hWnd)
{
    const int length = ::GetWindowTextLengthA(hWnd);
    if (length <= 0)
        return std::string();
    std::vector<char> buffer(static_cast<std::size_t>(length) + 1);
    const int copied = ::GetWindowTextA(hWnd, buffer.data(), length + 1);
    return std::string(buffer.data(), static_cast<std::size_t>(copied > 0 ? copied : 0));
}

int CWnd::MessageBox(const std::string& text, UINT icon) const
{
    return ::MessageBoxA(m_hWnd, text.c_str(), AfxGetAppName(), MB_OK | icon);
}

bool CWnd::DispatchWithDefault(UINT message, WPARAM wParam, LRESULT& result)
{
    // Handlers can run modal loops that dispatch to this window again, so the flag is
    // per dispatch, not per window.
    const bool outer = m_bDefault;
    m_bDefault = false;
    const bool handled = DispatchMessageMap(message, wParam, result) && !m_bDefault;
    m_bDefault = outer;
    return handled;
}

std::string CListBox::GetText(int index) const
{
    const LRESULT length = SendMessage(LB_GETTEXTLEN, static_cast<WPARAM>(index));
    if (length == LB_ERR)
        return std::string();
    std::vector<char> buffer(static_cast<std::size_t>(length) + 1);
    const LRESULT copied = SendMessage(LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buffer.data()));
    return std::string(buffer.data(), copied == LB_ERR ? 0 : static_cast<std::size_t>(copied));
}
