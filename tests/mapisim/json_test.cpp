#include "mapisim/loader/json.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace json = mapisim::json;

namespace {

json::Value ok(std::string_view text)
{
    json::Value v;
    json::Error e;
    EXPECT_TRUE(json::parse(text, v, e)) << text << " -> " << e.pos.line << ":" << e.pos.column
                                         << " " << e.path << ": " << e.message;
    return v;
}

json::Error bad(std::string_view text, const json::Options& options = {})
{
    json::Value v;
    json::Error e;
    EXPECT_FALSE(json::parse(text, v, e, options)) << text;
    EXPECT_FALSE(e.message.empty());
    return e;
}

std::string where(const json::Error& e)
{
    return std::to_string(e.pos.line) + ":" + std::to_string(e.pos.column) + " " + e.path;
}

} // namespace

TEST(Json, ReadsEveryKindOfValueInSourceOrder)
{
    const json::Value v =
        ok("\xEF\xBB\xBF { \"b\": [true, false, null], \"a\": -12.5e1,\r\n"
           " \"s\": \"x\\\"\\\\\\/\\b\\f\\n\\r\\t\", \"e\": {}, \"z\": []}\n");
    ASSERT_TRUE(v.is_object());
    ASSERT_EQ(v.members().size(), 5u);
    EXPECT_EQ(v.members()[0].first, "b");
    EXPECT_EQ(v.members()[1].first, "a");
    const json::Value* b = v.find("b");
    ASSERT_TRUE(b && b->is_array());
    EXPECT_TRUE(b->items()[0].boolean());
    EXPECT_FALSE(b->items()[1].boolean());
    EXPECT_TRUE(b->items()[2].is_null());
    double d = 0;
    ASSERT_TRUE(v.find("a")->to_double(d));
    EXPECT_EQ(d, -125.0);
    EXPECT_EQ(v.find("s")->text(), "x\"\\/\b\f\n\r\t");
    EXPECT_TRUE(v.find("e")->is_object() && v.find("e")->members().empty());
    EXPECT_EQ(v.find("missing"), nullptr);
    // Positions: the BOM is not a column; line 2 starts after CR LF.
    EXPECT_EQ(v.pos().line, 1u);
    EXPECT_EQ(v.pos().column, 2u);
    EXPECT_EQ(v.find("s")->pos().line, 2u);
    EXPECT_EQ(v.find("s")->pos().column, 7u);
}

TEST(Json, DecodesUnicodeEscapesAndKeepsUtf8)
{
    EXPECT_EQ(ok(R"("\u00e9\u20AC\ud83d\ude00\u0000!")").text(),
              std::string("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", 9) + std::string(1, '\0') + "!");
    EXPECT_EQ(ok("\"\xC3\xA9\xF0\x9F\x98\x80\"").text(), "\xC3\xA9\xF0\x9F\x98\x80");
    // Columns count characters: the 'x' is the 5th character of the line.
    const json::Error e = bad("[\"\xC3\xA9\xE2\x82\xAC\",x]");
    EXPECT_EQ(where(e), "1:7 [1]");
}

TEST(Json, ConvertsNumbersOnlyWhenExact)
{
    std::int64_t i = 0;
    std::uint64_t u = 0;
    double d = 0;
    EXPECT_TRUE(ok("-9223372036854775808").to_int64(i));
    EXPECT_EQ(i, INT64_MIN);
    EXPECT_FALSE(ok("9223372036854775808").to_int64(i));
    EXPECT_TRUE(ok("18446744073709551615").to_uint64(u));
    EXPECT_EQ(u, UINT64_MAX);
    EXPECT_FALSE(ok("18446744073709551616").to_uint64(u));
    EXPECT_FALSE(ok("-1").to_uint64(u));
    EXPECT_FALSE(ok("-0").to_uint64(u));
    EXPECT_FALSE(ok("1.0").to_int64(i));
    EXPECT_FALSE(ok("1e3").to_int64(i));
    EXPECT_FALSE(ok("1e999").to_double(d));
    EXPECT_FALSE(ok("\"1\"").to_int64(i));
    EXPECT_TRUE(ok("0.25").to_double(d));
    EXPECT_EQ(d, 0.25);
}

TEST(Json, RefusesWhatStrictJsonForbids)
{
    const char* cases[] = {
        "",      "   ",      "[1,]",      "{\"a\":1,}", "[1 2]",     "{\"a\" 1}",   "{a:1}",
        "['a']", "// c\n1",  "/* c */ 1", "01",         "-",         "1.",          ".5",
        "1e",    "+1",       "0x1F",      "NaN",        "Infinity",  "tru",         "nulls",
        "\"abc", "\"a\nb\"", "\"a\tb\"",  "\"\\x41\"",  "\"\\u12\"", "\"\\u12G4\"", "[1]]",
        "{} {}", "[",        "{\"a\":",   "\"\\",       "\"\\u",
    };
    for (const char* text : cases) bad(text);
}

TEST(Json, RefusesBrokenUtf8AndLoneSurrogates)
{
    const char* cases[] = {
        "\"\xC0\x80\"",         // overlong NUL
        "\"\xE0\x80\xAF\"",     // overlong '/'
        "\"\xED\xA0\x80\"",     // a surrogate encoded in UTF-8
        "\"\xF4\x90\x80\x80\"", // above U+10FFFF
        "\"\xF5\x80\x80\x80\"", // no such lead byte
        "\"\x80\"",             // stray continuation byte
        "\"\xE2\x82\"",         // cut short by the quote
        "\"\xE2\x82",           // cut short by the end
        "\"\\ud83d\"",          // high surrogate alone
        "\"\\ud83dx\"",         // high surrogate followed by text
        "\"\\ud83d\\u0041\"",   // followed by a non-surrogate escape
        "\"\\ude00\"",          // low surrogate alone
    };
    for (const char* text : cases) bad(text);
    // The error names the escape that started the broken pair.
    EXPECT_EQ(where(bad("[\"ab\\ud83d\\u0041\"]")), "1:5 [0]");
}

TEST(Json, NamesLineColumnAndPathOfTheFault)
{
    EXPECT_EQ(where(bad("{\"stores\": [{}, {\"folders\": [1, 2, 3,]}]}")),
              "1:38 stores[1].folders");
    EXPECT_EQ(where(bad("{\n  \"a\": {\n    \"b\": tru\n  }\n}")), "3:10 a.b");
    EXPECT_EQ(where(bad("{\"odd \\\"name\\\"\": [0, {\"x\": 01}]}")),
              "1:29 [\"odd \\\"name\\\"\"][1].x");
    // A bad member name does not show the previous name.
    EXPECT_EQ(where(bad("{\"a\": 1, \"b\\q\": 2}")), "1:12 ");
    json::Error e = bad("{\"a\": 1, \"b\": 2, \"a\": 3}");
    EXPECT_EQ(where(e), "1:18 a");
    EXPECT_EQ(e.message, "duplicate member name");
}

TEST(Json, FindsDuplicateNamesInLargeObjectsInSourceOrder)
{
    std::string text = "{";
    for (int i = 0; i < 40; ++i) text += "\"k" + std::to_string(i) + "\": 0, ";
    text += "\"k30\": 1, \"k5\": 2}";
    const json::Error e = bad(text);
    EXPECT_EQ(e.path, "k30");
    EXPECT_EQ(e.message, "duplicate member name");
}

TEST(Json, LimitsNestingDepth)
{
    json::Options options;
    options.max_depth = 4;
    json::Value v;
    json::Error e;
    EXPECT_FALSE(json::parse("[[[{\"a\":[]}]]]", v, e, options));
    EXPECT_TRUE(json::parse("[[[{\"a\":1}]]]", v, e, options));
    // Far deeper than the default limit: refused, not a stack overflow.
    const std::string deep(1000000, '[');
    e = bad(deep);
    EXPECT_NE(e.message.find("nested deeper than 200"), std::string::npos);
    EXPECT_EQ(e.pos.column, 201u);
}

TEST(Json, LeavesTheOutputAloneOnFailure)
{
    json::Value v = ok("[1, 2]");
    json::Error e;
    EXPECT_FALSE(json::parse("[3, 4", v, e));
    ASSERT_TRUE(v.is_array());
    EXPECT_EQ(v.items().size(), 2u);
}
