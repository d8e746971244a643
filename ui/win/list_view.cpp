#include "ui/win/list_view.h"

#include "ui/win/wide_text.h"

namespace {
// The longest text read back from a cell; ours are file names, sizes and status texts.
constexpr int kMaxItemText = 1024;
}  // namespace

void CListView::Create(const CWindow& parent, DWORD style, const PixelRect& rect, int id) {
    m_hwnd = CreateWindowExW(0, WC_LISTVIEWW, L"", style, rect.x, rect.y, rect.width, rect.height, parent.Handle(),
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ResourceInstance(), nullptr);
}

void CListView::InsertColumn(int column, const std::string& heading, Align align) const {
    std::wstring text = ToWide(heading);
    LVCOLUMNW info{};
    info.mask = LVCF_FMT | LVCF_TEXT | LVCF_SUBITEM;
    info.fmt = align == Align::Right ? LVCFMT_RIGHT : LVCFMT_LEFT;
    info.pszText = text.data();
    info.iSubItem = column;
    SendMessageW(m_hwnd, LVM_INSERTCOLUMNW, column, reinterpret_cast<LPARAM>(&info));
}

std::string CListView::ColumnHeading(int column) const {
    wchar_t text[kMaxItemText] = {};
    LVCOLUMNW info{};
    info.mask = LVCF_TEXT;
    info.pszText = text;
    info.cchTextMax = kMaxItemText;
    SendMessageW(m_hwnd, LVM_GETCOLUMNW, column, reinterpret_cast<LPARAM>(&info));
    return FromWide(text);
}

int CListView::InsertItem(int row, const std::string& text) const {
    std::wstring wide = ToWide(text);
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.pszText = wide.data();
    return static_cast<int>(SendMessageW(m_hwnd, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

void CListView::SetItemText(int row, int column, const std::string& text) const {
    std::wstring wide = ToWide(text);
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = wide.data();
    SendMessageW(m_hwnd, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
}

std::string CListView::ItemText(int row, int column) const {
    wchar_t text[kMaxItemText] = {};
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = kMaxItemText;
    SendMessageW(m_hwnd, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    return FromWide(text);
}

PixelRect CListView::ItemRect(int row) const {
    RECT rect{};
    rect.left = LVIR_BOUNDS;
    SendMessageW(m_hwnd, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&rect));
    return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

bool CListView::IsOnCheckBox(int x, int y) const {
    LVHITTESTINFO hit{};
    hit.pt = {x, y};
    const auto row = static_cast<int>(SendMessageW(m_hwnd, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
    // The control toggles a check box on a click whose hit test has this bit: on the state image,
    // and (with LVHT_ONITEM, "somewhere on the item") in the margin left of it.
    return row >= 0 && (hit.flags & LVHT_ONITEMSTATEICON) != 0;
}

void CListView::SetItemState(int row, UINT state, UINT mask) const {
    LVITEMW item{};
    item.stateMask = mask;
    item.state = state;
    SendMessageW(m_hwnd, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
}
