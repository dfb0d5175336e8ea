#pragma once
// The text a function writes to a C stream, for tests of dump functions:
// a memory stream where the C library has one, else a scratch file.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace tessaly::test {

template <class Write>
std::string streamText(Write&& write) {
#ifdef _WIN32
    const std::string path = ::testing::TempDir() + "tessaly-stream-" +
                             ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::FILE* out = std::fopen(path.c_str(), "w+b");
    if (!out) return "cannot open " + path;
    write(out);
    std::rewind(out);
    std::string result;
    for (int c; (c = std::fgetc(out)) != EOF;) result += char(c);
    std::fclose(out);
    std::remove(path.c_str());
    return result;
#else
    char* text = nullptr;
    size_t size = 0;
    std::FILE* out = open_memstream(&text, &size);
    write(out);
    std::fclose(out);
    std::string result(text, size);
    std::free(text);
    return result;
#endif
}

}  // namespace tessaly::test
