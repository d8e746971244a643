// The dialog program under Wine: the real main dialog, from the real resources, driven through its
// windows with clicks and keys, its message boxes, browsers and report answered by a script.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <future>

#include "engine/conversion_run.h"
#include "engine/messages.h"
#include "support/paths.h"
#include "tests/gui/dialog_harness.h"
#include "tests/test_support.h"
#include "ui/resource_ids.h"
#include "ui/win/system_menu.h"
#include "ui/win/wide_text.h"

namespace {

const char kIdle[] = "変換(&C)";
const char kRunning[] = "中断(&C)";

// Holds a thread at a point until the test opens it (or the gate goes).
class Gate {
public:
    ~Gate() { Open(); }
    void Open() {
        if (!m_opened.exchange(true)) m_promise.set_value();
    }
    void Wait() { m_future.wait(); }

private:
    std::promise<void> m_promise;
    std::shared_future<void> m_future = m_promise.get_future().share();
    std::atomic<bool> m_opened{false};
};

// The system's DPI, which the tests run at (the Wine prefix's).
int ScreenDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return dpi;
}

PixelRect RectInParent(HWND window) { return CWindow(window).RectInParent(); }

bool Intersect(const PixelRect& a, const PixelRect& b) {
    return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height && b.y < a.y + a.height;
}

bool Contains(const PixelRect& outer, const PixelRect& inner) {
    return inner.x >= outer.x && inner.y >= outer.y && inner.x + inner.width <= outer.x + outer.width &&
           inner.y + inner.height <= outer.y + outer.height;
}

std::vector<HWND> VisibleChildren(const CWindow& parent) {
    std::vector<HWND> children;
    for (HWND child = GetWindow(parent.Handle(), GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        if (IsWindowVisible(child)) children.push_back(child);
    }
    return children;
}

int StringWidth(const CListView& list, const std::string& text) {
    return static_cast<int>(
        SendMessageW(list.Handle(), LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(ToWide(text).c_str())));
}

std::size_t CountLines(const std::string& text) {
    std::size_t count = 0;
    for (std::size_t pos = text.find("\r\n"); pos != std::string::npos; pos = text.find("\r\n", pos + 2)) ++count;
    return count;
}

class DialogTest : public ::testing::Test {
protected:
    DialogTest() {
        services.logFolder = JoinPath(work.Path(), "log");
        input = JoinPath(work.Path(), "読込み　レセプト");
        output = JoinPath(work.Path(), "出力先フォルダ");
        CreateFolderTree(input);
        CreateFolderTree(output);
    }

    void WriteClaims(const std::vector<int>& recordCounts) {
        for (std::size_t i = 0; i < recordCounts.size(); ++i) {
            WriteBytes(JoinPath(input, "2008042312000" + std::to_string(i) + ".csv"), ClaimLines(recordCounts[i]));
        }
    }
    std::string Name(int i) const { return "2008042312000" + std::to_string(i) + ".CSV"; }

    // Lists the input folder through the browser, then sets the output folder likewise.
    void ChooseFolders(DialogHarness& dialog) {
        services.AddBrowseResult(input);
        dialog.Click(IDC_BROWSE_INPUT);
        ASSERT_TRUE(WaitFor([&] { return dialog.Control(IDC_INPUT_FOLDER).GetText() == input; }));
        services.AddBrowseResult(output);
        dialog.Click(IDC_BROWSE_OUTPUT);
        ASSERT_TRUE(WaitFor([&] { return dialog.Control(IDC_OUTPUT_FOLDER).GetText() == output; }));
    }

    void Tick(DialogHarness& dialog, const std::vector<int>& rows) {
        // The middle of the row's check box, as an operator clicks it.
        const CListView list = dialog.List();
        for (int row : rows) {
            dialog.PostClick(list, WM_LBUTTONDOWN, WM_LBUTTONUP, CheckBoxSpan(list, row).Middle(),
                             RowMiddle(list, row));
            ASSERT_TRUE(WaitFor([&] { return list.GetCheck(row) == 1; })) << row;
        }
    }

    // Where a click toggles a row's check box, found by clicking along the row's middle line from its
    // left edge (each click that toggled it is undone): what the lock of a run must cover.
    PixelSpan ToggleSpan(DialogHarness& dialog, int row) {
        const CListView list = dialog.List();
        const int y = RowMiddle(list, row);
        PixelSpan span;
        for (int x = 0; x < list.ItemRect(row).width; ++x) {
            const int before = list.GetCheck(row);
            dialog.PostClick(list, WM_LBUTTONDOWN, WM_LBUTTONUP, x, y);
            if (!dialog.Sync()) break;
            if (list.GetCheck(row) == before) {
                if (!span.Empty()) break;
                continue;
            }
            dialog.PostClick(list, WM_LBUTTONDOWN, WM_LBUTTONUP, x, y);
            dialog.Sync();
            if (span.Empty()) span.first = x;
            span.last = x;
        }
        return span;
    }

    std::vector<std::string> Questions() const {
        std::vector<std::string> texts;
        for (const auto& shown : services.Messages()) {
            if (shown.kind == MessageKind::Question) texts.push_back(shown.text);
        }
        return texts;
    }
    bool InputControlsEnabled(DialogHarness& dialog, bool enabled) {
        for (int id : {IDC_SPLIT_SIZE, IDC_BROWSE_INPUT, IDC_BROWSE_OUTPUT, IDC_SELECT_ALL, IDC_DESELECT_ALL}) {
            if (dialog.Control(id).IsEnabled() != enabled) return false;
        }
        for (UINT command : {UINT{SC_CLOSE}, UINT{IDM_VERIFY_DISC}}) {
            const int state = CSystemMenu(dialog.Dialog()).ItemState(command);
            if (((state & MF_GRAYED) == 0) != enabled) return false;
        }
        return true;
    }

    TempDir work;
    std::string input;
    std::string output;
    ScriptedServices services;
};

TEST(ResourceTest, TheStringTableHoldsTheProgramsMessages) {
    for (int id :
         {103, 104, 105, 106, 108, 109, 110, 112, 113, 114, 115, 116, 117, 119, 120, 121, 122, 123, 124, 301}) {
        EXPECT_EQ(LoadResourceString(id), LoadMessage(id)) << id;
    }
}

TEST_F(DialogTest, StartsAsItsTemplateAndSetUpSay) {
    DialogHarness dialog(services);
    ASSERT_TRUE(dialog.Dialog().IsValid());
    const CComboBox split = dialog.SplitSize();
    ASSERT_EQ(split.GetCount(), kSplitSizeCount);
    for (int i = 0; i < kSplitSizeCount; ++i) EXPECT_EQ(split.ItemText(i), kSplitSizeEntries[i]);
    EXPECT_EQ(split.GetCurSel(), 0);
    for (int id : {IDC_SELECT_ALL, IDC_DESELECT_ALL}) {
        EXPECT_TRUE(dialog.Control(id).IsVisible());
        EXPECT_FALSE(dialog.Control(id).IsEnabled());
    }
    EXPECT_EQ(dialog.Control(IDC_INPUT_FOLDER).GetText(), "");
    EXPECT_EQ(dialog.Control(IDC_OUTPUT_FOLDER).GetText(), "");
    EXPECT_EQ(dialog.Control(IDC_CONVERT).GetText(), kIdle);
    EXPECT_EQ(dialog.Control(IDC_FILE_GROUP).GetText(), "読込みファイル一覧");
    EXPECT_EQ(dialog.StatusText().GetText(), "");
    EXPECT_EQ(dialog.Progress().GetPos(), 0);
    EXPECT_EQ(CWindow(GetParent(dialog.Progress().Handle())).Handle(), dialog.StatusBar().Handle());

    const CListView list = dialog.List();
    EXPECT_EQ(list.ItemCount(), 0);
    EXPECT_EQ(list.ColumnHeading(0), "ファイル名");
    EXPECT_EQ(list.ColumnHeading(1), "サイズ");
    EXPECT_EQ(list.ColumnHeading(2), "処理状況");
    const DWORD wanted = LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT;
    EXPECT_EQ(list.ExtendedStyle() & wanted, wanted);

    const CSystemMenu menu(dialog.Dialog());
    EXPECT_EQ(menu.ItemText(IDM_ABOUTBOX), "バージョン情報 Tolvarenquista(&A)...");
    EXPECT_EQ(menu.ItemText(IDM_VERIFY_DISC), "ディスクの確認(&V)...");
    EXPECT_EQ(menu.ItemState(SC_CLOSE) & MF_GRAYED, 0);
    EXPECT_TRUE(services.Messages().empty());

    // The program's manifest took effect: the common controls are those of version 6, side by side.
    wchar_t controls[MAX_PATH] = {};
    GetModuleFileNameW(GetModuleHandleW(L"comctl32.dll"), controls, MAX_PATH);
    std::string path = FromWide(controls);
    for (char& c : path) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_NE(path.find("microsoft.windows.common-controls_6595b64144ccf1df_6."), std::string::npos) << path;
}

// At the DPI of the screen (the tests run at 96 and, in a prefix of their own, at 144): the controls
// lie inside the client area and apart, but for the group box and what it frames; the status bar's
// progress pane, 120 pixels at 96 DPI, grows with the DPI and the progress bar fills it; every column
// of the list is wide enough for its texts in the list's font, and together they fit the list.
TEST_F(DialogTest, TheLayoutFollowsTheDpi) {
    const int dpi = ScreenDpi();
    if (const char* expected = std::getenv("TOLVA_TEST_DPI")) {
        ASSERT_EQ(dpi, std::atoi(expected));
    }
    WriteClaims({3, 2});
    DialogHarness dialog(services);
    ChooseFolders(dialog);
    const CListView list = dialog.List();
    ASSERT_EQ(list.ItemCount(), 2);

    const PixelRect client = dialog.Dialog().ClientRect();
    const HWND group = dialog.Control(IDC_FILE_GROUP).Handle();
    const std::vector<HWND> children = VisibleChildren(dialog.Dialog());
    ASSERT_GE(children.size(), 14u);
    for (std::size_t i = 0; i < children.size(); ++i) {
        const PixelRect rect = RectInParent(children[i]);
        EXPECT_TRUE(Contains(client, rect)) << GetDlgCtrlID(children[i]);
        for (std::size_t j = i + 1; j < children.size(); ++j) {
            const PixelRect other = RectInParent(children[j]);
            const bool framed =
                (children[i] == group && Contains(rect, other)) || (children[j] == group && Contains(other, rect));
            EXPECT_TRUE(framed || !Intersect(rect, other))
                << GetDlgCtrlID(children[i]) << " and " << GetDlgCtrlID(children[j]);
        }
    }

    const HWND statusBar = dialog.StatusBar().Handle();
    int parts[2] = {};
    ASSERT_EQ(SendMessageW(statusBar, SB_GETPARTS, 2, reinterpret_cast<LPARAM>(parts)), 2);
    EXPECT_EQ(parts[0], client.width - MulDiv(120, dpi, 96));
    EXPECT_EQ(parts[1], -1);
    RECT pane{};
    SendMessageW(statusBar, SB_GETRECT, 1, reinterpret_cast<LPARAM>(&pane));
    const PixelRect progress = dialog.Progress().RectInParent();
    EXPECT_EQ(progress.x, pane.left);
    EXPECT_EQ(progress.width, pane.right - pane.left);
    EXPECT_EQ(progress.height, pane.bottom - pane.top);

    const int checkBox = CheckBoxSpan(list, 0).last + 1;
    int total = 0;
    for (int column = 0; column < 3; ++column) {
        int needed = StringWidth(list, list.ColumnHeading(column));
        for (int row = 0; row < list.ItemCount(); ++row) {
            needed = std::max(needed, StringWidth(list, list.ItemText(row, column)) + (column == 0 ? checkBox : 0));
        }
        const int width = static_cast<int>(SendMessageW(list.Handle(), LVM_GETCOLUMNWIDTH, column, 0));
        EXPECT_GE(width, needed) << "column " << column;
        total += width;
    }
    EXPECT_LE(total, list.ClientRect().width);
}

TEST_F(DialogTest, EnterAndEscDoNothing) {
    DialogHarness dialog(services);
    const CWindow focus = dialog.Control(IDC_INPUT_FOLDER);
    dialog.PostKey(focus, VK_RETURN);
    dialog.PostKey(focus, VK_ESCAPE);
    dialog.PostKey(dialog.Control(IDC_SPLIT_SIZE), VK_ESCAPE);
    PostMessageW(dialog.Dialog().Handle(), WM_COMMAND, IDOK, 0);
    PostMessageW(dialog.Dialog().Handle(), WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(dialog.Sync());
    EXPECT_FALSE(dialog.Ended());
    EXPECT_TRUE(dialog.Dialog().IsVisible());
    EXPECT_TRUE(services.Messages().empty());
}

TEST_F(DialogTest, TheAboutBoxShowsTheProductVersion) {
    DialogHarness dialog(services);
    PostMessageW(dialog.Dialog().Handle(), WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
    CWindow about;
    ASSERT_TRUE(WaitFor([&] { return (about = dialog.FindThreadWindow("バージョン情報")).IsValid(); }));
    EXPECT_EQ(about.Item(IDC_ABOUT_LABEL).GetText(), "カルデノツール Version 2, 0, 0, 0");
    EXPECT_EQ(about.Item(IDOK).GetText(), "閉じる(&C)");
    dialog.PostKey(about.Item(IDOK), VK_ESCAPE);
    EXPECT_TRUE(WaitFor([&] { return !about.IsValid(); }));
    EXPECT_FALSE(dialog.Ended());
}

TEST_F(DialogTest, CloseAsksAndEndsOnlyOnYes) {
    DialogHarness dialog(services);
    services.AddAnswers({false, true});
    dialog.Dialog().Post(WM_CLOSE);
    ASSERT_TRUE(WaitFor([&] { return Questions().size() == 1; }));
    ASSERT_TRUE(dialog.Sync());
    EXPECT_FALSE(dialog.Ended());
    PostMessageW(dialog.Dialog().Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);  // the caption's close button
    EXPECT_TRUE(WaitFor([&] { return dialog.Ended(); }));
    EXPECT_EQ(Questions(), (std::vector<std::string>(2, "プログラムを終了します。\nよろしいですか？")));
}

TEST_F(DialogTest, BrowsingListsTheClaimFilesOfAJapaneseFolder) {
    WriteClaims({2, 1});
    WriteBytes(JoinPath(input, "abc.csv"), "x");
    WriteBytes(JoinPath(input, "2008042312000.csv"), "x");
    const std::string empty = JoinPath(work.Path(), "空");
    CreateFolderTree(empty);
    DialogHarness dialog(services);

    services.AddBrowseResult(input);
    dialog.Click(IDC_BROWSE_INPUT);
    const CListView list = dialog.List();
    ASSERT_TRUE(WaitFor([&] { return list.ItemCount() == 2; }));
    EXPECT_EQ(dialog.Control(IDC_INPUT_FOLDER).GetText(), input);
    for (int row = 0; row < 2; ++row) {
        EXPECT_EQ(list.ItemText(row, 0), Name(row));
        EXPECT_EQ(list.ItemText(row, 1), FormatFileSize(FileSize(JoinPath(input, Name(row)))));
        EXPECT_EQ(list.ItemText(row, 2), "");
        EXPECT_EQ(list.GetCheck(row), 0);
    }
    EXPECT_TRUE(dialog.Control(IDC_SELECT_ALL).IsEnabled());

    // Select all, deselect all.
    dialog.Click(IDC_SELECT_ALL);
    EXPECT_TRUE(WaitFor([&] { return list.GetCheck(0) == 1 && list.GetCheck(1) == 1; }));
    dialog.Click(IDC_DESELECT_ALL);
    EXPECT_TRUE(WaitFor([&] { return list.GetCheck(0) == 0 && list.GetCheck(1) == 0; }));

    // A folder without claim files, then a cancelled browser: nothing changes.
    services.AddBrowseResult(empty);
    dialog.Click(IDC_BROWSE_INPUT);
    ASSERT_TRUE(WaitFor([&] { return services.Messages().size() == 1; }));
    EXPECT_EQ(services.Messages()[0].text, "読込みフォルダに処理対象のファイルが存在しません。");
    dialog.Click(IDC_BROWSE_INPUT);
    ASSERT_TRUE(WaitFor([&] { return services.Browses().size() == 3; }));
    ASSERT_TRUE(dialog.Sync());
    EXPECT_EQ(dialog.Control(IDC_INPUT_FOLDER).GetText(), input);
    EXPECT_EQ(list.ItemCount(), 2);

    const auto browses = services.Browses();
    EXPECT_EQ(browses[0].title, "読込みフォルダの選択");
    EXPECT_EQ(browses[0].initial, "");
    EXPECT_FALSE(browses[0].newDialogStyle);
    EXPECT_EQ(browses[1].initial, input);  // the browser opens on the current folder
    EXPECT_EQ(browses[2].initial, input);
}

TEST_F(DialogTest, ADriveRootIsAnExistingOutputFolder) {
    WriteClaims({1});
    DialogHarness dialog(services);
    services.AddBrowseResult(input);
    dialog.Click(IDC_BROWSE_INPUT);
    ASSERT_TRUE(WaitFor([&] { return dialog.List().ItemCount() == 1; }));

    dialog.Click(IDC_CONVERT);  // no output folder yet
    ASSERT_TRUE(WaitFor([&] { return services.Messages().size() == 1; }));
    EXPECT_EQ(services.Messages()[0].text, "出力フォルダを指定してください。");
    EXPECT_EQ(services.Messages()[0].kind, MessageKind::Exclamation);

    services.AddBrowseResult("C:\\");
    dialog.Click(IDC_BROWSE_OUTPUT);
    ASSERT_TRUE(WaitFor([&] { return dialog.Control(IDC_OUTPUT_FOLDER).GetText() == "C:\\"; }));
    dialog.Click(IDC_BROWSE_OUTPUT);  // cancelled: the root stays, and was preselected
    ASSERT_TRUE(WaitFor([&] { return services.Browses().size() == 3; }));
    EXPECT_EQ(services.Browses()[2].initial, "C:\\");
    EXPECT_EQ(services.Browses()[2].title, "出力フォルダの選択");
    EXPECT_TRUE(services.Browses()[2].newDialogStyle);

    dialog.Click(IDC_CONVERT);  // passes the folder checks; stops at the unticked list
    ASSERT_TRUE(WaitFor([&] { return services.Messages().size() == 2; }));
    EXPECT_EQ(services.Messages()[1].text, "カルデノを行うファイルを選択してください。");
}

TEST_F(DialogTest, ARunConvertsTheTickedFilesAndLocksTheControlsMeanwhile) {
    WriteClaims({3, 2, 4});
    Gate report;
    services.onOpenReport = [&](const std::string&) { report.Wait(); };
    DialogHarness dialog(services);
    ChooseFolders(dialog);
    const CListView list = dialog.List();
    // Where a click toggles row 1's check box: where the list's hit test puts it, which at 144 DPI
    // reaches past the 16 pixels of a box at 96 DPI.
    const PixelSpan box = ToggleSpan(dialog, 1);
    ASSERT_FALSE(box.Empty());
    EXPECT_EQ(box.first, CheckBoxSpan(list, 1).first);
    EXPECT_EQ(box.last, CheckBoxSpan(list, 1).last);
    if (ScreenDpi() >= 144) {
        EXPECT_GT(box.last, 16);
    }
    ASSERT_EQ(list.GetCheck(1), 0);
    Tick(dialog, {0, 2});
    // Row 1 gets the focus (a click beside its check box), so that the space bar would toggle it.
    const int y = RowMiddle(list, 1);
    dialog.PostClick(list, WM_LBUTTONDOWN, WM_LBUTTONUP, box.last + 1, y);
    ASSERT_TRUE(WaitFor([&] { return list.IsSelected(1); }));
    dialog.SplitSize().SetCurSel(2);
    services.AddAnswers({true});
    dialog.Click(IDC_CONVERT);

    // Held at the report: the run is active.
    ASSERT_TRUE(WaitFor([&] { return services.OpenedReports().size() == 1; }));
    EXPECT_EQ(dialog.Control(IDC_CONVERT).GetText(), kRunning);
    EXPECT_EQ(dialog.StatusText().GetText(), "カルデノ　処理中．．．");
    EXPECT_TRUE(InputControlsEnabled(dialog, false));
    EXPECT_TRUE(dialog.Control(IDC_CONVERT).IsEnabled());
    EXPECT_EQ(dialog.Progress().GetPos(), 100);

    // The check boxes refuse the operator: a click, a double-click and a right click anywhere on the
    // box and the space bar are dropped (each looked at alone: two toggles would cancel out); a click
    // beside the box reaches the list; a close request is refused.
    for (int x = box.first; x <= box.last; ++x) {
        for (const auto& [down, up] : {std::pair<UINT, UINT>{WM_LBUTTONDOWN, WM_LBUTTONUP},
                                       {WM_LBUTTONDBLCLK, WM_LBUTTONUP},
                                       {WM_RBUTTONDOWN, WM_RBUTTONUP}}) {
            dialog.PostClick(list, down, up, x, y);
            ASSERT_TRUE(dialog.Sync());
            EXPECT_EQ(list.GetCheck(1), 0) << "x " << x << ", message " << down;
        }
    }
    dialog.PostKey(list, VK_SPACE);
    dialog.Dialog().Post(WM_CLOSE);
    ASSERT_TRUE(dialog.Sync());
    EXPECT_EQ(list.GetCheck(1), 0);
    dialog.PostClick(list, WM_LBUTTONDOWN, WM_LBUTTONUP, box.last + 1, y);
    EXPECT_TRUE(WaitFor([&] { return list.IsSelected(1) || list.GetCheck(1) == 1; }));
    EXPECT_EQ(list.GetCheck(1), 0);
    EXPECT_FALSE(dialog.Ended());

    report.Open();
    ASSERT_TRUE(WaitFor([&] { return dialog.Control(IDC_CONVERT).GetText() == kIdle; }));
    ASSERT_TRUE(WaitFor([&] { return dialog.StatusText().GetText().rfind("カルデノ　正常終了 (処理時間 ", 0) == 0; }))
        << dialog.StatusText().GetText();
    EXPECT_TRUE(InputControlsEnabled(dialog, true));
    EXPECT_EQ(list.ItemText(0, 2), "正常");
    EXPECT_EQ(list.ItemText(1, 2), "");
    EXPECT_EQ(list.ItemText(2, 2), "正常");
    EXPECT_EQ(Questions(), std::vector<std::string>{"変換処理を実行します。\nよろしいですか？"});

    EXPECT_EQ(CountLines(ReadBytes(JoinPath(output, "20080423120000_001.CSV"))), 3u);
    EXPECT_EQ(CountLines(ReadBytes(JoinPath(output, "20080423120002_001.CSV"))), 4u);
    EXPECT_FALSE(Exists(JoinPath(output, "20080423120001_001.CSV")));
    const std::string reportPath = services.OpenedReports()[0];
    EXPECT_EQ(reportPath.rfind(output + "\\", 0), 0u) << reportPath;
    const std::string text = ReadBytes(reportPath);
    EXPECT_NE(text.find("フ ァ イ ル ：[ I N ] " + JoinPath(input, Name(2)) + "\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("処 理 結 果 ：正常終了（エラーなし）"), std::string::npos);

    // After the run the check boxes work again, by the space bar and by mouse.
    dialog.PostKey(list, VK_SPACE);
    ASSERT_TRUE(WaitFor([&] { return list.GetCheck(1) == 1; }));
    dialog.PostClick(list, WM_LBUTTONDOWN, WM_LBUTTONUP, box.last, y);
    ASSERT_TRUE(WaitFor([&] { return list.GetCheck(1) == 0; }));
}

struct AbortCase {
    const char* name;
    bool confirm;
};

class AbortTest : public DialogTest, public ::testing::WithParamInterface<AbortCase> {};

TEST_P(AbortTest, TheAbortQuestionDecides) {
    WriteClaims({20000, 3});
    DialogHarness dialog(services);
    ChooseFolders(dialog);
    Tick(dialog, {0, 1});
    services.AddAnswers({true, GetParam().confirm});
    // The operator presses the button again right after confirming, while the worker has been
    // started but has not yet made its first act (it is held until the press has been handled).
    services.holdThreads = true;
    services.onQuestion = [&](const std::string& text) {
        if (text == LoadMessage(kMsgConfirmConvert)) dialog.Click(IDC_CONVERT);
    };
    dialog.Click(IDC_CONVERT);
    ASSERT_TRUE(WaitFor([&] { return services.ThreadsStarted() == 1; }));
    ASSERT_TRUE(dialog.Sync());
    services.ReleaseThreads();
    ASSERT_TRUE(WaitFor([&] { return Questions().size() == 2; }));
    EXPECT_EQ(Questions()[1], LoadMessage(kMsgConfirmAbort));
    ASSERT_TRUE(WaitFor([&] { return dialog.Control(IDC_CONVERT).GetText() == kIdle; }));
    ASSERT_TRUE(WaitFor([&] { return dialog.List().ItemText(1, 2) != "" || GetParam().confirm; }));
    ASSERT_TRUE(dialog.Sync());
    EXPECT_EQ(services.ThreadsStarted(), 1);
    EXPECT_TRUE(InputControlsEnabled(dialog, true));

    const CListView list = dialog.List();
    if (GetParam().confirm) {
        EXPECT_EQ(list.ItemText(0, 2), "中断");
        EXPECT_EQ(list.ItemText(1, 2), "");
        EXPECT_EQ(dialog.StatusText().GetText(), "処理を中断しました。");
        EXPECT_TRUE(ListNames(output).empty());
        EXPECT_TRUE(services.OpenedReports().empty());
    } else {
        EXPECT_EQ(list.ItemText(0, 2), "正常");
        EXPECT_EQ(list.ItemText(1, 2), "正常");
        EXPECT_EQ(CountLines(ReadBytes(JoinPath(output, "20080423120000_001.CSV"))), 20000u);
        EXPECT_EQ(services.OpenedReports().size(), 1u);
    }
}

INSTANTIATE_TEST_SUITE_P(Answers, AbortTest, ::testing::Values(AbortCase{"Yes", true}, AbortCase{"No", false}),
                         [](const auto& info) { return std::string(info.param.name); });

// A disc verified from the system menu: the outputs of a run with the checksum file beside its
// report, as written or with one byte of an output changed (its record still well formed), or the
// verification aborted before the worker's first read.
struct VerifyCase {
    const char* name;
    bool damage;
    bool abort;
    std::vector<std::string> lines;  // the findings shown, whole
    const char* verdict;
    bool warning;
};

const VerifyCase kVerifyCases[] = {
    {"Intact",
     false,
     false,
     {"20080423120000.CSV: OK（出力ファイル 1、レコード 3）", "20080423120001.CSV: OK（出力ファイル 1、レコード 2）",
      "確認結果：OK（出力ファイル 2、レコード 5）"},
     "ディスクの内容は報告時と一致しました。このディスクを送れます。",
     false},
    {"OneByteChanged",
     true,
     false,
     {"20080423120000_001.CSV: 内容が報告時と異なります（SHA-256 不一致）",
      "20080423120001.CSV: OK（出力ファイル 1、レコード 2）", "確認結果：NG（問題 1 件）"},
     "ディスクに問題があります。確認結果を見てください。",
     true},
    {"Aborted",
     false,
     true,
     {"確認を中断しました（内容は証明されていません）", "確認結果：中断（最後まで確認していません）"},
     "ディスクの確認を中断しました。ディスクの内容は確かめられていません。",
     false},
};

class VerifyDiscTest : public DialogTest, public ::testing::WithParamInterface<VerifyCase> {};

TEST_P(VerifyDiscTest, TheVerdictFollowsTheFindingsAndTheWindowStaysOpen) {
    const VerifyCase& verify = GetParam();
    WriteClaims({3, 2});
    DialogHarness dialog(services);
    ChooseFolders(dialog);
    Tick(dialog, {0, 1});
    services.AddAnswers({true});
    dialog.Click(IDC_CONVERT);
    // The run's worker has returned: until then a verification is not started.
    ASSERT_TRUE(WaitFor(
        [&] { return services.OpenedReports().size() == 1 && services.ThreadsEnded() == services.ThreadsStarted(); }));
    const std::string report = services.OpenedReports()[0];
    if (verify.damage) ChangeADateDigit(JoinPath(output, "20080423120000_001.CSV"));

    services.holdThreads = verify.abort;
    services.AddChosenFile(report);
    PostMessageW(dialog.Dialog().Handle(), WM_SYSCOMMAND, IDM_VERIFY_DISC, 0);
    CWindow verifier;
    ASSERT_TRUE(WaitFor([&] { return (verifier = dialog.FindThreadWindow("ディスクの確認")).IsValid(); }));
    EXPECT_FALSE(dialog.Dialog().IsEnabled());
    EXPECT_EQ(verifier.Item(IDC_VERIFY_REPORT).GetText(), report);
    if (verify.abort) {
        EXPECT_EQ(verifier.Item(IDCANCEL).GetText(), "中断(&C)");
        PostMessageW(verifier.Item(IDCANCEL).Handle(), BM_CLICK, 0, 0);
        ASSERT_TRUE(dialog.Sync());
        services.ReleaseThreads();
    }
    ASSERT_TRUE(WaitFor([&] { return services.Notices().size() == 1; }));
    EXPECT_EQ(services.Notices()[0].caption, "ディスクの確認");
    EXPECT_EQ(services.Notices()[0].text, verify.verdict);
    EXPECT_EQ(services.Notices()[0].warning, verify.warning);
    std::string shown;
    for (const std::string& line : verify.lines) shown += (shown.empty() ? "" : "\r\n") + line;
    EXPECT_EQ(verifier.Item(IDC_VERIFY_FINDINGS).GetText(), shown);
    EXPECT_EQ(verifier.Item(IDCANCEL).GetText(), "閉じる(&C)");
    ASSERT_TRUE(dialog.Sync());
    EXPECT_TRUE(verifier.IsValid());
    EXPECT_EQ(services.Messages().size(), 1u);  // the question before the run alone

    PostMessageW(verifier.Item(IDCANCEL).Handle(), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitFor([&] { return !verifier.IsValid(); }));
    EXPECT_TRUE(dialog.Dialog().IsEnabled());
    EXPECT_FALSE(dialog.Ended());
}

INSTANTIATE_TEST_SUITE_P(Discs, VerifyDiscTest, ::testing::ValuesIn(kVerifyCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DialogTest, AWorkerThatCannotStartIsReported) {
    WriteClaims({1});
    services.failThreadStart = true;
    DialogHarness dialog(services);
    ChooseFolders(dialog);
    Tick(dialog, {0});
    services.AddAnswers({true});
    dialog.Click(IDC_CONVERT);
    ASSERT_TRUE(WaitFor([&] { return services.Messages().size() == 2; }));
    EXPECT_EQ(services.Messages()[1].text, LoadMessage(kMsgFatal));
    EXPECT_EQ(services.Messages()[1].kind, MessageKind::Stop);
    ASSERT_TRUE(dialog.Sync());
    EXPECT_EQ(dialog.Control(IDC_CONVERT).GetText(), kIdle);
    EXPECT_TRUE(InputControlsEnabled(dialog, true));
    EXPECT_FALSE(dialog.Ended());
}

TEST_F(DialogTest, AFileWhoseSizeCannotBeReadIsLoggedAndShown) {
    WriteClaims({1});
    WriteBytes(JoinPath(input, "20080423120009.csv"), "x");
    const FailingPaths faults(platform::FileOperation::Open, "20080423120009");  // its size cannot be had
    DialogHarness dialog(services);
    services.AddBrowseResult(input);
    dialog.Click(IDC_BROWSE_INPUT);
    ASSERT_TRUE(WaitFor([&] { return services.Messages().size() == 1; }));
    EXPECT_EQ(services.Messages()[0].text, LoadMessage(kMsgFatal));
    EXPECT_EQ(services.Messages()[0].kind, MessageKind::Stop);
    EXPECT_EQ(dialog.List().ItemCount(), 1);  // the rows before the failing one stay
    const std::vector<std::string> logs = ListNames(services.logFolder);
    ASSERT_EQ(logs.size(), 1u);
    const std::string entry = ReadBytes(JoinPath(services.logFolder, logs[0]));
    EXPECT_NE(entry.find("20080423120009.CSV"), std::string::npos) << entry;
    EXPECT_NE(entry.find(" 致命的なエラーが発生したため、 処理を続行することができません。\r\n"), std::string::npos)
        << entry;
    EXPECT_FALSE(dialog.Ended());
}

TEST_F(DialogTest, ALogFolderThatCannotBeMadeEndsTheProgram) {
    WriteBytes(JoinPath(work.Path(), "file"), "x");
    services.logFolder = JoinPath(JoinPath(work.Path(), "file"), "log");
    DialogHarness dialog(services);
    ASSERT_TRUE(WaitFor([&] { return dialog.Ended(); }));
    ASSERT_EQ(services.Messages().size(), 1u);
    EXPECT_EQ(services.Messages()[0].text, "ログファイルの初期化に失敗しました。\n処理を続行することができません。");
    EXPECT_EQ(services.Messages()[0].kind, MessageKind::Stop);
    EXPECT_EQ(services.ExitCodes(), std::vector<int>{0});
}

}  // namespace
