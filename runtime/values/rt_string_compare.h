// Comparison operators of RtString with texts and numbers. Every comparison
// yields the language's truth numbers: 1.0 for true, 0.0 for false.
//
// Text with text: byte-wise by the strcmp rule. Equality of two RtStrings also
// requires equal cached lengths (checked first).
// Text with number: the text's atof value against the number, in double precision
// (floats widened, ints converted); with a NaN on either side = yields 0, <> yields 1
// and the ordered comparisons yield 0.
//
// C++ cannot overload operators on two built-in types, so plain text with plain
// text, and plain text with a number, are the named functions Text*.
#pragma once

namespace corvane {

class RtString;

#define CORVANE_RT_COMPARE_DECLARE(OP, NAME)                                        \
    double operator OP(const RtString& a, const RtString& b);                      \
    double operator OP(const RtString& a, const char* b);                          \
    double operator OP(const char* a, const RtString& b);                          \
    double operator OP(const RtString& a, double b);                               \
    double operator OP(const RtString& a, float b);                                \
    double operator OP(const RtString& a, int b);                                  \
    double operator OP(double a, const RtString& b);                               \
    double operator OP(float a, const RtString& b);                                \
    double operator OP(int a, const RtString& b);                                  \
    double NAME(const char* a, const char* b);                                     \
    double NAME(const char* a, double b);                                          \
    double NAME(const char* a, float b);                                           \
    double NAME(const char* a, int b);                                             \
    double NAME(double a, const char* b);                                          \
    double NAME(float a, const char* b);                                           \
    double NAME(int a, const char* b);

// ---------------------------------------------------------------- the six comparisons
CORVANE_RT_COMPARE_DECLARE(==, TextEqual)          // =
CORVANE_RT_COMPARE_DECLARE(!=, TextNotEqual)       // <>
CORVANE_RT_COMPARE_DECLARE(<, TextLess)            // <
CORVANE_RT_COMPARE_DECLARE(>, TextGreater)         // >
CORVANE_RT_COMPARE_DECLARE(<=, TextLessEqual)      // <=
CORVANE_RT_COMPARE_DECLARE(>=, TextGreaterEqual)   // >=

#undef CORVANE_RT_COMPARE_DECLARE

} // namespace corvane
