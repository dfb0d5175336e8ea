#include "composer/variable_table.h"

#include <gtest/gtest.h>

#include <string>

#include "support/byte_buffer.h"

namespace tessaly {
namespace {

std::string expand(const VariableTable& t, std::string_view tpl, bool drop = false) {
    ByteBuffer out(64, 64, 1.0f);
    if (!t.expand(tpl, out, drop)) return "<failed>";
    // The text is terminated, and the position sits on the terminator.
    EXPECT_EQ(out.data()[out.position()], 0);
    return std::string(reinterpret_cast<const char*>(out.data()), out.position());
}

TEST(VariableTable, SetGetAndReplace) {
    VariableTable t;
    EXPECT_FALSE(t.get("w"));
    ASSERT_EQ(t.set("width", "600"), 1);
    ASSERT_TRUE(t.get("width"));
    EXPECT_EQ(*t.get("width"), std::string_view("600\0", 4));
    EXPECT_STREQ(t.text("width"), "600");

    // Not longer: replaced in place, no store growth.
    const size_t before = t.storeSize();
    ASSERT_EQ(t.set("width", "75"), 1);
    EXPECT_EQ(t.storeSize(), before);
    EXPECT_STREQ(t.text("width"), "75");
    // Longer: appended, old bytes abandoned.
    ASSERT_EQ(t.set("width", "123456"), 1);
    EXPECT_GT(t.storeSize(), before);
    EXPECT_STREQ(t.text("width"), "123456");
    EXPECT_EQ(t.count(), 1u);

    // Raw bytes are kept as given (the caller's NUL included or not).
    ASSERT_EQ(t.set("raw", "ab", 2), 1);
    EXPECT_EQ(t.get("raw")->size(), 2u);
    EXPECT_STREQ(t.text("raw"), "ab");

    // The bucket comes from the exact bytes: another spelling lands elsewhere.
    ASSERT_EQ(t.set("Name", "x"), 1);
    EXPECT_TRUE(t.get("Name"));
    EXPECT_FALSE(t.get("NAME"));

    const std::string n51(51, 'a'), n52(52, 'a');
    EXPECT_EQ(t.set(n51, "ok"), 1);
    EXPECT_STREQ(t.text(n51), "ok");
    EXPECT_EQ(t.set(n52, "no"), 0);
    EXPECT_FALSE(t.get(n52));

    // Many entries chain through the buckets.
    for (int i = 0; i < 2000; ++i) ASSERT_EQ(t.set("v" + std::to_string(i), std::to_string(i * 3)), 1);
    for (int i = 0; i < 2000; i += 97) EXPECT_EQ(std::string(t.text("v" + std::to_string(i))), std::to_string(i * 3));
}

TEST(VariableTable, PlainPlaceholders) {
    VariableTable t;
    EXPECT_EQ(t.set("w", "600"), 1);
    EXPECT_EQ(t.set("_x", "X"), 1);
    EXPECT_EQ(t.set("1st", "one"), 1);
    EXPECT_EQ(t.set("a b", "spaced"), 1);
    EXPECT_EQ(expand(t, "{w}"), "600");
    EXPECT_EQ(expand(t, "a{w}b{_x}c{1st}{a b}"), "a600bXcone" "spaced");
    EXPECT_EQ(expand(t, "{unknown} {w"), "{unknown} {w");
    EXPECT_EQ(expand(t, "{unknown}|{-w}|{}", true), "||");
    EXPECT_EQ(expand(t, "\\{w}"), "{w}");
    EXPECT_EQ(expand(t, "x\\{w}{w}"), "x{w}600");
    // An escaped '}' does not close; "\}" stays as it is.
    EXPECT_EQ(expand(t, "{w\\}}"), "{w\\}}");
    EXPECT_EQ(expand(t, "plain"), "plain");
    EXPECT_EQ(expand(t, ""), "");

    const std::string n52(52, 'n');
    VariableTable longNames;
    EXPECT_EQ(expand(longNames, "{" + n52 + "}"), "{" + n52 + "}");
}

TEST(VariableTable, Expressions) {
    VariableTable t;
    EXPECT_EQ(t.set("w", "600"), 1);
    EXPECT_EQ(t.set("pageHeight", "11000"), 1);
    EXPECT_EQ(t.set("docHeight", "550"), 1);
    EXPECT_EQ(t.set("a-b", "dash"), 1);
    EXPECT_EQ(t.set("word", "text"), 1);
    EXPECT_EQ(expand(t, "{=w%50}"), "300");
    EXPECT_EQ(expand(t, "{=w*-1}"), "-600");
    EXPECT_EQ(expand(t, "{=w/0}"), "{=w/0}");
    EXPECT_EQ(expand(t, "{=w/0}", true), "");
    EXPECT_EQ(expand(t, "{=pageHeight/400}"), "27.5");
    EXPECT_EQ(expand(t, "{=docHeight*5}"), "2750");
    EXPECT_EQ(expand(t, "{=w+0.5}{=w-1000}{=w--5}{=w*+2}"), "600.5-400605" "1200");
    EXPECT_EQ(expand(t, "{=w/3}"), "200");
    EXPECT_EQ(expand(t, "{=w/7}"), "85.7143");
    EXPECT_EQ(expand(t, "{=w*1000000}"), "6e+08");
    // Without an operator, or when no number follows it, the text is a name.
    EXPECT_EQ(expand(t, "{=w}{=a-b}{=word}"), "600dashtext");
    EXPECT_EQ(expand(t, "{=word*2}"), "{=word*2}");  // not a number
    EXPECT_EQ(expand(t, "{=w*x}"), "{=w*x}");
    EXPECT_EQ(expand(t, "{=w*1e2}"), "{=w*1e2}");
    EXPECT_EQ(expand(t, "{=w%0.00001}{=w%20000}"), "{=w%0.00001}{=w%20000}");
    EXPECT_EQ(expand(t, "{=nobody+1}"), "{=nobody+1}");
    EXPECT_EQ(expand(t, "{=}{=+1}"), "{=}{=+1}");
    EXPECT_EQ(t.set("w*", "star"), 1);
    EXPECT_EQ(expand(t, "{=w*}"), "star");  // an operator at the very end is part of the name
    const std::string big = "{=" + std::string(300, 'w') + "}";
    EXPECT_EQ(expand(t, big), big);
}

TEST(VariableTable, ExpandAppendsAndUnescapesOnlyItsOwnText) {
    VariableTable t;
    EXPECT_EQ(t.set("w", "1"), 1);
    ByteBuffer out(16, 16, 1.0f);
    ASSERT_EQ(t.expand("a\\{", out, false), 1);
    ASSERT_EQ(t.expand("{w}\\{", out, false), 1);
    EXPECT_EQ(out.position(), 4u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(out.data())), "a{1{");
    // Values are not unescaped twice: "\\{" from a value stays one level escaped.
    EXPECT_EQ(t.set("esc", "\\\\{"), 1);
    EXPECT_EQ(expand(t, "{esc}"), "\\{");
}

}  // namespace
}  // namespace tessaly
