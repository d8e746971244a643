// The file list of the main dialog: a list view with check boxes that refuses every attempt to
// toggle a check box while a run is active. SetCheckEnabled may be called from any thread; the
// filters run on the dialog's thread.
#pragma once

#include <atomic>
#include <span>

#include "ui/win/list_view.h"
#include "ui/win/message_filter.h"
#include "ui/win/message_map.h"

class CCustomListCtrl : public CListView, private CMessageFilter<CCustomListCtrl> {
public:
    // Creates the list (as CListView::Create) and puts the input filter in front of it.
    void Create(const CWindow& parent, DWORD style, const PixelRect& rect, int id);

    // 1 lets the operator toggle check boxes, 0 blocks it (during a run).
    void SetCheckEnabled(int enable) { m_checkEnabled = enable; }

private:
    friend class CMessageFilter<CCustomListCtrl>;
    static std::span<const MessageMapEntry<CCustomListCtrl>> MessageMap();

    // Left button down, left double-click and right button down.
    bool OnMouseButton(ClientPoint point);
    bool OnKeyDown(KeyDown key);

    std::atomic<int> m_checkEnabled{1};
};
