#include "platform/win32/windows_headers.h"

#include "platform/win32/win32_clock.h"

namespace murl {

DateTime Win32Clock::Now() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

}  // namespace murl
