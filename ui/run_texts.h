// The dialog's words for a run, without a window: CRunTexts turns the engine's events into the status
// text, the rows' status column, the button's text and the lock of the input controls, each at its event's
// moment. The dialog and the tests' recording host derive from it (worker thread).
#pragma once

#include <cstdint>
#include <string>

#include "engine/run_host.h"
#include "support/clock.h"

inline constexpr char kButtonConvert[] = "変換(&C)";
inline constexpr char kButtonAbort[] = "中断(&C)";
inline constexpr char kStatusRunning[] = "カルデノ　処理中．．．";
inline constexpr char kStatusWaiting[] = "]を他のプログラムが使用中です。使用が終わるのを待っています．．．";
inline constexpr char kStatusAborted[] = "処理を中断しました。";
inline constexpr char kStatusFailed[] = "カルデノ　異常終了";

class CRunTexts : public IRunHost {
public:
    void OnRunStarted() override {
        EnableControls(false);
        SetStatusText(kStatusRunning);
    }
    void OnWaiting(const std::string& path) override { SetStatusText("ファイル[" + path + kStatusWaiting); }
    void OnWaitOver() override { SetStatusText(kStatusRunning); }
    void OnFileStarted(int row) override { SetRowStatusText(row, RowText(Processing)); }
    void OnFileEnded(int row, FileStatus status, const FileResult& result) override {
        SetRowStatusText(row, result.message.empty() ? RowText(status) : result.message);
    }
    // The button reads 変換(&C) again as soon as an abort is confirmed, before the run has tidied up.
    void OnRunStopped(RunEnd why) override {
        if (why == RunEnd::Aborted) SetConvertButtonText(kButtonConvert);
        SetStatusText(why == RunEnd::Aborted ? kStatusAborted : kStatusFailed);
    }
    void OnInputFree() override { EnableControls(true); }
    void OnRunEnded(RunEnd why, std::int64_t seconds) override {
        SetConvertButtonText(kButtonConvert);
        if (why == RunEnd::Completed) SetStatusText("カルデノ　正常終了 (" + ElapsedText(seconds) + ")");
    }

protected:
    // Where the texts go; the last two do nothing for a host without the button and the input controls.
    virtual void SetStatusText(const std::string& text) = 0;
    virtual void SetRowStatusText(int row, const std::string& text) = 0;
    virtual void SetConvertButtonText(const std::string& /*text*/) {}
    virtual void EnableControls(bool /*enable*/) {}

private:
    static const char* RowText(FileStatus status) {
        switch (status) {
            case Processing: return "処理中";
            case Normal: return "正常";
            case Aborted: return "中断";
            case ColumnCountError: return "カラム数エラー";
            case Failed: return "異常";
            default: return "";
        }
    }
};
