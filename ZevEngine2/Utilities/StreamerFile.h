// Byte sources and the line-based text parser.
//
// Text (files on the disc and text blocks held in the program) is read one
// byte at a time through a small polymorphic source and cut into lines by
// Parser.  Each line gives a keyword (token), the rest of the line (value) and
// whether the line starts in the first column (root), so a file holds keyword
// blocks whose members are indented below them:
//
//   LightSet Night          <- root line: opens a block
//     Ambient 20 20 40      <- member lines
//   ; a comment
#pragma once

#include "ZevEngine2/Zev.h"

// A source of bytes.  GetC gives the next byte as a signed char (bytes 0x80
// to 0xFF come back negative, so a 0xFF byte reads like the end) or -1 at the
// end.
class StreamerSource {
public:
    virtual int GetC() = 0;
    virtual bool Exists() = 0;

protected:
    // Sources are destroyed as their own types, never through this base.
    ~StreamerSource() = default;
};

// A file of the disc archive, streamed through a 2048-byte buffer of two
// 1024-byte halves: while one half is read, the next kilobyte is already on
// its way into the other, so a file of any length needs only this buffer.
class StreamerFile : public StreamerSource {
public:
    // Opens the file and asks for its first kilobyte.  Never fails as such:
    // callers test Exists().
    explicit StreamerFile(const char* filename);
    ~StreamerFile();
    StreamerFile(const StreamerFile&) = delete;
    StreamerFile& operator=(const StreamerFile&) = delete;

    int GetC() override;
    bool Exists() override { return streamnum != -1; }

    // Stores bytes from GetC into dest until len are stored or GetC gives -1
    // (the end, or a 0xFF byte); returns the number stored.
    int Read(void* dest, int len);

    int streamnum;   // streamer descriptor, -1 when the file could not be opened
    int inptr;       // end of the data requested so far
    int outptr;      // read position
    int endptr;      // file length
    char* buffer;    // 2048 bytes, 64-byte aligned

    static int BUFSIZE;
};

// A text block held in memory.
class StreamerBlock : public StreamerSource {
public:
    StreamerBlock(const char* source, unsigned length) : outptr(0), endptr(int(length)), buffer(source) {}

    int GetC() override;
    bool Exists() override { return true; }

    int outptr;            // read position
    int endptr;            // length
    const char* buffer;
};

// Cuts a source into keyword lines.
class Parser {
public:
    explicit Parser(StreamerSource& source) : file(source) {}

    // Reads the next line into token, value and root.  Empty lines are
    // skipped; a comment line (';' after any indentation) gives an empty token
    // and value.  False at the end of the input (token and value empty).  A
    // token longer than 63 characters or a value longer than 255 is cut to
    // that length; the rest of it is skipped.
    bool Next();

    // Compare the token with a string.
    bool Is(const char* s) const { return strcmp(token, s) == 0; }
    bool operator==(const char* s) const { return Is(s); }

    StreamerSource& file;
    char token[64];
    char value[256];
    bool root = false;
};
