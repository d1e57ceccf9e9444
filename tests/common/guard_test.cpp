// What every exported function runs its work through: any exception, of any
// type, becomes the function's own failure status.
#include "quorvik_common/guard.h"

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>
#include <system_error>

namespace quorvik {
namespace {

TEST(Guard, AnyExceptionBecomesTheFailureStatus) {
    const struct {
        const char* what;
        std::function<void()> thrower;
    } thrown[] = {
        {"bad_alloc", [] { throw std::bad_alloc(); }},
        {"system_error from a lock",
         [] {
             throw std::system_error(
                 std::make_error_code(std::errc::resource_deadlock_would_occur));
         }},
        {"out_of_range", [] { throw std::out_of_range("bank"); }},
        {"not even a std::exception", [] { throw 42; }},
    };
    for (const auto& t : thrown) {
        auto work = [&] {
            t.thrower();
            return 0;
        };
        EXPECT_EQ(guard::run(-7, work), -7) << t.what;
        char untouched = 'u';
        char* text = &untouched;
        EXPECT_EQ(guard::run_with_text(-8, &text, work), -8) << t.what;
        EXPECT_EQ(text, nullptr) << t.what << ": the caller's text is cleared";
        EXPECT_EQ(guard::run_with_text(-8, nullptr, work), -8) << t.what;
    }
    // Work that does not throw answers for itself, the text as it left it.
    EXPECT_EQ(guard::run(-7, [] { return 3; }), 3);
    char kept = 'k';
    char* text = &kept;
    EXPECT_EQ(guard::run_with_text(-8, &text, [] { return 4; }), 4);
    EXPECT_EQ(text, &kept);
}

}  // namespace
}  // namespace quorvik
