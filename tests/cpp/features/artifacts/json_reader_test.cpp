#include "zelk/features/artifacts/json_reader.hpp"

#include <cmath>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "zelk/features/artifacts/json_strict.hpp"
#include "zelk/features/artifacts/json_writer.hpp"

namespace zelk::json {
namespace {

TEST(JsonReader, BuildsTreeWithPositionsOfValuesAndMemberNames) {
    const auto v = parse("{\n  \"a\": [1, true],\n  \"bé\": {\"c\": null}, \"d\": \"x\"\n}");
    ASSERT_TRUE(v.has_value()) << v.error().to_string();
    EXPECT_EQ(v->type, Type::Object);
    EXPECT_EQ(v->position, (Position{1, 1}));
    ASSERT_EQ(v->members.size(), 3u);
    EXPECT_EQ(v->members[0].name, "a");
    EXPECT_EQ(v->members[0].position, (Position{2, 3}));
    const Value& a = v->members[0].value;
    EXPECT_EQ(a.position, (Position{2, 8}));
    ASSERT_EQ(a.items.size(), 2u);
    EXPECT_EQ(a.items[0].text, "1");
    EXPECT_EQ(a.items[1].position, (Position{2, 12}));
    EXPECT_TRUE(a.items[1].boolean);
    // Columns count characters: "é" is two bytes but one column.
    EXPECT_EQ(v->members[1].name, "bé");
    EXPECT_EQ(v->members[1].value.members[0].value.type, Type::Null);
    EXPECT_EQ(v->members[2].position, (Position{3, 22}));
    EXPECT_EQ(v->members[2].value.text, "x");
}

TEST(JsonReader, DecodesEscapesAndKeepsNumberLiterals) {
    const auto v = parse(R"(["\"\\\/\b\f\n\r\t", "\u00e9\u20AC\ud83d\ude00", -0.5e+10, 0, 1E2])");
    ASSERT_TRUE(v.has_value()) << v.error().to_string();
    EXPECT_EQ(v->items[0].text, "\"\\/\b\f\n\r\t");
    EXPECT_EQ(v->items[1].text, "é€😀");
    EXPECT_EQ(v->items[2].text, "-0.5e+10");
    EXPECT_EQ(v->items[2].as_double(), -0.5e10);
    EXPECT_EQ(v->items[3].as_u64(), 0u);
    EXPECT_EQ(v->items[4].as_u64(), std::nullopt);  // an exponent is not an integer literal
}

TEST(JsonReader, RefusesMalformedTextAtTheFault) {
    struct Case {
        std::string text;
        std::string message;
    };
    const Case cases[] = {
        {"", "EOF while parsing a value at line 1 column 1"},
        {"  ", "EOF while parsing a value at line 1 column 3"},
        {"{\"a\": 1,\n \"a\": 2}", "duplicate field `a` at line 2 column 2"},
        {"{\"a\": {\"b\": 1, \"b\": 1}}", "duplicate field `b` at line 1 column 16"},
        {"{\"a\" 1}", "expected `:` at line 1 column 6"},
        {"{\"a\": 1 \"b\": 2}", "expected `,` or `}` at line 1 column 9"},
        {"{\"a\": 1,}", "key must be a string at line 1 column 9"},
        {"{a: 1}", "key must be a string at line 1 column 2"},
        {"[1, 2", "EOF while parsing a list at line 1 column 6"},
        {"[1 2]", "expected `,` or `]` at line 1 column 4"},
        {"[1,]", "expected value at line 1 column 4"},
        {"{} {}", "trailing characters at line 1 column 4"},
        {"01", "invalid number: leading zero at line 1 column 2"},
        {"1.", "invalid number: expected a digit after the point at line 1 column 3"},
        {"1e", "invalid number: expected a digit in the exponent at line 1 column 3"},
        {"-", "expected value at line 1 column 2"},
        {"+1", "expected value at line 1 column 1"},
        {"tru", "expected value at line 1 column 1"},
        {"NaN", "expected value at line 1 column 1"},
        {"\"abc", "EOF while parsing a string at line 1 column 5"},
        {"\"a\nb\"", "control character in string at line 1 column 3"},
        {"\"\\x\"", "invalid escape at line 1 column 2"},
        {"\"\\u12g4\"", "invalid \\u escape at line 1 column 6"},
        {"\"\\ud800\"", "lone leading surrogate in \\u escape at line 1 column 2"},
        {"\"\\ud800\\u0041\"", "lone leading surrogate in \\u escape at line 1 column 2"},
        {"\"\\udc00\"", "lone trailing surrogate in \\u escape at line 1 column 2"},
        {"\"\xff\"", "invalid UTF-8 in string at line 1 column 2"},
        {"\"\xc0\xaf\"", "invalid UTF-8 in string at line 1 column 2"},          // overlong
        {"\"\xed\xa0\x80\"", "invalid UTF-8 in string at line 1 column 2"},      // surrogate
        {"\"\xf4\x90\x80\x80\"", "invalid UTF-8 in string at line 1 column 2"},  // > U+10FFFF
        {"\"\xe2\x82\"", "invalid UTF-8 in string at line 1 column 2"},          // truncated
        {"\xef\xbb\xbf{}", "expected value at line 1 column 1"},                 // BOM
    };
    for (const Case& c : cases) {
        const auto v = parse(c.text);
        ASSERT_FALSE(v.has_value()) << c.text;
        EXPECT_EQ(v.error().to_string(), c.message) << c.text;
    }
}

TEST(JsonReader, LimitsNestingDepth) {
    const std::string ok = std::string(MAX_DEPTH, '[') + std::string(MAX_DEPTH, ']');
    EXPECT_TRUE(parse(ok).has_value());
    const std::string deep = std::string(MAX_DEPTH + 1, '[') + std::string(MAX_DEPTH + 1, ']');
    const auto v = parse(deep);
    ASSERT_FALSE(v.has_value());
    EXPECT_EQ(v.error().to_string(),
              "recursion limit exceeded at line 1 column " + std::to_string(MAX_DEPTH + 1));
    // Far deeper input fails the same way instead of exhausting the stack.
    EXPECT_FALSE(parse(std::string(1'000'000, '[')).has_value());
}

TEST(JsonWriter, WritesTheFixedPrettyLayout) {
    Value doc = Value::object();
    doc.add("s", Value::from_string("q\"\\\n\x01é"));
    doc.add("n", Value::from_u64(18446744073709551615u));
    doc.add("e", Value::array());
    doc.add("o", Value::object());
    Value& list = doc.add("l", Value::array());
    list.push(Value::from_bool(false));
    list.push(Value::null());
    list.push(Value::object()).add("k", Value::from_u64(1));
    const auto text = write_pretty(doc);
    ASSERT_TRUE(text.has_value()) << text.error();
    EXPECT_EQ(*text,
              "{\n"
              "  \"s\": \"q\\\"\\\\\\n\\u0001é\",\n"
              "  \"n\": 18446744073709551615,\n"
              "  \"e\": [],\n"
              "  \"o\": {},\n"
              "  \"l\": [\n"
              "    false,\n"
              "    null,\n"
              "    {\n"
              "      \"k\": 1\n"
              "    }\n"
              "  ]\n"
              "}");
    // What it writes reads back to the same tree and writes the same bytes.
    const auto back = parse(*text);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->members[0].value.text, "q\"\\\n\x01é");
    EXPECT_EQ(write_pretty(*back), text);
}

TEST(JsonWriter, RefusesInvalidUtf8AndBadLiterals) {
    EXPECT_EQ(write_pretty(Value::from_string("a\xff")).error(), "string is not valid UTF-8");
    Value obj = Value::object();
    obj.add("\xc3", Value::null());
    EXPECT_EQ(write_pretty(obj).error(), "string is not valid UTF-8");
    Value bad;
    bad.type = Type::Number;
    bad.text = "1 2";
    EXPECT_EQ(write_pretty(bad).error(), "invalid number literal `1 2`");
}

TEST(JsonWriter, DoublesReadBackUnchanged) {
    const double values[] = {0.1,
                             -0.0,
                             1.0,
                             1e300,
                             5e-324,
                             2.2250738585072014e-308,
                             123456789.123456789,
                             1.7976931348623157e308,
                             -3.25};
    for (double d : values) {
        const auto v = Value::from_double(d);
        ASSERT_TRUE(v.has_value());
        const auto text = write_pretty(*v);
        ASSERT_TRUE(text.has_value());
        const auto back = parse(*text);
        ASSERT_TRUE(back.has_value()) << *text;
        ASSERT_TRUE(back->as_double().has_value()) << *text;
        EXPECT_EQ(std::signbit(*back->as_double()), std::signbit(d)) << *text;
        EXPECT_EQ(*back->as_double(), d) << *text;
    }
    EXPECT_EQ(Value::from_double(1.0)->text, "1.0");
    EXPECT_EQ(Value::from_double(0.1)->text, "0.1");
    EXPECT_FALSE(Value::from_double(std::numeric_limits<double>::infinity()).has_value());
    EXPECT_FALSE(Value::from_double(std::numeric_limits<double>::quiet_NaN()).has_value());
}

TEST(JsonStrict, NamesTheFieldAndPointsAtTheFault) {
    const auto doc = parse(
        "{\n  \"a\": \"x\",\n  \"n\": -1,\n  \"f\": 1.5,\n  \"b\": true,\n"
        "  \"v\": \"maybe\",\n  \"big\": 18446744073709551616\n}");
    ASSERT_TRUE(doc.has_value());
    const auto unknown = StrictObject::open(*doc, "doc", {"a", "n"});
    ASSERT_FALSE(unknown.has_value());
    EXPECT_EQ(unknown.error().to_string(),
              "unknown field `f`, expected `a` or `n` at line 4 column 3");
    const auto one = StrictObject::open(*doc, "doc", {"a"});
    EXPECT_EQ(one.error().message, "unknown field `n`, expected `a`");

    const auto obj = StrictObject::open(*doc, "doc", {"a", "n", "f", "b", "v", "big", "m"});
    ASSERT_TRUE(obj.has_value());
    EXPECT_EQ(obj->require("m").error().to_string(), "missing field `m` at line 1 column 1");
    EXPECT_EQ(obj->string("a")->value, "x");
    EXPECT_EQ(obj->string("a")->position, (Position{2, 8}));
    EXPECT_EQ(obj->string("b").error().to_string(),
              "invalid type for `b`: expected a string, found a boolean at line 5 column 8");
    EXPECT_EQ(obj->u64("a").error().message,
              "invalid type for `a`: expected an unsigned integer, found a string");
    EXPECT_EQ(obj->u64("n").error().to_string(),
              "invalid value for `n`: expected an unsigned 64-bit integer, found -1 at line 3 "
              "column 8");
    EXPECT_EQ(obj->u64("f").error().message,
              "invalid value for `f`: expected an unsigned 64-bit integer, found 1.5");
    EXPECT_EQ(obj->u64("big").error().message,
              "invalid value for `big`: expected an unsigned 64-bit integer, found "
              "18446744073709551616");
    EXPECT_FALSE(obj->optional_u64("m")->has_value());
    EXPECT_FALSE(obj->optional_string("b").has_value());

    static constexpr std::string_view VARIANTS[] = {"yes", "no", "maybe"};
    EXPECT_EQ(read_variant(*obj->find("v"), "v", VARIANTS)->value, 2u);
    EXPECT_EQ(read_variant(*obj->find("a"), "v", VARIANTS).error().to_string(),
              "unknown variant `x` for `v`, expected one of `yes`, `no`, `maybe` at line 2 "
              "column 8");
    EXPECT_EQ(StrictObject::open(*obj->find("a"), "a", {}).error().message,
              "invalid type for `a`: expected an object, found a string");
    EXPECT_EQ(read_array(*obj->find("n"), "n").error().message,
              "invalid type for `n`: expected an array, found a number");

    // Names from the document are shown with control characters escaped.
    const auto odd = parse("{\"a\\nb\": 1, \"a\\nb\": 2}");
    EXPECT_EQ(odd.error().message, "duplicate field `a\\nb`");
    const auto odd_member = parse("{\"x\\u0001\": \"\\t\"}");
    EXPECT_EQ(StrictObject::open(*odd_member, "doc", {"v"}).error().message,
              "unknown field `x\\u{1}`, expected `v`");
    EXPECT_EQ(read_variant(odd_member->members[0].value, "v", VARIANTS).error().message,
              "unknown variant `\\t` for `v`, expected one of `yes`, `no`, `maybe`");
}

}  // namespace
}  // namespace zelk::json
