#include <gtest/gtest.h>

#include <string>

#include "ee/console_out.h"

#include "ZevEngine2/Utilities.h"

namespace {

// Formats through vsprintf without the compiler's format checking, so that
// the game's own quirks (%p takes no argument, %g prints nothing) can be fed.
std::string Fmt(const char* format, ...)
{
    char buffer[1024];
    va_list ap;
    va_start(ap, format);
    int n = vsprintf(buffer, format, ap);
    va_end(ap);
    EXPECT_EQ(n, (int)std::strlen(buffer)) << "count for format " << format;
    return buffer;
}

// sscanf without format checking: '*' in the game's scan language is a width
// taken from the arguments, not suppression.
int (*const Scan)(const char*, const char*, ...) = sscanf;

// printf without format checking, for widths and precisions far beyond any
// real output.
int Print(const char* format, ...)
{
    va_list ap;
    va_start(ap, format);
    int n = vprintf(format, ap);
    va_end(ap);
    return n;
}

// Runs f with console echo off and returns what it wrote to the console.
template <typename F>
std::string ConsoleOutputOf(F f)
{
    console::SetConsoleEcho(false);
    std::string before = console::ConsoleText();
    f();
    std::string after = console::ConsoleText();
    console::SetConsoleEcho(true);
    return after.substr(before.size());
}

}  // namespace

TEST(Utilities, SignedDecimalSignAndPadding)
{
    EXPECT_EQ(Fmt("%05d", -42), "-0042");
    EXPECT_EQ(Fmt("%5d", -42), "  -42");
    EXPECT_EQ(Fmt("%-5d", -42), "-42  ");
    EXPECT_EQ(Fmt("%-05d", -42), "-42  ");   // '-' wins over '0'
    EXPECT_EQ(Fmt("%+d|% d|%+ d", 5, 5, 5), "+5| 5|+5");
    EXPECT_EQ(Fmt("%+05i", 7), "+0007");
    EXPECT_EQ(Fmt("%d", 0), "0");
    EXPECT_EQ(Fmt("%d", (int)0x80000000), "-2147483648");
    EXPECT_EQ(Fmt("%2d", 12345), "12345");   // never cut to the width
    EXPECT_EQ(Fmt("%*d|%-*d|", 4, 7, 3, 7), "   7|7  |");
}

TEST(Utilities, UnsignedRadixesPrintUpperCase)
{
    EXPECT_EQ(Fmt("%x", 255), "FF");
    EXPECT_EQ(Fmt("%X|%x", 0xabcu, 0xdefu), "ABC|DEF");
    EXPECT_EQ(Fmt("%08x", 0xbeefu), "0000BEEF");
    EXPECT_EQ(Fmt("%6x|%-6x|", 255u, 255u), "    FF|FF    |");
    EXPECT_EQ(Fmt("%o|%u", 8u, 4294967295u), "10|4294967295");
    EXPECT_EQ(Fmt("%#x|%lx", 255u, 255u), "FF|FF");   // '#' and 'l' have no effect
}

TEST(Utilities, ShortLengthMasksOrSignExtends)
{
    EXPECT_EQ(Fmt("%hx", 0x12345678u), "5678");
    EXPECT_EQ(Fmt("%hu", 0x12345u), "9029");   // 0x2345
    EXPECT_EQ(Fmt("%hd", 0x18000), "-32768");
    EXPECT_EQ(Fmt("%hd", 0x17FFF), "32767");
    // o sign-extends from 16 bits, then prints the 32-bit pattern.
    EXPECT_EQ(Fmt("%ho", 0xFFFFu), "37777777777");
}

// The lengths host code writes (sizes, 64-bit counters, bytes) print their
// value and take exactly their argument, so what follows stays in step.
TEST(Utilities, SizeLongLongAndByteLengthsTakeTheirWholeArgument)
{
    EXPECT_EQ(Fmt("%zu bytes|%d", (size_t)141136, 7), "141136 bytes|7");
    EXPECT_EQ(Fmt("%3zu|%-4zd|%zx", (size_t)5, (ptrdiff_t)-3, (size_t)255), "  5|-3  |FF");
    EXPECT_EQ(Fmt("%llu|%d", 18446744073709551615ull, 7), "18446744073709551615|7");
    EXPECT_EQ(Fmt("%lld|%06lld|%5lld", -9000000000ll, -42ll, 12000ll), "-9000000000|-00042|12000");
    EXPECT_EQ(Fmt("%llX|%llo", 0x123456789ABull, 01777777777777777777777ull), "123456789AB|1777777777777777777777");
    EXPECT_EQ(Fmt("%hhu|%hhd|%hhx|%ld|%lu", 0x1FFu, 0x180, 0xABCDu, -5l, 4000000000ul), "255|-128|CD|-5|4000000000");
}

TEST(Utilities, CharactersAndStringsPadWithSpacesOnly)
{
    EXPECT_EQ(Fmt("%3c|%-3c|%03c", 'A', 'B', 'C'), "  A|B  |  C");
    EXPECT_EQ(Fmt("%.3s", "abcdef"), "abc");
    EXPECT_EQ(Fmt("%6s|%-6s|%06s", "ab", "ab", "ab"), "    ab|ab    |    ab");
    EXPECT_EQ(Fmt("%.*s", 2, "abc"), "ab");
    EXPECT_EQ(Fmt("%.s|", "abc"), "|");   // a bare '.' is precision 0
    EXPECT_EQ(Fmt("100%%"), "100%");
    EXPECT_EQ(Fmt("%s", (const char*)nullptr), "(null)");
}

TEST(Utilities, ExponentFormHasThreeExponentDigits)
{
    EXPECT_EQ(Fmt("%e", 1500.0), "1.500000e+003");
    EXPECT_EQ(Fmt("%e", 0.0), "0.000000e+000");
    EXPECT_EQ(Fmt("%e", -2.5), "-2.500000e+000");
    EXPECT_EQ(Fmt("%+e|% e", 2.5, 2.5), "+2.500000e+000| 2.500000e+000");
    EXPECT_EQ(Fmt("%.2e", 0.05), "5.00e-002");
    EXPECT_EQ(Fmt("%.0e", 1500.0), "1.e+003");   // the point even without digits
    // Field length 7 + precision, padded with spaces (never zeros).
    EXPECT_EQ(Fmt("%15e|%-15e|%015e", 1.0, 1.0, 1.0),
              "  1.000000e+000|1.000000e+000  |  1.000000e+000");
}

TEST(Utilities, FixedFormTruncatesDigits)
{
    EXPECT_EQ(Fmt("%.2f", 1.999), "1.99");
    EXPECT_EQ(Fmt("%.2f", 0.05), "0.05");
    EXPECT_EQ(Fmt("%.0f", 0.5), "0");
    EXPECT_EQ(Fmt("%f", 0.0), "0.000000");
    EXPECT_EQ(Fmt("%f", -1.5), "-1.500000");
    EXPECT_EQ(Fmt("%.3f", 0.25), "0.250");
    EXPECT_EQ(Fmt("%.1f", 0.001), "0.0");   // zeros only: min(p, -x - 1)
    EXPECT_EQ(Fmt("%.0f|%.1f", 1500.0, 1500.0), "1500|1500.0");
    EXPECT_EQ(Fmt("%8.2f|%-8.2f|%08.2f", 1.5, 1.5, 1.5), "    1.50|1.50    |    1.50");
    EXPECT_EQ(Fmt("%+.1f", 2.5), "+2.5");
}

TEST(Utilities, InfiniteAndNanPrintWords)
{
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(Fmt("%e|%f", inf, -inf), "inf|-inf");
    EXPECT_EQ(Fmt("%f|%e", nan, nan), "nan|nan");
    EXPECT_EQ(Fmt("%6f|%-5e|", inf, nan), "   inf|nan  |");
    // Beyond single precision's range the value is infinite.
    EXPECT_EQ(Fmt("%e", 1e300), "inf");
    EXPECT_EQ(Fmt("%f", -1e300), "-inf");
}

TEST(Utilities, GTakesItsArgumentPAndUnknownTakeNone)
{
    EXPECT_EQ(Fmt("[%g]%d", 1.5, 7), "[]7");
    EXPECT_EQ(Fmt("[%10.3g]%d", 1.5, 7), "[]7");
    EXPECT_EQ(Fmt("[%p]%d", 7), "[]7");
    EXPECT_EQ(Fmt("[%q]%d", 8), "[]8");
    EXPECT_EQ(Fmt("ab%"), "ab");   // a cut-off conversion ends the text
}

TEST(Utilities, CountConversionStoresCharactersSoFar)
{
    int n = -1;
    char buffer[32];
    EXPECT_EQ(sprintf(buffer, "abc%nde", &n), 5);
    EXPECT_EQ(n, 3);
    EXPECT_STREQ(buffer, "abcde");
}

TEST(Utilities, PrintfWritesToConsole)
{
    int n = 0;
    std::string out = ConsoleOutputOf([&] { n = printf("score %05d\n", 42); });
    EXPECT_EQ(out, "score 00042\n");
    EXPECT_EQ(n, 12);
}

TEST(Utilities, PrintfTruncatesAt255Characters)
{
    std::string text(300, 'x');
    int n = 0;
    std::string out = ConsoleOutputOf([&] { n = printf("%s", text.c_str()); });
    EXPECT_EQ(out, std::string(255, 'x'));
    EXPECT_EQ(n, 255);

    // Padding and digit streams past the limit are dropped without being
    // produced one by one.
    out = ConsoleOutputOf([&] { n = Print("ab%*d", 0x7FFFFFFF, 5); });
    EXPECT_EQ(out, "ab" + std::string(253, ' '));
    out = ConsoleOutputOf([&] { n = Print("%.*f", 0x7FFFFFFF, 1.5); });
    EXPECT_EQ(out.substr(0, 5), "1.500");
    EXPECT_EQ(out.size(), 255u);
}

TEST(Utilities, AssertReportsAndReturns)
{
    std::string out = ConsoleOutputOf([] { __assert("Object.cpp", 120, "obj != 0"); });
    EXPECT_EQ(out, "Object.cpp:120: obj != 0\n");
}

TEST(Utilities, FormatterInternals)
{
    char buffer[32];
    EXPECT_EQ(fillchar(buffer, 0, 'z'), buffer);
    EXPECT_EQ(fillchar(buffer, -3, 'z'), buffer);
    char* end = spaces(buffer, 3);
    ASSERT_EQ(end, buffer + 3);
    EXPECT_EQ(std::string(buffer, 3), "   ");

    EXPECT_EQ(getlen(0, 10), 1);
    EXPECT_EQ(getlen(9, 10), 1);
    EXPECT_EQ(getlen(10, 10), 2);
    EXPECT_EQ(getlen(255, 16), 2);
    EXPECT_EQ(getlen(0xFFFFFFFFu, 8), 11);
    EXPECT_EQ(getlen(0xFFFFFFFFu, 10), 10);

    char* first = putval(buffer + 10, 0x1F, 16);
    EXPECT_EQ(first, buffer + 8);
    EXPECT_EQ(std::string(first, 2), "1F");

    end = putfloat(buffer, 1.25f, 5);
    EXPECT_EQ(std::string(buffer, end), "12500");

    float f = 1500.0f;
    EXPECT_EQ(getexp(f), 3);
    EXPECT_FLOAT_EQ(f, 1.5f);
    f = 0.0f;
    EXPECT_EQ(getexp(f), 0);
    EXPECT_EQ(f, 0.0f);
    f = 0.25f;
    EXPECT_EQ(getexp(f), -1);
    EXPECT_EQ(f, 2.5f);
    f = std::numeric_limits<float>::infinity();
    EXPECT_EQ(getexp(f), 0);   // returns instead of scaling forever
}

TEST(Utilities, ScanStopsAtFirstMismatchOrEnd)
{
    int i = 0;
    char s[16] = "";
    EXPECT_EQ(sscanf("12 abc", "%d %s", &i, s), 2);
    EXPECT_EQ(i, 12);
    EXPECT_STREQ(s, "abc");

    EXPECT_EQ(sscanf("x", "%d", &i), 0);
    int a = 0, b = -1;
    EXPECT_EQ(sscanf("7", "%d %d", &a, &b), 1);
    EXPECT_EQ(a, 7);
    EXPECT_EQ(b, -1);

    EXPECT_EQ(sscanf("a=5", "a=%d", &i), 1);
    EXPECT_EQ(i, 5);
    EXPECT_EQ(sscanf("b=5", "a=%d", &i), 0);
    EXPECT_EQ(sscanf("", "%n", &i), 0);
}

TEST(Utilities, ScanNumericConversionsSkipNoWhitespace)
{
    int i = -1;
    EXPECT_EQ(sscanf(" 5", "%d", &i), 0);
    EXPECT_EQ(sscanf(" \t\n5", " %d", &i), 1);
    EXPECT_EQ(i, 5);
    char c = 0;
    EXPECT_EQ(sscanf(" x", "%c", &c), 1);
    EXPECT_EQ(c, ' ');
    char s[8] = "zz";
    EXPECT_EQ(sscanf(" x", "%s", s), 1);   // nothing before the space
    EXPECT_STREQ(s, "");
}

TEST(Utilities, ScanIntegerForms)
{
    int i = 0;
    unsigned u = 0;
    EXPECT_EQ(sscanf("1A", "%x", &i), 1);
    EXPECT_EQ(i, 26);
    EXPECT_EQ(sscanf("-ff", "%x", &i), 1);
    EXPECT_EQ(i, -255);
    EXPECT_EQ(sscanf("0x1f", "%i", &i), 1);
    EXPECT_EQ(i, 31);
    EXPECT_EQ(sscanf("017", "%i", &i), 1);
    EXPECT_EQ(i, 15);
    EXPECT_EQ(sscanf("-12", "%i", &i), 1);
    EXPECT_EQ(i, -12);
    EXPECT_EQ(sscanf("+34", "%d", &i), 1);
    EXPECT_EQ(i, 34);
    EXPECT_EQ(sscanf("4294967295", "%u", &u), 1);
    EXPECT_EQ(u, 4294967295u);
    EXPECT_EQ(sscanf("-5", "%u", &u), 0);   // no sign for u
    EXPECT_EQ(sscanf("-", "%d", &i), 0);
    // Octal stops at the first digit that is not octal.
    int j = 0;
    EXPECT_EQ(sscanf("019", "%i%d", &i, &j), 2);
    EXPECT_EQ(i, 1);
    EXPECT_EQ(j, 9);
}

TEST(Utilities, ScanFloatForms)
{
    float f = 0.0f;
    EXPECT_EQ(sscanf("1.5", "%f", &f), 1);
    EXPECT_EQ(f, 1.5f);
    EXPECT_EQ(sscanf("-2.25e1", "%f", &f), 1);
    EXPECT_EQ(f, -22.5f);
    EXPECT_EQ(sscanf("125E-2", "%f", &f), 1);
    EXPECT_FLOAT_EQ(f, 1.25f);
    EXPECT_EQ(sscanf("3.", "%f", &f), 1);
    EXPECT_EQ(f, 3.0f);

    // An exponent letter without digits ends the scan without storing.
    f = 9.0f;
    EXPECT_EQ(sscanf("3e", "%f", &f), 0);
    EXPECT_EQ(f, 9.0f);
    EXPECT_EQ(sscanf("3e+x", "%f", &f), 0);

    // Nine digits are exact in the 32-bit mantissa.
    EXPECT_EQ(sscanf("123456789", "%f", &f), 1);
    EXPECT_EQ(f, 123456789.0f);
    // Beyond nine digits the mantissa wraps around (modulo 2^32).
    EXPECT_EQ(sscanf("12345678901", "%f", &f), 1);
    EXPECT_EQ(f, (float)(unsigned)(12345678901ull % 4294967296ull));
    // Huge exponents end at infinity and zero.
    EXPECT_EQ(sscanf("1e99999999999", "%f", &f), 1);
    EXPECT_TRUE(std::isinf(f));
    EXPECT_EQ(sscanf("1e-99999999999", "%f", &f), 1);
    EXPECT_EQ(f, 0.0f);
}

TEST(Utilities, ScanStringsCountsAndWidths)
{
    char a[8] = "", b[8] = "";
    EXPECT_EQ(sscanf("abcdef", "%3s%s", a, b), 2);
    EXPECT_STREQ(a, "abc");
    EXPECT_STREQ(b, "def");
    // '*' takes the width from the arguments and still assigns.
    EXPECT_EQ(Scan("abcdef", "%*s", 2, a), 1);
    EXPECT_STREQ(a, "ab");
    // Widths mean nothing to numbers.
    int i = 0;
    EXPECT_EQ(sscanf("12345", "%2d", &i), 1);
    EXPECT_EQ(i, 12345);
    int n = -1;
    EXPECT_EQ(sscanf("ab cd", "ab%n", &n), 1);
    EXPECT_EQ(n, 2);
    // An unknown conversion takes its destination argument but no input.
    int unused = 0;
    EXPECT_EQ(Scan("5", "%q%d", &unused, &i), 2);
    EXPECT_EQ(i, 5);
    EXPECT_EQ(unused, 0);
}

TEST(Utilities, RandomSequence)
{
    srand(1);
    EXPECT_EQ(rand(), 1015568748);
    // The next states by the generator's rule, in 64-bit arithmetic.
    uint64_t state = 1015568748;
    state = (state * 1664525u + 1013904223u) & 0xFFFFFFFFu;
    EXPECT_EQ(rand(), (int)(state & 0x7FFFFFFF));
    EXPECT_EQ(randseed, (int)(uint32_t)state);
    // randf steps the same state and keeps its low 23 bits as the fraction.
    state = (state * 1664525u + 1013904223u) & 0xFFFFFFFFu;
    EXPECT_EQ(randf(), (float)(state & 0x7FFFFF) / 8388608.0f);

    srand(12345);
    for (int k = 0; k < 1000; k++) {
        int r = rand();
        float f = randf();
        ASSERT_GE(r, 0);
        ASSERT_GE(f, 0.0f);
        ASSERT_LT(f, 1.0f);
    }
}

TEST(Utilities, CountBitsMatchesBitByBitCount)
{
    auto naive = [](u64 x) {
        int n = 0;
        for (; x; x >>= 1)
            n += (int)(x & 1);
        return n;
    };
    const u64 patterns[] = {0, 1, 0x80000000u, 0xFFFFFFFFu, 0x12345678u, 0xF0F0F0F0u,
                            0xFFFFFFFFFFFFFFFFull, 0x8000000000000001ull, 0x0123456789ABCDEFull};
    for (u64 p : patterns) {
        EXPECT_EQ(CountBits((unsigned int)p), naive((u32)p)) << std::hex << p;
        EXPECT_EQ(CountBits(p), naive(p)) << std::hex << p;
    }
    EXPECT_EQ(CountBits(0xFFFFFFFFu), 32);
    EXPECT_EQ(CountBits(~(u64)0), 64);
}
