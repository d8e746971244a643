#include "support/clock.h"

#include "platform/platform.h"

namespace {

class CSystemClock : public IClock {
public:
    std::int64_t Now() override { return platform::Now(); }
    bool ToLocalTime(std::int64_t time, std::tm& out) override { return platform::ToLocalTime(time, out); }
    void Sleep(int milliseconds) override { platform::SleepMilliseconds(milliseconds); }
};

constexpr std::size_t kTimeTextSize = 128;

}  // namespace

IClock& SystemClock() {
    static CSystemClock clock;
    return clock;
}

std::string FormatLocalTime(IClock& clock, std::int64_t time, const char* pattern) {
    std::tm local{};
    if (!clock.ToLocalTime(time, local)) return std::string();
    char text[kTimeTextSize];
    std::size_t length = std::strftime(text, sizeof text, pattern, &local);
    return std::string(text, length);
}

std::string ElapsedText(std::int64_t seconds) {
    const std::int64_t hours = seconds / 3600, minutes = seconds % 3600 / 60;
    std::string text = "処理時間 ";
    if (hours >= 1) text += std::to_string(hours) + "時間";
    if (hours >= 1 || minutes >= 1) text += std::to_string(minutes) + "分";
    return text + std::to_string(seconds % 60) + "秒";
}
