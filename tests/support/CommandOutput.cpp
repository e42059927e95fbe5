// SPDX-License-Identifier: GPL-3.0-or-later
#include "CommandOutput.h"

#include <array>
#include <cstdio>
#include <gtest/gtest.h>
#include <memory>

namespace varrow::testing {

std::string commandOutput(const std::string& command) {
    const std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    std::string output;
    std::array<char, 4096> buffer{};
    for (std::size_t read = 0;
         pipe && (read = std::fread(buffer.data(), 1, buffer.size(), pipe.get())) > 0;) {
        output.append(buffer.data(), read);
    }
    EXPECT_TRUE(pipe) << command;
    return output;
}

} // namespace varrow::testing
