// A list-view control in report view, texts in code page 932. Rows and columns are 0-based.
#pragma once

#include <windows.h>
// (windows.h first: the headers below need its types.)
#include <commctrl.h>

#include <string>

#include "ui/win/window.h"

class CListView : public CWindow {
public:
    enum class Align { Left, Right };

    // Creates the control as a child of parent at a pixel rectangle of its client area.
    void Create(const CWindow& parent, DWORD style, const PixelRect& rect, int id);

    void AddExtendedStyle(DWORD style) const {
        const auto current = static_cast<DWORD>(SendMessageW(m_hwnd, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
        SendMessageW(m_hwnd, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, current | style);
    }
    DWORD ExtendedStyle() const { return static_cast<DWORD>(SendMessageW(m_hwnd, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0)); }

    void InsertColumn(int column, const std::string& heading, Align align) const;
    std::string ColumnHeading(int column) const;
    // Sizes a column to fit both its contents and its heading; the last column takes the rest.
    void AutoSizeColumn(int column) const {
        SendMessageW(m_hwnd, LVM_SETCOLUMNWIDTH, column, LVSCW_AUTOSIZE_USEHEADER);
    }

    int ItemCount() const { return static_cast<int>(SendMessageW(m_hwnd, LVM_GETITEMCOUNT, 0, 0)); }
    void DeleteAllItems() const { SendMessageW(m_hwnd, LVM_DELETEALLITEMS, 0, 0); }
    // Inserts a row with the text of column 0; returns its index, -1 on failure.
    int InsertItem(int row, const std::string& text) const;
    void SetItemText(int row, int column, const std::string& text) const;
    std::string ItemText(int row, int column) const;

    // The check box: 1 for checked, 0 for unchecked (the state image index minus 1).
    int GetCheck(int row) const {
        const auto state = static_cast<UINT>(SendMessageW(m_hwnd, LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK));
        return static_cast<int>((state & LVIS_STATEIMAGEMASK) >> 12) - 1;
    }
    void SetCheck(int row, bool checked) const {
        SetItemState(row, INDEXTOSTATEIMAGEMASK(checked ? 2 : 1), LVIS_STATEIMAGEMASK);
    }
    bool IsSelected(int row) const { return SendMessageW(m_hwnd, LVM_GETITEMSTATE, row, LVIS_SELECTED) != 0; }
    // The row's rectangle in the list's client coordinates.
    PixelRect ItemRect(int row) const;
    // True when a click at a point of the list's client area would toggle a row's check box, as the
    // control's own hit test places the box (its size follows the DPI and the Windows version).
    bool IsOnCheckBox(int x, int y) const;

private:
    void SetItemState(int row, UINT state, UINT mask) const;
};
