// What the attempt-loop and batch tests share: a run against a server text that is not an
// address, so every attempt fails at once with "sock err", locally, and sleeps that are counted
// instead of slept.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "app/input_params.hpp"
#include "app/query_run.hpp"
#include "dns/dns_record.hpp"

namespace resq::testing_support {

inline std::size_t count(const std::string& text, const std::string& word) {
    std::size_t n = 0;
    for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
        ++n;
    }
    return n;
}

struct run_fixture : testing::Test {
    run_fixture() { options.server = "not-an-address"; }

    input_params options;
    dns_record query;
    dns_exchange attempt;
    std::vector<std::chrono::milliseconds> sleeps;
    run_hooks hooks{[this](std::chrono::milliseconds delay) { sleeps.push_back(delay); }, {}};
};

}  // namespace resq::testing_support
