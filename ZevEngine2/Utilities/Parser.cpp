// In-memory text blocks and the keyword-line parser.
#include "ZevEngine2/Utilities/StreamerFile.h"

int StreamerBlock::GetC()
{
    if (outptr >= endptr)
        return -1;
    return static_cast<signed char>(buffer[outptr++]);
}

namespace {

bool IsBlank(int c)
{
    return c == ' ' || c == '\t';
}

bool EndsLine(int c)
{
    return c == '\r' || c == '\n' || c == -1;
}

}  // namespace

bool Parser::Next()
{
    token[0] = '\0';
    value[0] = '\0';

    int c;
    do {
        c = file.GetC();
    } while (c == '\r' || c == '\n');

    root = !IsBlank(c);
    while (IsBlank(c))
        c = file.GetC();

    if (c == ';') {
        while (c != '\n' && c != -1)
            c = file.GetC();
        return c != -1;
    }
    if (c == -1)
        return false;

    // The keyword: a line of blanks only has none.  Characters beyond the
    // token's room are consumed, not carried into the value.
    if (!EndsLine(c)) {
        int n = 0;
        while (!IsBlank(c) && !EndsLine(c)) {
            if (n < int(sizeof(token)) - 1)
                token[n++] = char(c);
            c = file.GetC();
        }
        token[n] = '\0';
        while (IsBlank(c))
            c = file.GetC();
    }

    // The rest of the line, inner and trailing blanks included.  A '\r' ends
    // it; the '\n' after it is skipped by the next call.
    int n = 0;
    while (!EndsLine(c)) {
        if (n < int(sizeof(value)) - 1)
            value[n++] = char(c);
        c = file.GetC();
    }
    value[n] = '\0';
    return true;
}
