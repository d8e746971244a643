// The program's own message boxes under Wine: the three forms (caption, icon, buttons), with the
// Japanese text whole whatever the system's code page is.
#include <gtest/gtest.h>

#include <atomic>
#include <future>

#include "engine/messages.h"
#include "tests/gui/dialog_harness.h"
#include "ui/win/wide_text.h"
#include "ui/win/win32_dialog_services.h"

namespace {

struct BoxCase {
    const char* name;
    MessageKind kind;
    const char* caption;
    LPCWSTR icon;
    int answerButton;  // the button the test presses
    bool answer;       // what ShowMessage must then return
    int otherButton;   // a button the box must also have, 0 for none
};

class MessageBoxTest : public ::testing::TestWithParam<BoxCase> {};

// The icon of the box's icon control (a static control with SS_ICON).
BOOL CALLBACK FindIcon(HWND child, LPARAM data) {
    if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) return TRUE;
    *reinterpret_cast<HICON*>(data) = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
    return FALSE;
}

// The first window of a thread.
BOOL CALLBACK TakeFirst(HWND window, LPARAM data) {
    *reinterpret_cast<HWND*>(data) = window;
    return FALSE;
}

BOOL CALLBACK FindText(HWND child, LPARAM data) {
    auto* wanted = reinterpret_cast<std::pair<std::string, bool>*>(data);
    if (CWindow(child).GetText() == wanted->first) wanted->second = true;
    return TRUE;
}

TEST_P(MessageBoxTest, ShowsTheFormOfItsKind) {
    const BoxCase& box = GetParam();
    const std::string text = LoadMessage(kMsgConfirmAbort);
    CWin32DialogServices services;
    std::promise<DWORD> threadId;
    std::atomic<bool> answered{false};
    auto shown = std::async(std::launch::async, [&] {
        threadId.set_value(GetCurrentThreadId());
        const bool answer = services.ShowMessage(text, box.kind);
        answered = true;
        return answer;
    });
    const DWORD thread = threadId.get_future().get();
    HWND found = nullptr;
    ASSERT_TRUE(WaitFor([&] {
        EnumThreadWindows(thread, &TakeFirst, reinterpret_cast<LPARAM>(&found));
        return found != nullptr && IsWindowVisible(found);
    }));
    const CWindow window(found);
    EXPECT_EQ(window.GetText(), box.caption);
    std::pair<std::string, bool> wanted{text, false};
    EnumChildWindows(found, &FindText, reinterpret_cast<LPARAM>(&wanted));
    EXPECT_TRUE(wanted.second) << "the message text is not shown whole";
    HICON icon = nullptr;
    EnumChildWindows(found, &FindIcon, reinterpret_cast<LPARAM>(&icon));
    EXPECT_EQ(icon, LoadIconW(nullptr, box.icon));
    if (box.otherButton != 0) {
        EXPECT_TRUE(window.Item(box.otherButton).IsValid());
    }
    ASSERT_TRUE(window.Item(box.answerButton).IsValid());
    PostMessageW(window.Item(box.answerButton).Handle(), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitFor([&] { return answered.load(); }));
    EXPECT_EQ(shown.get(), box.answer);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, MessageBoxTest,
    ::testing::Values(BoxCase{"QuestionYes", MessageKind::Question, "確認", IDI_QUESTION, IDYES, true, IDNO},
                      BoxCase{"QuestionNo", MessageKind::Question, "確認", IDI_QUESTION, IDNO, false, IDYES},
                      BoxCase{"InputError", MessageKind::Exclamation, "エラー", IDI_EXCLAMATION, IDOK, false, 0},
                      BoxCase{"Fatal", MessageKind::Stop, "エラー", IDI_HAND, IDOK, false, 0}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
