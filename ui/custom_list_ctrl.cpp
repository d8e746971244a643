#include "ui/custom_list_ctrl.h"

namespace {

// The check boxes lie in the strip of the rows' first 16 pixels (x 0 to 16).
constexpr int kCheckBoxStripRight = 16;

}  // namespace

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
    return m_checkEnabled.load() == 0 && point.x <= kCheckBoxStripRight;
}

bool CCustomListCtrl::OnKeyDown(KeyDown key) { return m_checkEnabled.load() == 0 && key.key == VK_SPACE; }
