// The action assembler, checked by decoding what it writes.

#include "swfbuild/action_assembler.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <string>
#include <variant>
#include <vector>

namespace {

using tessaly::ActionAssembler;
using Bytes = std::vector<uint8_t>;

struct Action {
    uint8_t code;
    Bytes data;
    size_t end;  // offset after the record
};

std::vector<Action> decode(const Bytes& b) {
    std::vector<Action> out;
    size_t i = 0;
    while (i < b.size()) {
        Action a{b[i], {}, 0};
        ++i;
        if (a.code >= 0x80) {
            const size_t n = b.at(i) | (b.at(i + 1) << 8);
            a.data.assign(b.begin() + long(i + 2), b.begin() + long(i + 2 + n));
            i += 2 + n;
        }
        a.end = i;
        out.push_back(std::move(a));
    }
    return out;
}

uint32_t u32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }

// One decoded push operand as text: s:"..", i:7, d:1.5, f:1.5, b:1, null, undef, r:3, c:4.
std::vector<std::string> pushItems(const Bytes& d) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i < d.size()) {
        const uint8_t type = d[i++];
        switch (type) {
            case 0: {
                const size_t z = std::strlen(reinterpret_cast<const char*>(&d[i]));
                out.push_back("s:" + std::string(reinterpret_cast<const char*>(&d[i]), z));
                i += z + 1;
                break;
            }
            case 1: out.push_back("f:" + std::to_string(std::bit_cast<float>(u32(&d[i])))); i += 4; break;
            case 2: out.push_back("null"); break;
            case 3: out.push_back("undef"); break;
            case 4: out.push_back("r:" + std::to_string(d[i++])); break;
            case 5: out.push_back("b:" + std::to_string(d[i++])); break;
            case 6: {
                const uint64_t bits = uint64_t(u32(&d[i])) << 32 | u32(&d[i + 4]);
                const double v = std::bit_cast<double>(bits);
                out.push_back(std::isnan(v) ? "d:nan" : "d:" + std::to_string(v));
                i += 8;
                break;
            }
            case 7: out.push_back("i:" + std::to_string(int32_t(u32(&d[i])))); i += 4; break;
            case 8: out.push_back("c:" + std::to_string(d[i++])); break;
            case 9: out.push_back("c:" + std::to_string(d[i] | d[i + 1] << 8)); i += 2; break;
            default: out.push_back("?"); i = d.size();
        }
    }
    return out;
}

Bytes assemble(const std::string& source) {
    ActionAssembler a;
    Bytes out;
    EXPECT_EQ(a.assemble(source, 1, out), 1) << a.errorText();
    return out;
}

std::string errorOf(const std::string& source, int firstLine = 1) {
    ActionAssembler a;
    Bytes out;
    EXPECT_EQ(a.assemble(source, firstLine, out), 0) << source;
    EXPECT_TRUE(out.empty());
    return a.errorText();
}

TEST(ActionAssembler, PushOperandsOfEveryKind) {
    const Bytes b = assemble(
        "push \"a\\\"b\\u00e9\", 7, -2147483648, 2147483648, 1.5, float:0.25, double:3, int:-1\n"
        "push true, false, null, undefined, r0, R255, c3, c255, c256, 0x10, NaN, -Infinity\n");
    const auto actions = decode(b);
    ASSERT_EQ(actions.size(), 2u);
    EXPECT_EQ(actions[0].code, 0x96);
    EXPECT_EQ(pushItems(actions[0].data),
              (std::vector<std::string>{"s:a\"b\xC3\xA9", "i:7", "i:-2147483648", "d:2147483648.000000",
                                        "d:1.500000", "f:0.250000", "d:3.000000", "i:-1"}));
    EXPECT_EQ(pushItems(actions[1].data),
              (std::vector<std::string>{"b:1", "b:0", "null", "undef", "r:0", "r:255", "c:3", "c:255",
                                        "c:256", "i:16", "d:nan", "d:-inf"}));
}

TEST(ActionAssembler, OperandsOfOtherActions) {
    const Bytes b = assemble(
        "constants \"x\", \"y\"\n gotoFrame 3\n gotoLabel \"end\"\n getURL \"u\", \"_blank\"\n"
        "storeRegister r2\n getURL2 post target\n gotoFrame2 play bias=2\n stop ; comment\n"
        "GetVariable // mnemonics ignore case\n");
    const auto a = decode(b);
    ASSERT_EQ(a.size(), 9u);
    EXPECT_EQ(a[0].code, 0x88);
    EXPECT_EQ(a[0].data, (Bytes{2, 0, 'x', 0, 'y', 0}));
    EXPECT_EQ(a[1].code, 0x81);
    EXPECT_EQ(a[1].data, (Bytes{3, 0}));
    EXPECT_EQ(a[2].data, (Bytes{'e', 'n', 'd', 0}));
    EXPECT_EQ(a[3].data, (Bytes{'u', 0, '_', 'b', 'l', 'a', 'n', 'k', 0}));
    EXPECT_EQ(a[4].data, (Bytes{2}));
    EXPECT_EQ(a[5].data, (Bytes{0x82}));
    EXPECT_EQ(a[6].data, (Bytes{0x03, 2, 0}));
    EXPECT_EQ(a[7].code, 0x07);
    EXPECT_EQ(a[8].code, 0x1C);
}

TEST(ActionAssembler, BranchesCountFromTheEndOfTheBranch) {
    const Bytes b = assemble(
        "top:\n push 1\n if done\n jump top\n done: stop\n");
    const auto a = decode(b);
    ASSERT_EQ(a.size(), 4u);
    auto target = [&](const Action& x) { return long(x.end) + int16_t(x.data[0] | x.data[1] << 8); };
    EXPECT_EQ(a[1].code, 0x9D);
    EXPECT_EQ(target(a[1]), long(a[2].end));  // "done" is the stop after the jump
    EXPECT_EQ(a[2].code, 0x99);
    EXPECT_EQ(target(a[2]), 0);
}

TEST(ActionAssembler, FunctionsCarryHeadersRegistersAndTheirOwnLabels) {
    const Bytes b = assemble(
        "defineFunction2 \"f\" (a:r3, b) preloadThis preloadRoot suppressArguments\n"
        "  loop: push r1\n  storeRegister r4\n  if loop\n"
        "  defineFunction g (x)\n    loop: jump loop\n  end\n"
        "end\n"
        "defineFunction2 (v) registers=9\n end\n");
    const auto a = decode(b);
    ASSERT_GE(a.size(), 2u);
    const Bytes& d = a[0].data;
    ASSERT_EQ(a[0].code, 0x8E);
    // name, 2 parameters, 5 registers (r4 is the highest used), flags, (3,"a"), (0,"b"), body size
    const Bytes header{'f', 0, 2, 0, 5, 0x49, 0x00, 3, 'a', 0, 0, 'b', 0};
    ASSERT_EQ(d.size(), header.size() + 2);
    EXPECT_TRUE(std::equal(header.begin(), header.end(), d.begin()));
    const size_t bodySize = d[d.size() - 2] | d[d.size() - 1] << 8;
    const Bytes body(b.begin() + long(a[0].end), b.begin() + long(a[0].end + bodySize));
    const auto inner = decode(body);
    ASSERT_EQ(inner.size(), 5u);  // push, storeRegister, if, defineFunction, jump in g
    EXPECT_EQ(inner[2].code, 0x9D);
    EXPECT_EQ(long(inner[2].end) + int16_t(inner[2].data[0] | inner[2].data[1] << 8), 0);
    EXPECT_EQ(inner[3].code, 0x9B);
    EXPECT_EQ(inner[3].data, (Bytes{'g', 0, 1, 0, 'x', 0, 5, 0}));
    EXPECT_EQ(inner[4].data, (Bytes{0xFB, 0xFF}));  // g's own loop: back over itself
    // The anonymous function takes the register count it is given.
    const auto rest = decode(Bytes(b.begin() + long(a[0].end + bodySize), b.end()));
    ASSERT_EQ(rest.size(), 1u);
    EXPECT_EQ(rest[0].data, (Bytes{0, 1, 0, 9, 0, 0, 0, 'v', 0, 0, 0}));
}

TEST(ActionAssembler, ErrorsNameTheirLine) {
    EXPECT_EQ(errorOf("stop\n\npushh 1\n", 10), "line 12: unknown instruction 'pushh'");
    EXPECT_EQ(errorOf("push\n"), "line 1: push needs at least one operand");
    EXPECT_EQ(errorOf("push foo\n"),
              "line 1: push: unknown operand 'foo' (strings are quoted; registers are r0..r255, "
              "constants c0..c65535)");
    EXPECT_EQ(errorOf("push \"open\n"), "line 1: unterminated string");
    EXPECT_EQ(errorOf("push \"\\q\"\n"), "line 1: unknown escape \\q");
    EXPECT_EQ(errorOf("push r256\n"), "line 1: push: register r256 is above r255");
    EXPECT_EQ(errorOf("stop 1\n"), "line 1: 'stop' takes no operands");
    EXPECT_EQ(errorOf("a:\nstop\na: stop\n"), "line 3: label 'a' is defined twice");
    EXPECT_EQ(errorOf("stop\njump nowhere\n"), "line 2: unknown label 'nowhere'");
    EXPECT_EQ(errorOf("gotoFrame -1\n"), "line 1: 'gotoFrame' takes a frame index from 0 to 65535");
    EXPECT_EQ(errorOf("end\n"), "line 1: 'end' without a function to close");
    EXPECT_EQ(errorOf("stop\ndefineFunction2 f ()\n push 1\n"), "line 2: the function is not closed with 'end'");
    EXPECT_EQ(errorOf("defineFunction2 f (a:r1) preloadThis\nend\n"),
              "line 1: parameter 'a': register r1 holds a preloaded value");
    EXPECT_EQ(errorOf("defineFunction2 f (a:r2, b:r2)\nend\n"),
              "line 1: parameters 'a' and 'b' share register r2");
    EXPECT_EQ(errorOf("defineFunction2 f () registers=2\n push r2\nend\n"),
              "line 1: registers=2 is too few: the function uses r2");
    EXPECT_EQ(errorOf("defineFunction2 f () preloadEverything\nend\n"),
              "line 1: defineFunction2: unknown flag 'preloadEverything'");
    // A label inside a function is not visible outside it.
    EXPECT_EQ(errorOf("defineFunction f ()\n in: stop\nend\njump in\n"), "line 4: unknown label 'in'");
}

TEST(ActionAssembler, LongBranchesAndRecordsAreRefused) {
    std::string source = "jump far\n";
    for (int i = 0; i < 33000; ++i) source += "stop\n";
    source += "far: stop\n";
    EXPECT_EQ(errorOf(source), "line 1: label 'far' is too far away for a branch");
    const std::string big(70000, 'x');
    EXPECT_EQ(errorOf("push \"" + big + "\"\n"), "line 1: push: the operands exceed 65535 bytes");
}

}  // namespace
