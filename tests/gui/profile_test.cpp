// The dialog program for a user whose profile folder's name holds characters that code page 932
// lacks (𠮷, é): run in a Wine prefix set up so (cmake/wine-profile.sh), with TOLVA_TEST_PROFILE
// naming that folder; elsewhere the same with the prefix's own profile. The log folder is found
// through the short form of the user's folder, made in the profile itself, and the dialog starts.
#include <gtest/gtest.h>
#include <windows.h>
// (windows.h first: the headers below need its types.)
#include <shlobj.h>

#include <cstdlib>

#include "platform/platform.h"
#include "support/log_file.h"
#include "support/paths.h"
#include "tests/gui/dialog_harness.h"
#include "ui/win/wide_text.h"

namespace {

std::wstring LongForm(const std::string& path) {
    wchar_t full[1024] = {};
    const DWORD length = GetLongPathNameW(ToWide(path).c_str(), full, 1024);
    return length > 0 && length < 1024 ? std::wstring(full, length) : std::wstring();
}

TEST(ProfileTest, TheDialogStartsWithItsLogInTheUsersOwnFolder) {
    wchar_t appData[MAX_PATH] = {};
    ASSERT_TRUE(SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData)));
    if (const wchar_t* profile = _wgetenv(L"TOLVA_TEST_PROFILE")) {
        ASSERT_NE(std::wstring(appData).find(std::wstring(L"\\") + profile + L"\\"), std::wstring::npos)
            << "the prefix's application data folder is not in the test's profile";
    }
    const std::string logFolder = DefaultLogFolder();
    ASSERT_FALSE(logFolder.empty()) << "no log folder for this user";

    ScriptedServices services;
    services.logFolder = logFolder;
    {
        DialogHarness dialog(services);
        ASSERT_TRUE(dialog.Dialog().IsValid()) << "the dialog did not start";
        EXPECT_TRUE(services.Messages().empty()) << services.Messages().front().text;
    }
    // The folder made is the one in the user's own profile, and the log is written there.
    EXPECT_EQ(LongForm(logFolder), std::wstring(appData) + L"\\Tolvarenquista\\Log");
    CLogFile log(__FILE__);
    ASSERT_TRUE(log.InitLog(logFolder, CLogFile::kOwnLogs));
    log.WriteLog(__LINE__, "ProfileTest");
    EXPECT_TRUE(platform::PathExists(log.Path()));
    EXPECT_EQ(LongForm(log.Path()).rfind(std::wstring(appData) + L"\\Tolvarenquista\\Log\\", 0), 0u);
    int error = 0;
    EXPECT_TRUE(platform::RemoveFile(log.Path(), &error)) << error;
}

}  // namespace
