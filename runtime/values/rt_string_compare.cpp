// Comparisons of texts with texts and with numbers, yielding 1.0 or 0.0.
#include "runtime/values/rt_string_compare.h"

#include <cstring>

#include "runtime/values/rt_string.h"

namespace corvane {

namespace {

inline const char* Safe(const char* s) { return s ? s : ""; }
inline int Bytes(const char* a, const char* b) { return std::strcmp(Safe(a), Safe(b)); }
inline double Truth(bool b) { return b ? 1.0 : 0.0; }

// Equal cached lengths are needed first: a terminator stored by SetByteAt
// without a recount keeps the two values apart.
inline bool SameString(const RtString& a, const RtString& b) {
    return a.length == b.length && std::strcmp(a.Buffer(), b.Buffer()) == 0;
}

} // namespace

// Ordered text comparisons go by strcmp; numeric ones by the IEEE operators, which
// give exactly the NaN rules (= false, <> true, ordered false).
#define CORVANE_RT_COMPARE_DEFINE(OP, NAME)                                                          \
    double operator OP(const RtString& a, const char* b) { return Truth(Bytes(a.Buffer(), b) OP 0); } \
    double operator OP(const char* a, const RtString& b) { return Truth(Bytes(a, b.Buffer()) OP 0); } \
    double operator OP(const RtString& a, double b) { return Truth(a.Value() OP b); }                \
    double operator OP(const RtString& a, float b) { return Truth(a.Value() OP double(b)); }         \
    double operator OP(const RtString& a, int b) { return Truth(a.Value() OP double(b)); }           \
    double operator OP(double a, const RtString& b) { return Truth(a OP b.Value()); }                \
    double operator OP(float a, const RtString& b) { return Truth(double(a) OP b.Value()); }         \
    double operator OP(int a, const RtString& b) { return Truth(double(a) OP b.Value()); }           \
    double NAME(const char* a, const char* b) { return Truth(Bytes(a, b) OP 0); }                    \
    double NAME(const char* a, double b) { return Truth(TextValue(a) OP b); }                        \
    double NAME(const char* a, float b) { return Truth(TextValue(a) OP double(b)); }                 \
    double NAME(const char* a, int b) { return Truth(TextValue(a) OP double(b)); }                   \
    double NAME(double a, const char* b) { return Truth(a OP TextValue(b)); }                        \
    double NAME(float a, const char* b) { return Truth(double(a) OP TextValue(b)); }                 \
    double NAME(int a, const char* b) { return Truth(double(a) OP TextValue(b)); }

CORVANE_RT_COMPARE_DEFINE(==, TextEqual)
CORVANE_RT_COMPARE_DEFINE(!=, TextNotEqual)
CORVANE_RT_COMPARE_DEFINE(<, TextLess)
CORVANE_RT_COMPARE_DEFINE(>, TextGreater)
CORVANE_RT_COMPARE_DEFINE(<=, TextLessEqual)
CORVANE_RT_COMPARE_DEFINE(>=, TextGreaterEqual)

#undef CORVANE_RT_COMPARE_DEFINE

double operator==(const RtString& a, const RtString& b) { return Truth(SameString(a, b)); }
double operator!=(const RtString& a, const RtString& b) { return Truth(!SameString(a, b)); }
double operator<(const RtString& a, const RtString& b) { return Truth(Bytes(a.Buffer(), b.Buffer()) < 0); }
double operator>(const RtString& a, const RtString& b) { return Truth(Bytes(a.Buffer(), b.Buffer()) > 0); }
double operator<=(const RtString& a, const RtString& b) { return Truth(Bytes(a.Buffer(), b.Buffer()) <= 0); }
double operator>=(const RtString& a, const RtString& b) { return Truth(Bytes(a.Buffer(), b.Buffer()) >= 0); }

} // namespace corvane
