// The real main dialog with scripted services, on a UI thread of its own. The test's thread drives
// it through its windows as an operator would (posted clicks and keys) and reads the windows back;
// it never calls into the dialog object. Windows only.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "tests/scripted_services.h"
#include "ui/win/combo_box.h"
#include "ui/win/list_view.h"
#include "ui/win/progress_bar.h"
#include "ui/win/window.h"

class DialogHarness {
public:
    // Starts the dialog and waits for its window (Dialog() stays invalid when it never came).
    explicit DialogHarness(ScriptedServices& services);
    // Closes the dialog (answering Yes to the close question) and waits for its thread.
    ~DialogHarness();
    DialogHarness(const DialogHarness&) = delete;
    DialogHarness& operator=(const DialogHarness&) = delete;

    CWindow Dialog() const { return CWindow(m_dialog); }
    CWindow Control(int id) const { return Dialog().Item(id); }
    CWindow StatusBar() const;
    CWindow StatusText() const;
    CProgressBar Progress() const;
    CListView List() const;
    CComboBox SplitSize() const;
    // True once the dialog's modal run has returned.
    bool Ended() const { return m_ended.load(); }

    // A click on a button, posted (the test does not wait for the handler).
    void Click(int id) const;
    void PostKey(const CWindow& window, unsigned key) const;
    // A mouse button press and release at a point of the window's client area.
    void PostClick(const CWindow& window, UINT down, UINT up, int x, int y) const;
    // Returns once the dialog's thread has handled every message posted to it before.
    bool Sync() const;
    // A top-level window of the dialog's thread with this caption, such as the About box.
    CWindow FindThreadWindow(const std::string& caption) const;

private:
    ScriptedServices& m_services;
    std::thread m_thread;
    std::atomic<DWORD> m_threadId{0};
    std::atomic<bool> m_ended{false};
    HWND m_dialog = nullptr;
};

// A run of pixel columns, first to last; empty (-1) when there is none.
struct PixelSpan {
    int first = -1;
    int last = -1;
    bool Empty() const { return first < 0; }
    int Middle() const { return (first + last) / 2; }
};
// Where a row's check box lies on the row's middle line, as the list's hit test places it (the
// place the dialog's lock finds too).
PixelSpan CheckBoxSpan(const CListView& list, int row);
// The y of a row's middle line in the list's client area.
int RowMiddle(const CListView& list, int row);

// Polls condition until it holds or timeoutMs have passed; returns its last value.
bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 20000);
