// The calendar clock as the engine and the log see it. Time-dependent behaviour (the open retry's
// waits, the report's name, the log's date) goes through this seam so that tests can replace it.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

class IClock {
public:
    virtual ~IClock() = default;
    // Seconds since the epoch.
    virtual std::int64_t Now() = 0;
    // Local time of a clock reading; false when the conversion fails.
    virtual bool ToLocalTime(std::int64_t time, std::tm& out) = 0;
    // Lets time pass (the real clock sleeps; a test clock may simply advance).
    virtual void Sleep(int milliseconds) = 0;
};

// The machine's clock. Shared, stateless, callable from any thread.
IClock& SystemClock();

// Formats a clock reading as local time with a strftime pattern; the empty text when the conversion
// or the formatting fails (a 128-byte buffer, as every caller needs far less).
std::string FormatLocalTime(IClock& clock, std::int64_t time, const char* pattern);

// A run's duration as the operator reads it: "処理時間 1時間1分1秒", "処理時間 1分0秒", "処理時間 59秒".
std::string ElapsedText(std::int64_t seconds);
