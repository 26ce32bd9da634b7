// Keyword text files: every line the parser cuts from the bytes.
#include "fuzz_target.h"

#include "ZevEngine2/Utilities/StreamerFile.h"

FUZZ_TARGET(text)
{
    fuzz::Copy file(data, size, 16);
    StreamerBlock block(reinterpret_cast<const char*>(file.Bytes()), file.Size());
    Parser p(block);
    size_t lines = 0, chars = 0;
    while (p.Next()) {
        // Each line takes at least one byte, so a parser that stops
        // consuming shows as more lines than bytes.
        if (++lines > size + 1)
            std::abort();
        chars += strlen(p.token) + strlen(p.value);
    }
    static volatile size_t sink;
    sink = sink + chars;
    return true;
}
