// Pictures of the dialog program for people without Windows: the main dialog after listing a
// folder of claim files, with rows ticked, after a finished run, the About box, the verification
// dialog after the run's disc passed and after one byte of an output was changed, and the main dialog
// after a run in which a file with faulty records was rejected, each written as a 24-bit BMP file.
// Runs under Wine (make screenshot turns the files into PNG), at the DPI of the Wine prefix. The
// claims are copied into a folder on drive C: and converted into another, the same in every run, so
// that the same program draws the same pictures.
//   dialog_screenshots.exe CLAIMS_FOLDER PICTURE_FOLDER
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/messages.h"
#include "platform/platform.h"
#include "support/paths.h"
#include "tests/gui/dialog_harness.h"
#include "tests/test_support.h"
#include "ui/resource_ids.h"
#include "ui/win/wide_text.h"

namespace {

// Lets Wine put the last changes of a window on the screen before it is copied.
constexpr int kSettleMilliseconds = 500;

// The folders the pictures show, as an operator's might be named.
const char kInputFolder[] = "C:\\レセプト";
const char kOutputFolder[] = "C:\\提出データ";

void RemoveFolder(const std::string& folder) {
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(ToWide(folder)), ignored);
}

// The claims in a fresh input folder, and an empty output folder.
void PrepareFolders(const std::string& claims) {
    for (const char* folder : {kInputFolder, kOutputFolder}) {
        RemoveFolder(folder);
        CreateFolderTree(folder);
    }
    for (const std::string& name : ListNames(claims)) {
        WriteBytes(JoinPath(kInputFolder, name), ReadBytes(JoinPath(claims, name)));
    }
}

// The first lines of a sample claim file (from its column header on) with a fault of each kind a row
// names: line 17 lacks its last field, and line 30 holds a 保険者番号 of 9 bytes. A run rejects the
// file at line 17; check names both lines. The operators' guide quotes both, and the report's block.
std::string FaultyClaims(const std::string& sample) {
    constexpr int kLines = 40;
    constexpr int kShortLine = 17;
    constexpr int kLongInsurerLine = 30;
    constexpr std::size_t kInsurerTooLong = 9;
    std::string faulty;
    std::size_t start = sample.find("\r\n") + 2;  // past the sample's title, a comment of its generator
    for (int line = 1; line <= kLines; ++line) {
        const std::size_t end = sample.find("\r\n", start);
        std::string text = sample.substr(start, end - start);
        start = end + 2;
        if (line == kShortLine) text.erase(text.rfind(','));
        if (line == kLongInsurerLine) {
            // 保険者番号 is the third field.
            const std::size_t before = text.find(',', text.find(',') + 1);
            const std::size_t after = text.find(',', before + 1);
            text.insert(after, std::string(kInsurerTooLong - (after - before - 1), '0'));
        }
        faulty += text + "\r\n";
    }
    return faulty;
}

// Copies a window's rectangle from the screen into a BMP file; false when that fails.
bool CaptureWindow(const CWindow& window, const std::string& path) {
    RedrawWindow(window.Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    platform::SleepMilliseconds(kSettleMilliseconds);
    RECT rect{};
    GetWindowRect(window.Handle(), &rect);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(memory, old);

    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;  // rows bottom first, as BMP files keep them
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    const int stride = (width * 3 + 3) & ~3;
    std::vector<unsigned char> pixels(static_cast<std::size_t>(stride) * height);
    const int rows =
        GetDIBits(memory, bitmap, 0, height, pixels.data(), reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    if (rows != height) return false;

    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    std::string bytes(reinterpret_cast<const char*>(&file), sizeof file);
    bytes.append(reinterpret_cast<const char*>(&info), sizeof info);
    bytes.append(reinterpret_cast<const char*>(pixels.data()), pixels.size());
    WriteBytes(path, bytes);
    std::printf("%s\n", path.c_str());
    return true;
}

// Verifies the run's output folder as a disc from the system menu and pictures the dialog once the
// verdict is told; false when the dialog did not come or did not finish.
bool CaptureVerification(DialogHarness& dialog, ScriptedServices& services, const std::string& report,
                         const std::string& path) {
    const std::size_t notices = services.Notices().size();
    services.AddChosenFile(report);
    PostMessageW(dialog.Dialog().Handle(), WM_SYSCOMMAND, IDM_VERIFY_DISC, 0);
    CWindow verifier;
    if (!WaitFor([&] { return (verifier = dialog.FindThreadWindow("ディスクの確認")).IsValid(); })) return false;
    if (!WaitFor([&] { return services.Notices().size() > notices; })) return false;
    const bool captured = CaptureWindow(verifier, path);
    PostMessageW(verifier.Item(IDCANCEL).Handle(), BM_CLICK, 0, 0);
    WaitFor([&] { return !verifier.IsValid(); });
    return captured;
}

// Presses 変換(&C) (its question answered Yes by the script) and waits until the run has ended, the
// program's reports-th report opened, and the status bar says so. Started at the turn of a second, so
// that the short run shows the same time (0 seconds). False when the run did not end.
bool RunToEnd(DialogHarness& dialog, ScriptedServices& services, std::size_t reports) {
    const std::int64_t second = platform::Now();
    WaitFor([&] { return platform::Now() != second; }, 2000);
    dialog.Click(IDC_CONVERT);
    if (!WaitFor([&] {
            return services.OpenedReports().size() == reports && dialog.Control(IDC_CONVERT).GetText() == "変換(&C)";
        })) {
        return false;
    }
    WaitFor([&] { return dialog.StatusText().GetText().rfind("カルデノ　正常終了", 0) == 0; });
    return true;
}

// Ticks a row by a click on its check box, the way an operator does; false when it stays unticked.
bool TickRow(const DialogHarness& dialog, const CListView& list, int row) {
    dialog.PostClick(list, WM_LBUTTONDOWN, WM_LBUTTONUP, CheckBoxSpan(list, row).Middle(), RowMiddle(list, row));
    return WaitFor([&] { return list.GetCheck(row) == 1; });
}

int Fail(const char* what) {
    std::fprintf(stderr, "dialog_screenshots: %s\n", what);
    return 1;
}

}  // namespace

int main() {
    const std::vector<std::string> args = platform::CommandLineArguments(0, nullptr);
    if (args.size() != 2) return Fail("usage: dialog_screenshots CLAIMS_FOLDER PICTURE_FOLDER");
    const std::string& claims = args[0];
    const std::string& pictures = args[1];
    CreateFolderTree(pictures);
    PrepareFolders(claims);
    const std::string output = kOutputFolder;
    TempDir work;

    ScriptedServices services;
    services.logFolder = JoinPath(work.Path(), "log");
    services.AddBrowseResult(kInputFolder);
    services.AddBrowseResult(output);
    services.AddAnswers({true});
    DialogHarness dialog(services);
    if (!dialog.Dialog().IsValid()) return Fail("the dialog did not start");

    dialog.Click(IDC_BROWSE_INPUT);
    const CListView list = dialog.List();
    if (!WaitFor([&] { return list.ItemCount() > 0; })) return Fail("the claims were not listed");
    dialog.Click(IDC_BROWSE_OUTPUT);
    if (!WaitFor([&] { return dialog.Control(IDC_OUTPUT_FOLDER).GetText() == output; })) return Fail("no output");
    if (!CaptureWindow(dialog.Dialog(), JoinPath(pictures, "main-listed.bmp"))) return Fail("capture");

    // Every row but the second ticked.
    for (int row = 0; row < list.ItemCount(); ++row) {
        if (row != 1 && !TickRow(dialog, list, row)) return Fail("a row could not be ticked");
    }
    dialog.SplitSize().SetCurSel(2);
    if (!CaptureWindow(dialog.Dialog(), JoinPath(pictures, "main-ticked.bmp"))) return Fail("capture");

    if (!RunToEnd(dialog, services, 1)) return Fail("the run did not end");
    if (!CaptureWindow(dialog.Dialog(), JoinPath(pictures, "main-finished.bmp"))) return Fail("capture");

    PostMessageW(dialog.Dialog().Handle(), WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
    CWindow about;
    if (!WaitFor([&] { return (about = dialog.FindThreadWindow("バージョン情報")).IsValid(); })) return Fail("about");
    if (!CaptureWindow(about, JoinPath(pictures, "about.bmp"))) return Fail("capture");
    PostMessageW(about.Item(IDOK).Handle(), BM_CLICK, 0, 0);
    WaitFor([&] { return !about.IsValid(); });

    // The disc as the run wrote it, then with one digit of a date of its first output changed.
    const std::string report = services.OpenedReports()[0];
    if (!CaptureVerification(dialog, services, report, JoinPath(pictures, "verify-passed.bmp")))
        return Fail("verification");
    const std::vector<std::string> names = ListNames(output);
    const auto firstOutput =
        std::find_if(names.begin(), names.end(), [](const std::string& name) { return name.ends_with("_001.CSV"); });
    if (firstOutput == names.end()) return Fail("no output");
    ChangeADateDigit(JoinPath(output, *firstOutput));
    if (!CaptureVerification(dialog, services, report, JoinPath(pictures, "verify-failed.bmp")))
        return Fail("verification");

    // A file with faulty records beside the samples, listed again; it and the first sample are ticked
    // and converted into the emptied output folder: the faulty file's row tells why it was rejected.
    RemoveFolder(output);
    CreateFolderTree(output);
    WriteBytes(JoinPath(kInputFolder, "20080423120003.csv"),
               FaultyClaims(ReadBytes(JoinPath(claims, ListNames(claims).front()))));
    services.AddBrowseResult(kInputFolder);
    services.AddAnswers({true});
    const int listed = list.ItemCount();
    dialog.Click(IDC_BROWSE_INPUT);
    if (!WaitFor([&] { return list.ItemCount() == listed + 1; })) return Fail("the faulty file was not listed");
    if (!TickRow(dialog, list, 0) || !TickRow(dialog, list, listed)) return Fail("a row could not be ticked");
    if (!RunToEnd(dialog, services, 2)) return Fail("the run with a faulty file did not end");
    if (!CaptureWindow(dialog.Dialog(), JoinPath(pictures, "main-rejected.bmp"))) return Fail("capture");
    for (const char* folder : {kInputFolder, kOutputFolder}) RemoveFolder(folder);
    return 0;
}
