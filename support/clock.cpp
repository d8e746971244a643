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
