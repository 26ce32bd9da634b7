// Pad recording: what a person did with the pads, written as a pad script
// (pad_script.h) that replays headless to the same input field by field.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "host/host.h"

namespace console::host {

// Appends the script lines that take a script reader from `before` to `after`
// at `vblank`: connections, presses and releases, sticks, then the pressures
// that differ from what the presses and releases leave.
void AppendPadScriptLines(uint32_t vblank, const PadInput before[2], const PadInput after[2], std::string& out);

// An input source that passes another one's input through and writes it to a
// file as a script.  Lines are flushed at every field that has any, so the
// file is complete whenever the run ends.
class PadRecorder final : public InputSource {
public:
    ~PadRecorder() override;
    PadRecorder(const PadRecorder&) = delete;
    PadRecorder& operator=(const PadRecorder&) = delete;

    // Creates (truncating) `path`; null with a message when it cannot.
    static std::unique_ptr<PadRecorder> Open(InputSource& source, const std::string& path, std::string* error);

    void Poll(uint32_t vblank, PadInput pads[2]) override;
    // Flushes and closes the file; later polls only pass input through.
    void Close();

private:
    PadRecorder(InputSource& source, std::FILE* file);

    InputSource& source_;
    std::FILE* file_;
    PadInput last_[2];
};

}  // namespace console::host
