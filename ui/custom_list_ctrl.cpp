#include "ui/custom_list_ctrl.h"

std::span<const MessageMapEntry<CCustomListCtrl>> CCustomListCtrl::MessageMap() {
    using T = CCustomListCtrl;
    static const MessageMapEntry<T> kMessageMap[] = {
        OnMessage<T>(WM_LBUTTONDOWN, &T::OnMouseButton),
        OnMessage<T>(WM_LBUTTONDBLCLK, &T::OnMouseButton),
        OnMessage<T>(WM_RBUTTONDOWN, &T::OnMouseButton),
        OnMessage<T>(WM_KEYDOWN, &T::OnKeyDown),
    };
    return kMessageMap;
}

void CCustomListCtrl::Create(const CWindow& parent, DWORD style, const PixelRect& rect, int id) {
    CListView::Create(parent, style, rect, id);
    InstallFilter(Handle());
}

bool CCustomListCtrl::OnMouseButton(ClientPoint point) {
    // The control's own hit test finds the check box, wherever the DPI and the Windows version put it.
    return m_checkEnabled.load() == 0 && IsOnCheckBox(point.x, point.y);
}

bool CCustomListCtrl::OnKeyDown(KeyDown key) { return m_checkEnabled.load() == 0 && key.key == VK_SPACE; }
