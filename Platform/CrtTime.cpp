// The Windows runtime's local date and time texts over the C library's clock.
#include <time.h>

#include <stdio.h>

namespace {
struct tm LocalNow() {
    const time_t now = time(nullptr);
    struct tm local {};
    localtime_r(&now, &local);
    return local;
}
}  // namespace

extern "C" char* _strdate(char* buffer) {
    const struct tm t = LocalNow();
    snprintf(buffer, 9, "%02u/%02u/%02u", static_cast<unsigned>(t.tm_mon + 1) % 100u,
             static_cast<unsigned>(t.tm_mday) % 100u, static_cast<unsigned>(t.tm_year) % 100u);
    return buffer;
}

extern "C" char* _strtime(char* buffer) {
    const struct tm t = LocalNow();
    snprintf(buffer, 9, "%02u:%02u:%02u", static_cast<unsigned>(t.tm_hour) % 100u,
             static_cast<unsigned>(t.tm_min) % 100u, static_cast<unsigned>(t.tm_sec) % 100u);
    return buffer;
}
