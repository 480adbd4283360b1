// Random values over a range; the timer itself is tested on a driven clock in
// tests/linux/test_timer.cpp.
#include "Core/Timer.h"

#include <gtest/gtest.h>

#include <stdlib.h>

TEST(RangeValue, ConstantUniformAndSlopedSamples) {
    srand(1234);
    RangeValue constant(5.0f);
    EXPECT_TRUE(constant.IsConstant());
    for (int i = 0; i < 100; ++i) EXPECT_EQ(constant.Sample(), 5.0);

    RangeValue uniform;
    uniform.Set(0.0f, 1.0f, 10.0f, 1.0f);
    EXPECT_FALSE(uniform.IsConstant());
    double lowHalf = 0, n = 20000;
    for (int i = 0; i < n; ++i) {
        const double v = uniform.Sample();
        ASSERT_GE(v, 0.0);
        ASSERT_LE(v, 10.0);
        if (v < 5.0) ++lowHalf;
    }
    EXPECT_NEAR(lowHalf / n, 0.5, 0.03);

    RangeValue rising;
    rising.Set(0.0f, 0.0f, 10.0f, 1.0f);
    double high = 0, low = 0;
    for (int i = 0; i < n; ++i) {
        const double v = rising.Sample();
        ASSERT_GE(v, 0.0);
        ASSERT_LE(v, 10.0);
        if (v > 7.5) ++high;
        if (v < 2.5) ++low;
    }
    // A linear density from 0 to 1 puts 7/16 of the mass above 7.5 and 1/16 below 2.5.
    EXPECT_NEAR(high / n, 7.0 / 16.0, 0.03);
    EXPECT_NEAR(low / n, 1.0 / 16.0, 0.03);

    RangeValue degenerate;
    degenerate.SetAll(3.0f, 1.0f, 3.0f, 1.0f, 3.0f, 1.0f);  // no area: the first point
    EXPECT_EQ(degenerate.Sample(), 3.0);
}
