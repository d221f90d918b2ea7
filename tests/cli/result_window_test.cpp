// The batch's ordered window, in-process: a job may run ahead of the printer
// by the window's slots and no further, so that a slow picture holds memory
// at the window's size, and every result comes out in input order.
#include "result_window.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <future>

namespace quadfind::cli {
namespace {

TEST(ResultWindow, ClaimsWaitForThePrinterAndResultsComeInOrder) {
    ResultWindow window(5, 2, false);
    ASSERT_EQ(window.claim(), 0u);
    ASSERT_EQ(window.claim(), 1u);
    // Both slots hold unprinted results' places: a third claim waits. The
    // bound only limits how long the test looks; a claim that returns at all
    // before the printer moves is the fault.
    auto third = std::async(std::launch::async, [&] { return window.claim(); });
    EXPECT_EQ(third.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout)
        << "picture 2 was claimed with pictures 0 and 1 unprinted";
    window.handOver(1, {"one\n", "", std::nullopt});
    window.handOver(0, {"zero\n", "", std::nullopt});
    const std::optional<Result> first = window.next();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->out, "zero\n") << "printed out of input order";
    window.printed(false);
    EXPECT_EQ(third.get(), 2u) << "printing picture 0 makes room for picture 2";
    EXPECT_EQ(window.next()->out, "one\n");
    window.printed(false);
    window.interrupt(SIGINT);
    EXPECT_EQ(window.claim(), std::nullopt) << "claims go on after the batch was interrupted";
    EXPECT_EQ(window.interruption(), SIGINT);
}

} // namespace
} // namespace quadfind::cli
