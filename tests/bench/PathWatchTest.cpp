// The path watch: links matching a pattern come and go, in a folder that
// may itself appear only later.
#include <gtest/gtest.h>
#include <poll.h>

#include <filesystem>

#include "bench/InotifyPathWatch.h"
#include "common/TestKit.h"

namespace {

namespace fs = std::filesystem;

// What the watch reports once its descriptor is readable (bounded wait).
std::vector<std::string> NextChanges(bench::IPathWatch& watch) {
    std::vector<std::string> told;
    pollfd item{watch.Fd(), POLLIN, 0};
    while (told.empty() && ::poll(&item, 1, 5000) == 1) {
        for (const auto& change : watch.Drain()) {
            told.push_back((change.appeared ? "+" : "-") +
                           fs::path(change.path).filename().string());
        }
    }
    return told;
}

}  // namespace

TEST(PathWatch, ReportsMatchingLinksAsTheyComeAndGo) {
    testkit::CScratchDir dir;
    const std::string folder = dir.Path() + "/by-id";
    const std::string other = dir.Path() + "/other";
    fs::create_directory(other);
    fs::create_symlink("/dev/null", other + "/charger-0");
    bench::CInotifyPathWatch watch({folder + "/charger-*", other + "/charger-*"});
    ASSERT_GE(watch.Fd(), 0);
    EXPECT_EQ(watch.Present(), std::vector<std::string>{other + "/charger-0"});

    fs::create_directory(folder);  // the folder comes with the first adapter
    fs::create_symlink("/dev/null", folder + "/charger-1");
    fs::create_symlink("/dev/null", folder + "/modem-1");  // not ours
    std::vector<std::string> told = NextChanges(watch);
    if (told.empty() || told.back() != "+charger-1") {
        const auto more = NextChanges(watch);  // the link may come in a later batch
        told.insert(told.end(), more.begin(), more.end());
    }
    EXPECT_EQ(told, std::vector<std::string>{"+charger-1"});

    fs::remove(folder + "/charger-1");
    fs::remove(other + "/charger-0");
    told = NextChanges(watch);
    if (told.size() < 2) {
        const auto more = NextChanges(watch);
        told.insert(told.end(), more.begin(), more.end());
    }
    EXPECT_EQ(told, (std::vector<std::string>{"-charger-1", "-charger-0"}));
    EXPECT_TRUE(bench::CInotifyPathWatch::Watchable("/dev/serial/by-id/usb-*"));
    EXPECT_FALSE(bench::CInotifyPathWatch::Watchable("/tmp/bench-*/charger-1"));
}
