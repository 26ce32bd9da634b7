// The game's own formatted text, scanning, assertion report, random numbers
// and bit counting.
//
// The formatter works in single precision and produces digits by truncation;
// HUD texts, file names, debug output and text-file parsing all rely on its
// exact conversions:
//   %[flags][width][.precision][length]conv, flags '-', '+', '0', ' ', '#'
//   (no effect); width and precision may be '*'.  Conversions c d i u x X o s
//   e f n %; x and X both print upper-case digits; 'h' makes the integer
//   conversions 16-bit, 'hh' 8-bit; 'll' takes a 64-bit integer; 'l' and
//   'z' have no effect (both int-sized); %g takes its double and prints
//   nothing; %p and any other letter print nothing and take no argument; e
//   and f truncate their digits and print the exponent with three digits
//   (1.500000e+003); infinities and NaNs print "inf" / "nan".
// The scanner's numeric conversions (d i u x f) never skip white space: the
// format must.  %f takes at most nine significant digits exactly.
#pragma once

#include "ZevEngine2/Zev.h"

// Formats into buffer (which the caller sizes), ends it with a NUL and returns
// the number of characters before the NUL.
int vsprintf(char* buffer, const char* format, va_list argptr);
int sprintf(char* buffer, const char* format, ...) __attribute__((format(__printf__, 2, 3)));
// The same into a buffer of `size` bytes: at most size - 1 characters are
// kept, then the NUL; returns the number kept.
int vsformat(char* buffer, int size, const char* format, va_list argptr);

// Formats at most 255 characters (longer output is cut there) and writes them
// to the debug console; returns the number of characters written.
int vprintf(const char* format, va_list argptr);
int printf(const char* format, ...) __attribute__((format(__printf__, 1, 2)));

// Scans buffer by format; returns the number of conversions done before the
// format, the input or a failed conversion ended the scan.
int sscanf(const char* buffer, const char* format, ...) __attribute__((format(__scanf__, 2, 3)));

// Prints "file:lineno: exp" and returns: a failed assertion does not stop the
// game.
void __assert(const char* file, int lineno, const char* exp);

// The shared linear congruential generator (state × 1664525 + 1013904223).
extern int randseed;
int rand();      // 0 .. 0x7FFFFFFF
float randf();   // [0, 1), 23 bits of resolution
void srand(unsigned int seed);

// Number of set bits.
int CountBits(unsigned int x);
int CountBits(u64 x);

// Formatter internals, shared with the text drawers.
char* fillchar(char* buffer, int n, char c);   // n copies of c (none for n <= 0); returns the end
char* spaces(char* buffer, int n);             // fillchar with ' '
int getlen(unsigned int x, int radix);         // digits of x in radix, at least 1
char* putval(char* end, unsigned int x, int radix);  // digits written backwards ending just
                                                     // before end; returns the first digit
char* putfloat(char* buffer, float f, int digits);   // digits of f, each (int)f then
                                                     // f = (f - digit) * 10; returns the end
int getexp(float& f);  // normalises f into [1, 10) (0 stays 0) and returns its exponent
