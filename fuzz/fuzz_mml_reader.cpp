// Arbitrary bytes as MML: every element visited with and without a name, every
// getter called on each, and the same bytes expanded as a template.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "composer/mml_reader.h"
#include "composer/mml_values.h"
#include "composer/variable_table.h"
#include "support/byte_buffer.h"

using namespace tessaly;

namespace {
const char* const kAttributes[] = {"pos", "color", "depth", "path", "size", "matrix", "id", "", "x"};

void readEverything(MmlReader& reader) {
    const ElementRecord* e = reader.current();
    if (!e || e->tagOffset + e->tagLength > reader.length()) __builtin_trap();
    for (const char* name : kAttributes) {
        if (const char* v = reader.attribute(name)) {
            const std::string_view value(v, reader.valueLength());
            MmlMatrix m;
            // Results are not checked: the target only asks that every input is handled safely.
            (void)parseMatrix(value, &m);
            parsePointList(value);
            parseRectList(value);
            (void)hasKeyword(value, "left");
        }
        reader.attributeTrimmed(name);
        reader.attributeWide(name);
        double a = 0, b = 0;
        int32_t i = 0;
        MmlColor c;
        reader.attributeReal(name, &a);
        reader.attributeInteger(name, &i);
        reader.attributePair(name, &a, &b);
        reader.attributeColor(name, &c);
    }
    reader.attribute(nullptr);
    reader.attributeWide(nullptr);
    reader.innerText();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    MmlReader reader;
    if (!reader.loadText(text)) return 0;

    for (int steps = 0; reader.nextElement() && steps < 4096; ++steps) {
        readEverything(reader);
        if (steps % 3 == 0 && reader.push()) {
            (void)reader.nextElement("Shape");
            (void)reader.swapTop();
            (void)reader.pop();
        }
    }
    reader.rewind();
    for (const char* name : {"Shape", "/Frame", ""}) {
        for (int steps = 0; reader.nextElement(name) && steps < 4096; ++steps) readEverything(reader);
        reader.rewind();
    }
    (void)reader.nextElement(nullptr, "id", "a", true);
    (void)reader.nextElement("Param", "name", "x", false);

    VariableTable table;
    (void)table.set("w", "600");
    (void)table.set("name", "Tessaly {w}");
    (void)table.set("neg", "-1.5");
    ByteBuffer out(256, 256, 1.0f);
    (void)table.expand(text, out, false);
    (void)table.expand(text, out, true);
    return 0;
}
