// The game's own formatted text, scanning, assertion report, random numbers
// and bit counting.
#include "ZevEngine2/Utilities.h"

// ---------------------------------------------------------------------------
// Formatter internals

char* fillchar(char* buffer, int n, char c)
{
    for (int i = 0; i < n; i++)
        *buffer++ = c;
    return buffer;
}

char* spaces(char* buffer, int n)
{
    return fillchar(buffer, n, ' ');
}

int getlen(unsigned int x, int radix)
{
    int n = 1;
    while (x >= (unsigned int)radix) {
        x /= (unsigned int)radix;
        n++;
    }
    return n;
}

namespace {

// The digits of x in radix written backwards so that the last one is just
// before end; 32-bit values and the 64-bit ones of the 'll' length alike.
template <typename Unsigned>
char* PutValueBackwards(char* end, Unsigned x, int radix)
{
    static const char digits[] = "0123456789ABCDEF";
    do {
        *--end = digits[x % (Unsigned)radix];
        x /= (Unsigned)radix;
    } while (x != 0);
    return end;
}

}  // namespace

char* putval(char* end, unsigned int x, int radix)
{
    return PutValueBackwards(end, x, radix);
}

int getexp(float& f)
{
    // An infinity would never leave the scaling loop and a NaN compares false
    // everywhere; the formatter prints both as words before it gets here.
    if (std::isnan(f) || std::isinf(f))
        return 0;
    int x = 0;
    if (f >= 10.0f) {
        while (f >= 10.0f) {
            f *= 0.1f;
            x++;
        }
    } else if (f > 0.0f && f < 1.0f) {
        while (f < 1.0f) {
            f *= 10.0f;
            x--;
        }
    }
    return x;
}

namespace {

// Where formatted text goes.  Characters past the limit are counted but not
// stored, so a bounded buffer can never overflow; an unbounded sink (the
// caller sized the buffer) has no limit.
struct TextOut
{
    char* p;
    char* limit;
    long long count;   // wide: padding and precisions come from the arguments

    bool Full() const { return limit && p >= limit; }

    void Put(char c)
    {
        if (!Full())
            *p++ = c;
        count++;
    }

    void Fill(char c, long long n)
    {
        if (n <= 0)
            return;
        long long room = limit ? (long long)(limit - p) : n;
        p = fillchar(p, (int)std::min(n, room), c);
        count += n;
    }

    void Write(const char* s, int n)
    {
        for (int i = 0; i < n; i++)
            Put(s[i]);
    }
};

// The digit stream of the e and f conversions: each digit is the integer part
// of f, then the fraction is scaled up by ten.  Digits are truncated, never
// rounded.
void PutDigits(TextOut& o, float& f, long long digits)
{
    for (long long i = 0; i < digits; i++) {
        if (o.Full()) {
            o.count += digits - i;
            return;
        }
        int d = (int)f;
        d = std::clamp(d, 0, 9);
        o.Put((char)('0' + d));
        f = (f - (float)d) * 10.0f;
    }
}

struct Conversion
{
    bool left = false;
    bool plus = false;
    bool space = false;
    char pad = ' ';
    int width = 0;
    bool hasPrecision = false;
    int precision = 0;
    // 'h', 'l', or one of the host's lengths: 'H' for hh (8 bits), 'L' for
    // ll (a 64-bit argument), 'z' (size_t, int-sized here as on the console).
    char length = 0;
};
static_assert(sizeof(size_t) == sizeof(unsigned int), "'z' takes an int-sized argument");

char SignChar(bool negative, const Conversion& fs)
{
    if (negative)
        return '-';
    if (fs.plus)
        return '+';
    if (fs.space)
        return ' ';
    return 0;
}

// A field of n characters produced by body, padded with spaces to the width.
template <typename Body>
void SpacePadded(TextOut& o, const Conversion& fs, long long n, Body body)
{
    if (!fs.left)
        o.Fill(' ', fs.width - n);
    body();
    if (fs.left)
        o.Fill(' ', fs.width - n);
}

// Room for the longest value: 64 bits in octal.
constexpr int kMaxDigits = 24;

void PutSigned(TextOut& o, const Conversion& fs, long long v)
{
    unsigned long long magnitude = v < 0 ? 0ull - (unsigned long long)v : (unsigned long long)v;
    char sign = SignChar(v < 0, fs);
    char digits[kMaxDigits];
    char* end = digits + sizeof(digits);
    char* first = PutValueBackwards(end, magnitude, 10);
    int ndigits = (int)(end - first);
    int field = ndigits + (sign ? 1 : 0);
    if (fs.pad == '0' && !fs.left) {
        // Zero padding goes between the sign and the digits.
        if (sign)
            o.Put(sign);
        o.Fill('0', fs.width - field);
        o.Write(first, ndigits);
        return;
    }
    SpacePadded(o, fs, field, [&] {
        if (sign)
            o.Put(sign);
        o.Write(first, ndigits);
    });
}

void PutUnsigned(TextOut& o, const Conversion& fs, unsigned long long v, int radix)
{
    char digits[kMaxDigits];
    char* end = digits + sizeof(digits);
    char* first = PutValueBackwards(end, v, radix);
    int ndigits = (int)(end - first);
    if (fs.left) {
        o.Write(first, ndigits);
        o.Fill(' ', fs.width - ndigits);
    } else {
        o.Fill(fs.pad, fs.width - ndigits);
        o.Write(first, ndigits);
    }
}

void PutString(TextOut& o, const Conversion& fs, const char* s)
{
    if (!s)
        s = "(null)";
    int n = 0;
    while (s[n] && (!fs.hasPrecision || n < fs.precision))
        n++;
    SpacePadded(o, fs, n, [&] { o.Write(s, n); });
}

// e and f: a value that has no digits is printed as a word.
bool PutNonFinite(TextOut& o, const Conversion& fs, float f)
{
    if (std::isnan(f)) {
        SpacePadded(o, fs, 3, [&] { o.Write("nan", 3); });
        return true;
    }
    if (std::isinf(f)) {
        char sign = SignChar(f < 0.0f, fs);
        SpacePadded(o, fs, 3 + (sign ? 1 : 0), [&] {
            if (sign)
                o.Put(sign);
            o.Write("inf", 3);
        });
        return true;
    }
    return false;
}

float ToSingle(double d)
{
    // Out of single range is infinity, spelled out so the conversion is defined.
    if (d > (double)std::numeric_limits<float>::max())
        return std::numeric_limits<float>::infinity();
    if (d < -(double)std::numeric_limits<float>::max())
        return -std::numeric_limits<float>::infinity();
    return (float)d;
}

// What e and f both start from: the value as a single, its magnitude f, the
// sign character, the precision p and the decimal exponent x.  False when
// the value has no digits and was printed as a word.
bool StartFloat(TextOut& o, const Conversion& fs, double arg, float& f, char& sign, int& p, int& x)
{
    f = ToSingle(arg);
    if (PutNonFinite(o, fs, f))
        return false;
    bool negative = f < 0.0f;
    if (negative)
        f = -f;
    sign = SignChar(negative, fs);
    p = fs.hasPrecision ? fs.precision : 6;
    x = getexp(f);
    return true;
}

void PutExponential(TextOut& o, const Conversion& fs, double arg)
{
    float f;
    char sign;
    int p, x;
    if (!StartFloat(o, fs, arg, f, sign, p, x))
        return;
    SpacePadded(o, fs, 7LL + p + (sign ? 1 : 0), [&] {
        if (sign)
            o.Put(sign);
        PutDigits(o, f, 1);
        o.Put('.');
        PutDigits(o, f, p);
        o.Put('e');
        o.Put(x < 0 ? '-' : '+');
        unsigned int ax = x < 0 ? (unsigned int)-x : (unsigned int)x;
        o.Put((char)('0' + ax / 100 % 10));
        o.Put((char)('0' + ax / 10 % 10));
        o.Put((char)('0' + ax % 10));
    });
}

void PutFixed(TextOut& o, const Conversion& fs, double arg)
{
    float f;
    char sign;
    int p, x;
    if (!StartFloat(o, fs, arg, f, sign, p, x))
        return;
    long long field = (sign ? 1 : 0) + std::max(x, 0) + 1 + (p > 0 ? 1LL + p : 0LL);
    SpacePadded(o, fs, field, [&] {
        if (sign)
            o.Put(sign);
        if (x >= 0) {
            PutDigits(o, f, x + 1);
            if (p > 0) {
                o.Put('.');
                PutDigits(o, f, p);
            }
        } else {
            o.Put('0');
            if (p > 0) {
                o.Put('.');
                int zeros = std::min(p, -x - 1);
                o.Fill('0', zeros);
                PutDigits(o, f, p - zeros);
            }
        }
    });
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Reads a decimal count of a format (width, precision); absurd lengths stop
// growing instead of overflowing.
int ReadCount(const char*& s)
{
    int n = 0;
    while (IsDigit(*s)) {
        if (n < 100000000)
            n = n * 10 + (*s - '0');
        s++;
    }
    return n;
}

void Format(TextOut& o, const char* s, va_list ap)
{
    while (*s) {
        if (*s != '%') {
            o.Put(*s++);
            continue;
        }
        s++;
        Conversion fs;
        for (;; s++) {
            if (*s == '-')
                fs.left = true;
            else if (*s == '+')
                fs.plus = true;
            else if (*s == '0')
                fs.pad = '0';
            else if (*s == ' ')
                fs.space = true;
            else if (*s != '#')
                break;
        }
        if (*s == '*') {
            fs.width = va_arg(ap, int);
            s++;
        } else {
            fs.width = ReadCount(s);
        }
        if (*s == '.') {
            s++;
            fs.hasPrecision = true;
            if (*s == '*') {
                fs.precision = va_arg(ap, int);
                s++;
                if (fs.precision < 0) {
                    // A negative precision from the arguments counts as none.
                    fs.hasPrecision = false;
                    fs.precision = 0;
                }
            } else {
                fs.precision = ReadCount(s);
            }
        }
        if (*s == 'h' || *s == 'l') {
            fs.length = *s++;
            if (*s == fs.length) {
                fs.length = fs.length == 'h' ? 'H' : 'L';
                s++;
            }
        } else if (*s == 'z') {
            fs.length = *s++;
        }
        char conv = *s;
        if (!conv)
            break;
        s++;
        switch (conv) {
        case '%':
            o.Put('%');
            break;
        case 'c': {
            char c = (char)va_arg(ap, int);
            SpacePadded(o, fs, 1, [&] { o.Put(c); });
            break;
        }
        case 'd':
        case 'i': {
            if (fs.length == 'L') {
                PutSigned(o, fs, va_arg(ap, long long));
                break;
            }
            int v = va_arg(ap, int);
            if (fs.length == 'h')
                v = (short)v;
            else if (fs.length == 'H')
                v = (signed char)v;
            PutSigned(o, fs, v);
            break;
        }
        case 'u':
        case 'x':
        case 'X':
        case 'o': {
            const int radix = conv == 'u' ? 10 : conv == 'o' ? 8 : 16;
            if (fs.length == 'L') {
                PutUnsigned(o, fs, va_arg(ap, unsigned long long), radix);
                break;
            }
            unsigned int v = va_arg(ap, unsigned int);
            if (fs.length == 'h')
                v = conv == 'o' ? (unsigned int)(int)(short)v : (v & 0xFFFF);
            else if (fs.length == 'H')
                v = conv == 'o' ? (unsigned int)(int)(signed char)v : (v & 0xFF);
            PutUnsigned(o, fs, v, radix);
            break;
        }
        case 's':
            PutString(o, fs, va_arg(ap, const char*));
            break;
        case 'e':
            PutExponential(o, fs, va_arg(ap, double));
            break;
        case 'f':
            PutFixed(o, fs, va_arg(ap, double));
            break;
        case 'g':
            (void)va_arg(ap, double);
            break;
        case 'n': {
            int* pn = va_arg(ap, int*);
            if (pn)
                *pn = (int)o.count;
            break;
        }
        default:
            break;
        }
    }
}

}  // namespace

char* putfloat(char* buffer, float f, int digits)
{
    TextOut o{buffer, nullptr, 0};
    PutDigits(o, f, digits);
    return o.p;
}

// ---------------------------------------------------------------------------
// Formatted output

int vsprintf(char* buffer, const char* format, va_list argptr)
{
    if (!buffer)
        return 0;
    TextOut o{buffer, nullptr, 0};
    if (format)
        Format(o, format, argptr);
    *o.p = 0;
    return (int)std::min<long long>(o.count, std::numeric_limits<int>::max());
}

int vsformat(char* buffer, int size, const char* format, va_list argptr)
{
    if (!buffer || size <= 0)
        return 0;
    TextOut o{buffer, buffer + size - 1, 0};
    if (format)
        Format(o, format, argptr);
    *o.p = 0;
    return (int)(o.p - buffer);
}

int sprintf(char* buffer, const char* format, ...)
{
    va_list ap;
    va_start(ap, format);
    int n = vsprintf(buffer, format, ap);
    va_end(ap);
    return n;
}

int vprintf(const char* format, va_list argptr)
{
    // The console line buffer: 255 characters and the NUL.
    char buffer[256];
    TextOut o{buffer, buffer + sizeof(buffer) - 1, 0};
    if (format)
        Format(o, format, argptr);
    *o.p = 0;
    scePrintf("%s", buffer);
    return (int)(o.p - buffer);
}

int printf(const char* format, ...)
{
    va_list ap;
    va_start(ap, format);
    int n = vprintf(format, ap);
    va_end(ap);
    return n;
}

void __assert(const char* file, int lineno, const char* exp)
{
    printf("%s:%d: %s\n", file, lineno, exp);
}

// ---------------------------------------------------------------------------
// Scanning

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n';
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// An optional '-' or '+'; true for '-'.
bool ReadSign(const char*& p)
{
    if (*p == '-') {
        p++;
        return true;
    }
    if (*p == '+')
        p++;
    return false;
}

// Digits of radix (at most 16) accumulated with wrap-around; the number of
// digits read.
int ReadDigits(const char*& p, unsigned int radix, unsigned int& value)
{
    int n = 0;
    for (;;) {
        int d = HexValue(*p);
        if (d < 0 || (unsigned int)d >= radix)
            return n;
        value = value * radix + (unsigned int)d;
        p++;
        n++;
    }
}

// The integer conversions: false when nothing could be taken.
bool ScanInt(const char*& in, char conv, unsigned int& out)
{
    const char* p = in;
    bool negative = conv != 'u' && ReadSign(p);
    unsigned int v = 0;
    if (conv == 'i') {
        if (p[0] == '0' && p[1] == 'x') {
            p += 2;
            ReadDigits(p, 16, v);
        } else if (p[0] == '0') {
            p++;
            ReadDigits(p, 8, v);
        } else if (ReadDigits(p, 10, v) == 0) {
            return false;
        }
    } else if (ReadDigits(p, conv == 'x' ? 16 : 10, v) == 0) {
        return false;
    }
    out = negative ? 0u - v : v;
    in = p;
    return true;
}

bool ScanFloat(const char*& in, float& out)
{
    const char* p = in;
    bool negative = ReadSign(p);
    // The mantissa is one 32-bit integer: nine significant digits are exact,
    // longer ones wrap around.
    unsigned int mantissa = 0;
    int ndigits = 0;
    int fraction = 0;
    bool point = false;
    for (;; p++) {
        if (IsDigit(*p)) {
            mantissa = mantissa * 10u + (unsigned int)(*p - '0');
            ndigits++;
            if (point)
                fraction++;
        } else if (*p == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (ndigits == 0)
        return false;
    int exponent = 0;
    if (*p == 'e' || *p == 'E') {
        const char* q = p + 1;
        bool eneg = ReadSign(q);
        if (!IsDigit(*q))
            return false;
        exponent = ReadCount(q);
        if (eneg)
            exponent = -exponent;
        p = q;
    }
    int e = exponent - fraction;
    float v = (float)mantissa;
    // Once infinite or zero the value no longer changes (a zero with an
    // exponent of billions is zero at once).
    for (; e > 0 && v != 0.0f && !std::isinf(v); e--)
        v *= 10.0f;
    for (; e < 0 && v != 0.0f; e++)
        v *= 0.1f;
    out = negative ? -v : v;
    in = p;
    return true;
}

int Scan(const char* buffer, const char* f, va_list ap)
{
    const char* in = buffer;
    int count = 0;
    for (;;) {
        if (!*f || !*in)
            return count;
        if (IsBlank(*f)) {
            f++;
            while (IsBlank(*in))
                in++;
            continue;
        }
        if (*f != '%') {
            if (*in != *f)
                return count;
            in++;
            f++;
            continue;
        }
        f++;
        int width = 0;
        if (*f == '*') {
            width = va_arg(ap, int);
            f++;
        } else {
            width = ReadCount(f);
        }
        char conv = *f;
        if (!conv)
            return count;
        f++;
        void* dest = va_arg(ap, void*);
        switch (conv) {
        case 'c':
            if (dest)
                *(char*)dest = *in;
            in++;
            break;
        case 'd':
        case 'i':
        case 'u':
        case 'x': {
            unsigned int v;
            if (!ScanInt(in, conv, v))
                return count;
            if (dest)
                std::memcpy(dest, &v, sizeof(v));
            break;
        }
        case 'f': {
            float v;
            if (!ScanFloat(in, v))
                return count;
            if (dest)
                *(float*)dest = v;
            break;
        }
        case 'n':
            if (dest)
                *(int*)dest = (int)(in - buffer);
            break;
        case 's': {
            char* out = (char*)dest;
            int n = 0;
            while (*in && !IsBlank(*in) && (width <= 0 || n < width)) {
                if (out)
                    out[n] = *in;
                n++;
                in++;
            }
            if (out)
                out[n] = 0;
            break;
        }
        default:
            break;
        }
        count++;
    }
}

}  // namespace

int sscanf(const char* buffer, const char* format, ...)
{
    if (!buffer || !format)
        return 0;
    va_list ap;
    va_start(ap, format);
    int n = Scan(buffer, format, ap);
    va_end(ap);
    return n;
}

// ---------------------------------------------------------------------------
// Random numbers

int randseed = 1;

static void RandStep()
{
    randseed = (int)((unsigned int)randseed * 1664525u + 1013904223u);
}

int rand()
{
    RandStep();
    return randseed & 0x7FFFFFFF;
}

float randf()
{
    // 1.0's exponent with 23 random mantissa bits is a float in [1, 2).
    RandStep();
    unsigned int bits = 0x3F800000u | ((unsigned int)randseed & 0x7FFFFFu);
    float f;
    std::memcpy(&f, &bits, sizeof(f));
    return f - 1.0f;
}

void srand(unsigned int seed)
{
    randseed = (int)seed;
}

// ---------------------------------------------------------------------------
// Bit counting: neighbouring fields are summed pairwise, doubling the field
// width each step.

int CountBits(unsigned int x)
{
    x = (x & 0x55555555u) + ((x >> 1) & 0x55555555u);
    x = (x & 0x33333333u) + ((x >> 2) & 0x33333333u);
    x = (x & 0x0F0F0F0Fu) + ((x >> 4) & 0x0F0F0F0Fu);
    x = (x & 0x00FF00FFu) + ((x >> 8) & 0x00FF00FFu);
    x = (x & 0x0000FFFFu) + (x >> 16);
    return (int)x;
}

int CountBits(u64 x)
{
    x = (x & 0x5555555555555555ull) + ((x >> 1) & 0x5555555555555555ull);
    x = (x & 0x3333333333333333ull) + ((x >> 2) & 0x3333333333333333ull);
    x = (x & 0x0F0F0F0F0F0F0F0Full) + ((x >> 4) & 0x0F0F0F0F0F0F0F0Full);
    x = (x & 0x00FF00FF00FF00FFull) + ((x >> 8) & 0x00FF00FF00FF00FFull);
    x = (x & 0x0000FFFF0000FFFFull) + ((x >> 16) & 0x0000FFFF0000FFFFull);
    x = (x & 0x00000000FFFFFFFFull) + (x >> 32);
    return (int)x;
}
