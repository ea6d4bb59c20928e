#include "net/json.h"

#include <cstdlib>
#include <new>
#include <utility>

#include "base/utf8.h"

namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool isNumberChar(char c) {
  return (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.' || c == 'e' || c == 'E';
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Recursive descent over [at, end). The input is never copied; each child is
// built in place and moved into its parent.
class Parser {
 public:
  explicit Parser(std::string_view text) : at_(text.data()), end_(text.data() + text.size()) {}

  bool document(JsonValue& out) {
    if (!value(out)) return false;
    skipSpace();
    return at_ == end_;
  }

 private:
  const char* at_;
  const char* end_;
  int depth_ = 0;
  size_t values_ = 0;

  void skipSpace() {
    while (at_ < end_ && isSpace(*at_)) ++at_;
  }

  bool literal(std::string_view word) {
    if (static_cast<size_t>(end_ - at_) < word.size()) return false;
    if (std::string_view(at_, word.size()) != word) return false;
    at_ += word.size();
    return true;
  }

  // Keeps the depth balanced on every way out of a value.
  struct Level {
    explicit Level(int& d) : depth(d) { ++depth; }
    ~Level() { --depth; }
    int& depth;
  };

  bool value(JsonValue& out) {
    Level level(depth_);
    if (depth_ > kJsonDepthLimit) return false;
    // Each value costs about a hundred bytes however short its text; the
    // budget keeps a flood like [0,0,0,...] from taking hundreds of megabytes.
    if (++values_ > kJsonValueLimit) return false;
    skipSpace();
    if (at_ == end_) return false;
    switch (*at_) {
      case '{': ++at_; return object(out);
      case '[': ++at_; return array(out);
      case '"':
        ++at_;
        out.kind = JsonKind::String;
        return string(out.text);
      default: break;
    }
    if (literal("true")) {
      out.kind = JsonKind::Boolean;
      out.boolean = true;
      return true;
    }
    if (literal("false")) {
      out.kind = JsonKind::Boolean;
      out.boolean = false;
      return true;
    }
    if (literal("null")) {
      out.kind = JsonKind::Null;
      return true;
    }
    return number(out);
  }

  bool object(JsonValue& out) {
    out.kind = JsonKind::Object;
    skipSpace();
    if (at_ < end_ && *at_ == '}') {
      ++at_;
      return true;
    }
    for (;;) {
      skipSpace();
      if (at_ == end_ || *at_ != '"') return false;
      ++at_;
      JsonMember m;
      if (!string(m.key)) return false;
      skipSpace();
      if (at_ == end_ || *at_ != ':') return false;
      ++at_;
      if (!value(m.value)) return false;
      out.members.push_back(std::move(m));
      skipSpace();
      if (at_ == end_) return false;
      char c = *at_++;
      if (c == '}') return true;
      if (c != ',') return false;
    }
  }

  bool array(JsonValue& out) {
    out.kind = JsonKind::Array;
    skipSpace();
    if (at_ < end_ && *at_ == ']') {
      ++at_;
      return true;
    }
    for (;;) {
      JsonValue item;
      if (!value(item)) return false;
      out.items.push_back(std::move(item));
      skipSpace();
      if (at_ == end_) return false;
      char c = *at_++;
      if (c == ']') return true;
      if (c != ',') return false;
    }
  }

  bool number(JsonValue& out) {
    const char* start = at_;
    while (at_ < end_ && isNumberChar(*at_)) ++at_;
    if (at_ == start) return false;
    // strtod wants a terminated string; only the token is copied. The program
    // keeps the C locale, so the decimal point is always ".".
    std::string token(start, static_cast<size_t>(at_ - start));
    out.kind = JsonKind::Number;
    out.number = std::strtod(token.c_str(), nullptr);
    return true;
  }

  // Four hexadecimal digits after "\u"; -1 when they are not there.
  long unit() {
    if (end_ - at_ < 4) return -1;
    long v = 0;
    for (int i = 0; i < 4; ++i) {
      int d = hexDigit(at_[i]);
      if (d < 0) return -1;
      v = v * 16 + d;
    }
    at_ += 4;
    return v;
  }

  // After the opening quotation mark, up to and including the closing one.
  // The result is always valid UTF-8: bytes that are not and unpaired
  // surrogates become U+FFFD.
  bool string(std::string& out) {
    for (;;) {
      const char* run = at_;
      while (at_ < end_ && *at_ != '"' && *at_ != '\\') {
        if (static_cast<unsigned char>(*at_) < 0x80) {
          ++at_;
          continue;
        }
        Utf8Step step = utf8Step(std::string_view(at_, static_cast<size_t>(end_ - at_)), 0);
        if (step.valid) {
          at_ += step.size;
          continue;
        }
        out.append(run, static_cast<size_t>(at_ - run));
        utf8Append(out, kReplacementCharacter);
        run = ++at_;
      }
      out.append(run, static_cast<size_t>(at_ - run));
      if (at_ == end_) return false;
      if (*at_++ == '"') return true;
      if (at_ == end_) return false;
      char c = *at_++;
      switch (c) {
        case '"': out += '"'; break;
        case '/': out += '/'; break;
        case '\\': out += '\\'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
          long cp = unit();
          if (cp < 0) return false;
          if (cp >= 0xD800 && cp <= 0xDBFF) cp = pairWith(cp);
          // A low surrogate here has no high one before it.
          if (cp >= 0xDC00 && cp <= 0xDFFF) cp = kReplacementCharacter;
          utf8Append(out, static_cast<char32_t>(cp));
          break;
        }
        default: return false;
      }
    }
  }

  // A high surrogate pairs only with a low one escaped right after it.
  // Anything else leaves it unpaired (U+FFFD) and the next escape, if any, to
  // be decoded on its own.
  long pairWith(long high) {
    if (end_ - at_ < 6 || at_[0] != '\\' || at_[1] != 'u') return kReplacementCharacter;
    const char* back = at_;
    at_ += 2;
    long low = unit();
    if (low >= 0xDC00 && low <= 0xDFFF) return (high - 0xD800) * 0x400 + (low - 0xDC00) + 0x10000;
    at_ = back;
    return kReplacementCharacter;
  }
};

}  // namespace

std::unique_ptr<JsonValue> jsonParse(std::string_view text) {
  // Even within the budget memory may run out; that is a failed parse, not
  // an exception for the caller (the partial tree is freed on the way out).
  try {
    auto root = std::make_unique<JsonValue>();
    Parser parser(text);
    if (!parser.document(*root)) return nullptr;
    return root;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

const JsonValue* member(const JsonValue* value, std::string_view key) {
  if (!value || value->kind != JsonKind::Object) return nullptr;
  for (const JsonMember& m : value->members)
    if (m.key == key) return &m.value;
  return nullptr;
}

const JsonValue* path(const JsonValue* value, std::initializer_list<std::string_view> keys) {
  for (std::string_view key : keys) {
    value = member(value, key);
    if (!value) return nullptr;
  }
  return value;
}
