// The floating-point guard on Windows: a foreign library that unmasks the floating-point
// exceptions and changes the rounding — in the x87 control word and in the SSE control register,
// as a library built by another compiler may load its own — leaves nothing of it once the guard
// ends, and a division by zero gives infinity again instead of trapping.

#include "Platform.h"
#include "WinTest.h"

#include <float.h>
#include <xmmintrin.h>

namespace {

unsigned short x87Control()
{
    unsigned short word = 0;
    __asm__ volatile("fnstcw %0" : "=m"(word));
    return word;
}

// What a library does on its own: every exception unmasked, rounding upwards, on both units.
void unmaskLikeALibrary()
{
    const unsigned short word = (x87Control() & ~0x0C3F) | 0x0800;
    __asm__ volatile("fldcw %0" : : "m"(word));
    _mm_setcsr((_mm_getcsr() & ~0x7F80u) | 0x4000u);
}

} // namespace

int main()
{
    const unsigned short x87Before = x87Control();
    const unsigned int sseBefore = _mm_getcsr();
    unsigned int runtimeBefore = 0;
    _controlfp_s(&runtimeBefore, 0, 0);
    WinTest::currentCase() = "masked at start";
    CHECK_EQ(x87Before & 0x3F, 0x3F);
    CHECK_EQ(sseBefore & 0x1F80u, 0x1F80u);

    {
        const Platform::FloatingPointGuard guard;
        unmaskLikeALibrary();
        WinTest::currentCase() = "unmasked inside the guard";
        CHECK_EQ(x87Control() & 0x3F, 0);
        CHECK_EQ(_mm_getcsr() & 0x1F80u, 0u);
    }

    WinTest::currentCase() = "restored after the guard";
    CHECK_EQ(x87Control() & 0x0C3F, x87Before & 0x0C3F);
    CHECK_EQ(_mm_getcsr() & 0x7F80u, sseBefore & 0x7F80u);
    unsigned int runtimeAfter = 0;
    _controlfp_s(&runtimeAfter, 0, 0);
    CHECK_EQ(runtimeAfter & (_MCW_EM | _MCW_RC), runtimeBefore & (_MCW_EM | _MCW_RC));
    // Trapping here would end the program with an exception code instead of a report.
    volatile double one = 1.0, zero = 0.0;
    volatile long double x87One = 1.0L, x87Zero = 0.0L;
    CHECK(one / zero > DBL_MAX);
    CHECK(x87One / x87Zero > LDBL_MAX);
    return WinTest::finish();
}
