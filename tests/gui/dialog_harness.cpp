#include "tests/gui/dialog_harness.h"

#include <windows.h>
// (windows.h first: the headers below need its types.)
#include <commctrl.h>
#include <objbase.h>

#include "platform/platform.h"
#include "ui/resource_ids.h"
#include "ui/tolvarenquista_dlg.h"
#include "ui/win/wide_text.h"

bool WaitFor(const std::function<bool()>& condition, int timeoutMs) {
    constexpr int kStep = 10;
    for (int waited = 0; waited < timeoutMs; waited += kStep) {
        if (condition()) return true;
        platform::SleepMilliseconds(kStep);
    }
    return condition();
}

int RowMiddle(const CListView& list, int row) {
    const PixelRect rect = list.ItemRect(row);
    return rect.y + rect.height / 2;
}

PixelSpan CheckBoxSpan(const CListView& list, int row) {
    const int y = RowMiddle(list, row);
    PixelSpan span;
    for (int x = 0; x < list.ItemRect(row).width; ++x) {
        if (!list.IsOnCheckBox(x, y)) {
            if (!span.Empty()) break;
            continue;
        }
        if (span.Empty()) span.first = x;
        span.last = x;
    }
    return span;
}

namespace {

struct ThreadWindowSearch {
    std::wstring caption;
    HWND found = nullptr;
};

BOOL CALLBACK MatchCaption(HWND window, LPARAM data) {
    auto& search = *reinterpret_cast<ThreadWindowSearch*>(data);
    if (!IsWindowVisible(window) || CWindow(window).GetText() != FromWide(search.caption)) return TRUE;
    search.found = window;
    return FALSE;
}

}  // namespace

DialogHarness::DialogHarness(ScriptedServices& services) : m_services(services) {
    m_thread = std::thread([this] {
        m_threadId = GetCurrentThreadId();
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&controls);
        {
            CTolvarenquistaDlg dialog(m_services);
            dialog.DoModal();
        }
        CoUninitialize();
        m_ended = true;
    });
    WaitFor([this] {
        m_dialog = FindThreadWindow("カルデノツール 【Ver.2】").Handle();
        return m_dialog != nullptr || m_ended.load();
    });
}

DialogHarness::~DialogHarness() {
    WaitFor([this] { return m_ended.load() || Control(IDC_CONVERT).GetText() == "変換(&C)"; });
    m_services.SetAnswerWhenOut(true);
    m_services.onQuestion = nullptr;
    for (int attempt = 0; attempt < 50 && !m_ended.load(); ++attempt) {
        if (m_dialog != nullptr) Dialog().Post(WM_CLOSE);
        WaitFor([this] { return m_ended.load(); }, 200);
    }
    if (m_ended.load()) {
        m_thread.join();
    } else {
        m_thread.detach();  // a dialog that cannot be closed fails the test; the process ends soon
    }
}

CWindow DialogHarness::StatusBar() const { return Control(IDC_STATUS_BAR); }
CWindow DialogHarness::StatusText() const { return StatusBar().Item(IDC_STATUS_TEXT); }
CProgressBar DialogHarness::Progress() const {
    CProgressBar bar;
    bar.Attach(StatusBar().Item(IDC_PROGRESS).Handle());
    return bar;
}
CListView DialogHarness::List() const {
    CListView list;
    list.Attach(Control(IDC_FILE_LIST).Handle());
    return list;
}
CComboBox DialogHarness::SplitSize() const { return CComboBox(Control(IDC_SPLIT_SIZE).Handle()); }

void DialogHarness::Click(int id) const { PostMessageW(Control(id).Handle(), BM_CLICK, 0, 0); }

void DialogHarness::PostKey(const CWindow& window, unsigned key) const {
    PostMessageW(window.Handle(), WM_KEYDOWN, key, 1);
    PostMessageW(window.Handle(), WM_KEYUP, key, 1 | (3u << 30));
}

void DialogHarness::PostClick(const CWindow& window, UINT down, UINT up, int x, int y) const {
    PostMessageW(window.Handle(), down, down == WM_RBUTTONDOWN ? MK_RBUTTON : MK_LBUTTON, MAKELPARAM(x, y));
    PostMessageW(window.Handle(), up, 0, MAKELPARAM(x, y));
}

bool DialogHarness::Sync() const {
    // A selection posted to the split-size list is handled in turn with the messages before it;
    // once it shows, they have all been handled. The selection is then put back.
    const CComboBox split = SplitSize();
    if (!split.IsValid() || split.GetCount() <= 0) return false;  // the dialog has ended
    const int before = split.GetCurSel();
    const int marker = (before + 1) % split.GetCount();
    PostMessageW(split.Handle(), CB_SETCURSEL, marker, 0);
    const bool handled = WaitFor([&] { return !split.IsValid() || split.GetCurSel() == marker; }) && split.IsValid();
    split.SetCurSel(before);
    return handled;
}

CWindow DialogHarness::FindThreadWindow(const std::string& caption) const {
    ThreadWindowSearch search{ToWide(caption)};
    if (m_threadId.load() != 0) EnumThreadWindows(m_threadId.load(), &MatchCaption, reinterpret_cast<LPARAM>(&search));
    return CWindow(search.found);
}
