#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "net/json.h"

namespace {

std::unique_ptr<JsonValue> ok(const std::string& text) {
  auto v = jsonParse(text);
  EXPECT_TRUE(v) << "should parse: " << text;
  return v;
}

bool fails(const std::string& text) { return jsonParse(text) == nullptr; }

double numberOf(const std::string& text) {
  auto v = jsonParse(text);
  if (!v || v->kind != JsonKind::Number) {
    ADD_FAILURE() << "not a number: " << text;
    return NAN;
  }
  return v->number;
}

std::string textOf(const std::string& text) {
  auto v = jsonParse(text);
  if (!v || v->kind != JsonKind::String) {
    ADD_FAILURE() << "not a string: " << text;
    return {};
  }
  return v->text;
}

std::string nested(int levels, const std::string& inner = "") {
  return std::string(levels, '[') + inner + std::string(levels, ']');
}

TEST(JsonParse, WhitespaceAroundTheDocument) {
  auto v = ok("  {}\r\n");
  ASSERT_TRUE(v);
  EXPECT_EQ(v->kind, JsonKind::Object);
  EXPECT_TRUE(v->members.empty());
  EXPECT_TRUE(fails("{} x"));
  EXPECT_TRUE(fails(""));
  EXPECT_TRUE(fails(" \t\r\n"));
  EXPECT_TRUE(ok("\t[ 1 ,\n2 ]\t"));
  // Only the four JSON blanks count as whitespace.
  EXPECT_TRUE(fails("\v{}"));
  EXPECT_TRUE(fails("{}\f"));
  EXPECT_TRUE(fails("[1,\xc2\xa0" "2]"));
  EXPECT_TRUE(fails(std::string("{}\0", 3)));
}

TEST(JsonParse, ScalarsAndLiterals) {
  auto t = ok("true"), f = ok("false"), n = ok("null");
  ASSERT_TRUE(t && f && n);
  EXPECT_EQ(t->kind, JsonKind::Boolean);
  EXPECT_TRUE(t->boolean);
  EXPECT_EQ(f->kind, JsonKind::Boolean);
  EXPECT_FALSE(f->boolean);
  EXPECT_EQ(n->kind, JsonKind::Null);
  // Literals are their letters alone; what follows is the container's business.
  EXPECT_TRUE(fails("truex"));
  EXPECT_TRUE(fails("[truex]"));
  EXPECT_TRUE(fails("[nul]"));
  EXPECT_TRUE(fails("True"));
  EXPECT_TRUE(fails("tru"));
  auto a = ok("[true,false,null]");
  ASSERT_TRUE(a);
  ASSERT_EQ(a->items.size(), 3u);
  EXPECT_EQ(a->items[2].kind, JsonKind::Null);
}

TEST(JsonParse, NumbersTakeTheLongestValidPrefixOfTheirRun) {
  EXPECT_EQ(numberOf("+5"), 5.0);
  EXPECT_EQ(numberOf("1e3"), 1000.0);
  EXPECT_EQ(numberOf("-12.25"), -12.25);
  EXPECT_EQ(numberOf("007"), 7.0);
  EXPECT_EQ(numberOf("1.5.2"), 1.5);
  EXPECT_EQ(numberOf("2E-2"), 0.02);
  EXPECT_EQ(numberOf("-0"), 0.0);
  EXPECT_TRUE(std::signbit(numberOf("-0")));
  EXPECT_EQ(numberOf("1e+2"), 100.0);
  EXPECT_EQ(numberOf(".5"), 0.5);
  EXPECT_EQ(numberOf("59.9139"), 59.9139);
  EXPECT_EQ(numberOf("-"), 0.0);  // a run without digits converts to nothing, i.e. 0
  EXPECT_EQ(numberOf("1e"), 1.0);
  EXPECT_TRUE(std::isinf(numberOf("1e999")));
  EXPECT_TRUE(fails("a"));
  EXPECT_TRUE(fails("0x10"));  // the run ends at "x", which is then left over
  EXPECT_TRUE(fails("Infinity"));
  EXPECT_TRUE(fails("NaN"));
  EXPECT_TRUE(fails("[1 2]"));
  auto a = ok("[1,-2.5e1, 3]");
  ASSERT_TRUE(a);
  ASSERT_EQ(a->items.size(), 3u);
  EXPECT_EQ(a->items[1].number, -25.0);
}

TEST(JsonParse, StringEscapes) {
  EXPECT_EQ(textOf(R"("plain")"), "plain");
  EXPECT_EQ(textOf(R"("")"), "");
  EXPECT_EQ(textOf(R"("\"\/\\\b\f\n\r\t")"), "\"/\\\b\f\n\r\t");
  EXPECT_EQ(textOf(R"("\u00e9")"), "\xc3\xa9");
  EXPECT_EQ(textOf(R"("\u00E9")"), "\xc3\xa9");
  EXPECT_EQ(textOf(R"("\u0041\u007f\u0080\u07ff\u0800\uffff")"),
            "A\x7f\xc2\x80\xdf\xbf\xe0\xa0\x80\xef\xbf\xbf");
  EXPECT_EQ(textOf(R"("\u0000")"), std::string(1, '\0'));
  EXPECT_EQ(textOf(R"("\ud83d\ude00")"), "\xf0\x9f\x98\x80");  // U+1F600
  EXPECT_EQ(textOf(R"("\uDBFF\uDFFF")"), "\xf4\x8f\xbf\xbf");  // U+10FFFF
  EXPECT_EQ(textOf(R"("Data \u00a9 OpenStreetMap")"), "Data \xc2\xa9 OpenStreetMap");
}

// U+FFFD as UTF-8.
const std::string kBad = "\xef\xbf\xbd";

TEST(JsonParse, OnlyAHighSurrogateFollowedByALowOneMakesAPair) {
  struct Case {
    const char* json;
    std::string text;
  };
  const Case cases[] = {
      {R"("\ud83dx")", kBad + "x"},                      // high, then a plain byte
      {R"("\ud83d")", kBad},                             // high at the end
      {R"("\ud83d\n")", kBad + "\n"},                    // high, then another escape
      {R"("\ude00")", kBad},                             // low alone
      {R"("\ude00\ud83d")", kBad + kBad},                // low before high
      {R"("\ud800\u0041")", kBad + "A"},                 // the second unit is decoded on its own
      {R"("\udbff\uffff")", kBad + "\xef\xbf\xbf"},      // no code point above U+10FFFF
      {R"("\ud83d\ud83d\ude00")", kBad + "\xf0\x9f\x98\x80"},  // the second high pairs
      {R"("\ud800\udc00")", "\xf0\x90\x80\x80"},         // U+10000
      {R"("a\udfffb")", "a" + kBad + "b"},
  };
  for (const Case& c : cases) EXPECT_EQ(textOf(c.json), c.text) << c.json;
  // A broken second escape still fails the string.
  EXPECT_TRUE(fails(R"("\ud83d\u12")"));
  EXPECT_TRUE(fails(R"("\ud83d\uzzzz")"));
}

TEST(JsonParse, RawBytesThatAreNotUtf8BecomeReplacementCharacters) {
  struct Case {
    std::string raw;
    std::string text;
  };
  const Case cases[] = {
      {"Київ ❄", "Київ ❄"},                           // valid text is kept byte for byte
      {"tab\there\nnewline", "tab\there\nnewline"},
      {std::string("a\0b", 3), std::string("a\0b", 3)},
      {"\xf0\x9f\x98\x80 \xf4\x8f\xbf\xbf", "\xf0\x9f\x98\x80 \xf4\x8f\xbf\xbf"},
      {"\xff\xfe\x80", kBad + kBad + kBad},             // one per bad byte
      {"x\xc3", "x" + kBad},                            // cut before its last byte
      {"\xe2\x82y", kBad + kBad + "y"},
      {"\xc0\xaf", kBad + kBad},                        // overlong "/"
      {"\xed\xa0\x80", kBad + kBad + kBad},             // an encoded surrogate
      {"\xf4\x90\x80\x80", kBad + kBad + kBad + kBad},  // above U+10FFFF
      {"\xf8\x88\x80\x80\x80", kBad + kBad + kBad + kBad + kBad},
  };
  for (const Case& c : cases) EXPECT_EQ(textOf("\"" + c.raw + "\""), c.text) << testing::PrintToString(c.raw);
  // A bad lead byte does not swallow the closing quotation mark.
  auto v = ok("[\"\xe2\",\"b\"]");
  ASSERT_TRUE(v);
  ASSERT_EQ(v->items.size(), 2u);
  EXPECT_EQ(v->items[0].text, kBad);
  auto keyed = ok("{\"k\xff\":1}");
  ASSERT_TRUE(keyed);
  EXPECT_EQ(keyed->members[0].key, "k" + kBad);
}

TEST(JsonParse, BadStringsFail) {
  EXPECT_TRUE(fails(R"("open)"));
  EXPECT_TRUE(fails(R"("\)"));
  EXPECT_TRUE(fails(R"("\")"));
  EXPECT_TRUE(fails(R"("\x41")"));
  EXPECT_TRUE(fails(R"("\U00e9")"));
  EXPECT_TRUE(fails(R"("\u00e")"));
  EXPECT_TRUE(fails(R"("\u00eg")"));
  EXPECT_TRUE(fails(R"("\u")"));
  EXPECT_TRUE(fails(R"("a" "b")"));
  EXPECT_TRUE(fails("'single'"));
}

TEST(JsonParse, ArraysAndObjectsKeepDocumentOrder) {
  auto v = ok(R"({"b": [3, "x", {"c": null}], "a": {}, "": [], "b": 2})");
  ASSERT_TRUE(v);
  ASSERT_EQ(v->kind, JsonKind::Object);
  ASSERT_EQ(v->members.size(), 4u);
  EXPECT_EQ(v->members[0].key, "b");
  EXPECT_EQ(v->members[1].key, "a");
  EXPECT_EQ(v->members[2].key, "");
  EXPECT_EQ(v->members[3].key, "b");
  const JsonValue& arr = v->members[0].value;
  ASSERT_EQ(arr.kind, JsonKind::Array);
  ASSERT_EQ(arr.items.size(), 3u);
  EXPECT_EQ(arr.items[0].number, 3.0);
  EXPECT_EQ(arr.items[1].text, "x");
  EXPECT_EQ(arr.items[2].members[0].key, "c");
  EXPECT_EQ(v->members[2].value.kind, JsonKind::Array);
  auto keyed = ok(R"({"a\u0062\n": 1})");
  ASSERT_TRUE(keyed);
  EXPECT_EQ(keyed->members[0].key, "ab\n");
}

TEST(JsonParse, MalformedContainersFail) {
  for (const char* text : {"[1,]", "[1,2,]", "{\"a\":1,}", "{,}", "[,]", "[", "]", "{", "}", "[1", "{\"a\":1",
                           "{\"a\"}", "{\"a\" 1}", "{\"a\":}", "{a:1}", "{1:1}", "[1;2]", "{\"a\":1;\"b\":2}",
                           "[]]", "{}}", "[][]", "{\"a\":1 \"b\":2}", "[\"a\":1]"})
    EXPECT_TRUE(fails(text)) << text;
  EXPECT_TRUE(ok("[ ]"));
  EXPECT_TRUE(ok("{ }"));
  EXPECT_TRUE(ok("{ \"a\" : [ ] , \"b\" : { } }"));
}

TEST(JsonParse, NestingLimitCountsEveryValue) {
  EXPECT_TRUE(ok(nested(64)));
  EXPECT_TRUE(fails(nested(65)));
  // The innermost scalar is a level of its own.
  EXPECT_TRUE(ok(nested(63, "1")));
  EXPECT_TRUE(fails(nested(64, "1")));
  std::string objects;
  for (int i = 0; i < 63; ++i) objects += "{\"k\":";
  EXPECT_TRUE(ok(objects + "0" + std::string(63, '}')));
  EXPECT_TRUE(fails(objects + "{\"k\":0}" + std::string(63, '}')));
  // Depth is restored after each sibling: a thousand arrays of the deepest
  // allowed nesting side by side still parse, one level more anywhere fails.
  std::string wide = "[";
  for (int i = 0; i < 1000; ++i) wide += (i ? "," : "") + nested(63);
  EXPECT_TRUE(ok(wide + "]"));
  EXPECT_TRUE(fails(wide + "," + nested(64) + "]"));
  EXPECT_TRUE(fails(wide + "," + nested(63, "0") + "]"));
  // Hostile depth ends quickly without exhausting the stack.
  EXPECT_TRUE(fails(std::string(1000000, '[')));
  EXPECT_TRUE(fails(std::string(500000, '{') + "\"a\":"));
}

std::string listOf(size_t n, const std::string& item) {
  std::string s = "[";
  for (size_t i = 0; i < n; ++i) s += (i ? "," : "") + item;
  return s + "]";
}

TEST(JsonParse, ValueBudgetBoundsWhatOneDocumentBuilds) {
  // An array of n scalars is n + 1 values; every nested container counts too.
  auto v = ok(listOf(kJsonValueLimit - 1, "0"));
  ASSERT_TRUE(v);
  EXPECT_EQ(v->items.size(), kJsonValueLimit - 1);
  EXPECT_TRUE(fails(listOf(kJsonValueLimit, "0")));
  EXPECT_TRUE(fails(listOf(kJsonValueLimit, "[]")));
  EXPECT_TRUE(ok(listOf(kJsonValueLimit / 2 - 1, "{\"k\":0}")));  // an object and its member's value
  EXPECT_TRUE(fails(listOf(kJsonValueLimit / 2, "{\"k\":0}")));
  // A whole answer's worth of zeros is refused without building millions of values.
  std::string flood = "[";
  while (flood.size() < 4194300) flood += "0,";
  EXPECT_TRUE(fails(flood + "0]"));
  // Each parse has its own budget.
  EXPECT_TRUE(ok(listOf(kJsonValueLimit - 1, "1")));
}

TEST(JsonLookup, MemberTakesTheFirstMatchOfExactBytes) {
  auto v = ok(R"({"a": 1, "a": 2, "ab": 3, "A": 4})");
  ASSERT_TRUE(v);
  const JsonValue* a = member(*v, "a");
  ASSERT_TRUE(a);
  EXPECT_EQ(a->number, 1.0);
  EXPECT_EQ(member(*v, "ab")->number, 3.0);
  EXPECT_EQ(member(*v, "A")->number, 4.0);
  EXPECT_EQ(member(*v, "b"), nullptr);
  EXPECT_EQ(member(*v, ""), nullptr);
  EXPECT_EQ(member(*v, std::string_view("a\0", 2)), nullptr);
  auto zero = ok(std::string("{\"a\\u0000\":5}"));
  ASSERT_TRUE(zero);
  EXPECT_EQ(member(*zero, std::string_view("a\0", 2))->number, 5.0);
  EXPECT_EQ(member(*zero, "a"), nullptr);
}

TEST(JsonLookup, MemberAndPathAnswerNoneForOtherKinds) {
  auto arr = ok(R"([{"a": 1}])");
  ASSERT_TRUE(arr);
  EXPECT_EQ(member(*arr, "a"), nullptr);
  EXPECT_EQ(member(ok(R"("a")").get(), "a"), nullptr);
  EXPECT_EQ(member(nullptr, "a"), nullptr);
  EXPECT_EQ(path(nullptr, {"a"}), nullptr);

  auto doc = ok(R"({"properties": {"meta": {"updated_at": "2026-02-06T20:27:06Z"}, "n": 5}})");
  ASSERT_TRUE(doc);
  const JsonValue* at = path(*doc, {"properties", "meta", "updated_at"});
  ASSERT_TRUE(at);
  EXPECT_EQ(at->text, "2026-02-06T20:27:06Z");
  EXPECT_EQ(path(*doc, {"properties", "n"})->number, 5.0);
  EXPECT_EQ(path(*doc, {"properties", "n", "x"}), nullptr);     // a number has no members
  EXPECT_EQ(path(*doc, {"properties", "missing", "meta"}), nullptr);
  EXPECT_EQ(path(*doc, {}), doc.get());
}

}  // namespace
