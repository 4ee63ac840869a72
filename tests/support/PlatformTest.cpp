#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

#include "platform/Event.h"
#include "platform/LastError.h"

namespace {

using platform::CEvent;

TEST(Event, ManualResetStaysSignalledUntilReset) {
    CEvent event(CEvent::Mode::ManualReset);
    ASSERT_TRUE(event.Valid());
    EXPECT_FALSE(event.TryWait());
    event.Set();
    EXPECT_TRUE(event.TryWait());
    EXPECT_TRUE(event.TryWait());
    event.Reset();
    EXPECT_FALSE(event.TryWait());
}

TEST(Event, AutoResetWakesOneWaitAndFoldsSignals) {
    CEvent event(CEvent::Mode::AutoReset);
    event.Set();
    event.Set();
    EXPECT_TRUE(event.TryWait());
    EXPECT_FALSE(event.TryWait());
}

TEST(Event, WaitForAnyPrefersEarlierItemsAndTimesOut) {
    CEvent exitEvent(CEvent::Mode::ManualReset);
    CEvent work(CEvent::Mode::AutoReset);
    platform::WaitItem items[2];
    items[0].event = &exitEvent;
    items[1].event = &work;
    EXPECT_EQ(platform::WaitForAny(items, 2, 0), platform::kWaitTimeout);
    work.Set();
    exitEvent.Set();
    EXPECT_EQ(platform::WaitForAny(items, 2, 100), 0);
    exitEvent.Reset();
    EXPECT_EQ(platform::WaitForAny(items, 2, 100), 1);
}

TEST(Event, SetFromAnotherThreadEndsAWait) {
    CEvent event(CEvent::Mode::ManualReset);
    std::thread setter([&event] { event.Set(); });
    EXPECT_TRUE(event.Wait(10000));
    setter.join();
}

TEST(LastError, IsPerThreadAndComesFromOurWrappers) {
    platform::SetLastError(0);
    errno = ENOENT;
    EXPECT_EQ(platform::GetLastError(), 0U);  // raw errno is never read
    platform::SetLastErrorFromErrno();
    EXPECT_EQ(platform::GetLastError(), static_cast<std::uint32_t>(ENOENT));
    std::uint32_t seenByOther = 99;
    std::thread other([&seenByOther] { seenByOther = platform::GetLastError(); });
    other.join();
    EXPECT_EQ(seenByOther, 0U);
    platform::SetLastError(0);
}

TEST(LastError, SystemTextIsWrappedAt80Columns) {
    EXPECT_EQ(platform::SystemErrorText(ENOENT), "No such file or directory");
    for (std::uint32_t code = 1; code < 134; ++code) {
        const std::string text = platform::SystemErrorText(code);
        std::size_t start = 0;
        while (start <= text.size()) {
            const std::size_t end = std::min(text.find("\r\n", start), text.size());
            EXPECT_LE(end - start, 80U) << "code " << code;
            start = end + 2;
        }
    }
    EXPECT_EQ(platform::SystemErrorText(0x7FFFFFF0U), "");
}

}  // namespace
