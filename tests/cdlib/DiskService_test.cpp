// SPDX-License-Identifier: GPL-3.0-or-later
// Eject through udisks2 over D-Bus, against a stand-in service on a private
// bus: what is unmounted and ejected, and when the service refuses.
#include "drives/physical/DiskService.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace cdlib::testing {
namespace {

namespace fs = std::filesystem;

std::string readText(const fs::path& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

pid_t spawn(const std::vector<std::string>& command) {
    std::vector<char*> arguments;
    for (const std::string& argument : command) {
        arguments.push_back(const_cast<char*>(argument.c_str()));
    }
    arguments.push_back(nullptr);
    pid_t pid = -1;
    return posix_spawn(&pid, arguments[0], nullptr, nullptr, arguments.data(), environ) == 0 ? pid
                                                                                             : -1;
}

void end(pid_t pid) {
    if (pid > 0) {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
}

class DiskServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() / ("varrow-udisks-" + std::to_string(getpid()));
        fs::create_directories(folder_);
        bus_ = spawn({"/usr/bin/dbus-daemon", "--config-file=/usr/share/dbus-1/session.conf",
                      "--nofork", "--address=unix:path=" + (folder_ / "bus").string()});
        ASSERT_GT(bus_, 0);
        ASSERT_TRUE(waitFor([&] { return fs::exists(folder_ / "bus"); }));
        setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + (folder_ / "bus").string()).c_str(), 1);
    }

    void TearDown() override {
        end(service_);
        end(bus_);
        unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
        fs::remove_all(folder_);
    }

    static bool waitFor(const std::function<bool()>& ready) {
        for (int i = 0; i < 200; ++i) {
            if (ready()) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    void startService(const std::string& unmount) {
        service_ = spawn({"/usr/bin/python3", VARROW_FAKE_UDISKS, log().string(), unmount});
        ASSERT_GT(service_, 0);
        ASSERT_TRUE(waitFor([&] { return readText(log()) == "ready\n"; }));
    }

    fs::path log() const { return folder_ / "calls.log"; }

    fs::path folder_;
    pid_t bus_ = -1;
    pid_t service_ = -1;
};

TEST_F(DiskServiceTest, UnmountsThenEjects) {
    struct Case {
        const char* unmount;
        bool ejected;
        const char* calls;
    };
    const Case cases[] = {
        {"ok", true, "ready\nunmount\neject\n"},
        {"notmounted", true, "ready\nunmount\neject\n"},
        {"busy", false, "ready\nunmount\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.unmount);
        end(service_);
        fs::remove(log());
        startService(c.unmount);
        EXPECT_EQ(ejectWithUdisks("/dev/sr0"), c.ejected);
        EXPECT_EQ(readText(log()), c.calls);
    }
}

TEST_F(DiskServiceTest, NoServiceIsAFailureNotAWait) {
    EXPECT_FALSE(ejectWithUdisks("/dev/sr0"));
    setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + (folder_ / "none").string()).c_str(), 1);
    EXPECT_FALSE(ejectWithUdisks("/dev/sr0"));
}

} // namespace
} // namespace cdlib::testing
