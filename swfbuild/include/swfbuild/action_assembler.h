#pragma once
// An assembler for the action bytecode of movies (AVM1): one instruction a
// line, labels for jumps, typed push operands and function blocks. The
// source form is described in tools/tessaly-swfbuild/README.md.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

class ActionAssembler {
public:
    // Assembles `source`, whose first line is line `firstLine` of the file it
    // came from, and appends the bytes to `out` without the end byte that
    // closes an action list. 1 on success; 0 with errorText() as
    // "line N: what is wrong" (the first error found; `out` is unchanged).
    [[nodiscard]] int assemble(std::string_view source, int firstLine, std::vector<uint8_t>& out);
    const std::string& errorText() const { return error_; }
    // The line of the error and what is wrong, apart.
    int errorLine() const { return errorLine_; }
    const std::string& errorMessage() const { return message_; }

private:
    std::string error_;
    std::string message_;
    int errorLine_ = 0;
};

}  // namespace tessaly
