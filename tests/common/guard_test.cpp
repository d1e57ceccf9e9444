// What every exported function runs its work through: an exception of any
// type becomes the function's own failure status.
#include "quorvik_common/guard.h"

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>
#include <system_error>

namespace quorvik {
namespace {

TEST(Guard, AnyExceptionBecomesTheFailureStatus) {
    const std::function<void()> throwers[] = {
        [] { throw std::bad_alloc(); },
        [] {
            throw std::system_error(std::make_error_code(std::errc::resource_deadlock_would_occur));
        },
        [] { throw std::out_of_range("bank"); }, [] { throw 42; },  // not even a std::exception
    };
    for (std::size_t i = 0; i < std::size(throwers); ++i) {
        auto work = [&] {
            throwers[i]();
            return 0;
        };
        EXPECT_EQ(guard::run(-7, work), -7) << "thrower " << i;
        char untouched = 'u';
        char* text = &untouched;
        EXPECT_EQ(guard::run_with_text(-8, &text, work), -8) << "thrower " << i;
        EXPECT_EQ(text, nullptr) << "thrower " << i << ": the caller's text is cleared";
        EXPECT_EQ(guard::run_with_text(-8, nullptr, work), -8) << "thrower " << i;
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
