#include "zelk/features/artifacts/json_reader.hpp"

#include <cstdint>
#include <unordered_set>

#include "zelk/features/artifacts/json_utf8.hpp"

namespace zelk::json {

namespace {

class Parser {
  public:
    explicit Parser(std::string_view text) : text_(text) {}

    std::expected<Value, Error> document() {
        skip_whitespace();
        auto value = parse_value(0);
        if (!value) return value;
        skip_whitespace();
        if (!at_end()) return fail("trailing characters");
        return value;
    }

  private:
    bool at_end() const { return offset_ >= text_.size(); }
    unsigned char peek() const { return static_cast<unsigned char>(text_[offset_]); }

    // Moves past one byte, keeping line and column. Continuation bytes of a
    // multi-byte character do not start a new column.
    void advance() {
        const unsigned char c = peek();
        ++offset_;
        if (c == '\n') {
            ++position_.line;
            position_.column = 1;
        } else if ((c & 0xC0) != 0x80) {
            ++position_.column;
        }
    }

    std::unexpected<Error> fail(std::string message) const {
        return fail_at(std::move(message), position_);
    }
    static std::unexpected<Error> fail_at(std::string message, Position position) {
        return std::unexpected(Error{std::move(message), position});
    }

    void skip_whitespace() {
        while (!at_end()) {
            const unsigned char c = peek();
            if (c != ' ' && c != '\t' && c != '\n' && c != '\r') return;
            advance();
        }
    }

    std::expected<Value, Error> parse_value(int depth) {
        if (at_end()) return fail("EOF while parsing a value");
        switch (peek()) {
            case '{':
                return parse_object(depth);
            case '[':
                return parse_array(depth);
            case '"': {
                Value v;
                v.type = Type::String;
                v.position = position_;
                auto s = parse_string();
                if (!s) return std::unexpected(s.error());
                v.text = std::move(*s);
                return v;
            }
            case 't':
                return parse_literal("true", Value::from_bool(true));
            case 'f':
                return parse_literal("false", Value::from_bool(false));
            case 'n':
                return parse_literal("null", Value::null());
            default:
                return parse_number();
        }
    }

    std::expected<Value, Error> parse_literal(std::string_view word, Value value) {
        value.position = position_;
        if (text_.substr(offset_, word.size()) != word) return fail("expected value");
        for (size_t i = 0; i < word.size(); ++i) advance();
        return value;
    }

    std::expected<Value, Error> parse_number() {
        Value v;
        v.type = Type::Number;
        v.position = position_;
        const size_t start = offset_;
        auto digit = [this] { return !at_end() && peek() >= '0' && peek() <= '9'; };
        if (!at_end() && peek() == '-') advance();
        if (!digit()) return fail("expected value");
        if (peek() == '0') {
            advance();
            if (digit()) return fail("invalid number: leading zero");
        } else {
            while (digit()) advance();
        }
        if (!at_end() && peek() == '.') {
            advance();
            if (!digit()) return fail("invalid number: expected a digit after the point");
            while (digit()) advance();
        }
        if (!at_end() && (peek() == 'e' || peek() == 'E')) {
            advance();
            if (!at_end() && (peek() == '+' || peek() == '-')) advance();
            if (!digit()) return fail("invalid number: expected a digit in the exponent");
            while (digit()) advance();
        }
        v.text = std::string(text_.substr(start, offset_ - start));
        return v;
    }

    // Four hex digits of a \u escape.
    std::expected<uint32_t, Error> parse_hex4() {
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            if (at_end()) return fail("EOF while parsing a string");
            const unsigned char c = peek();
            uint32_t nibble = 0;
            if (c >= '0' && c <= '9') {
                nibble = c - '0';
            } else if (c >= 'a' && c <= 'f') {
                nibble = c - 'a' + 10;
            } else if (c >= 'A' && c <= 'F') {
                nibble = c - 'A' + 10;
            } else {
                return fail("invalid \\u escape");
            }
            value = value * 16 + nibble;
            advance();
        }
        return value;
    }

    static void append_utf8(std::string& out, uint32_t cp) {
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }

    // REQUIRES: the current byte is the opening quote.
    std::expected<std::string, Error> parse_string() {
        advance();
        std::string out;
        while (true) {
            if (at_end()) return fail("EOF while parsing a string");
            const unsigned char c = peek();
            if (c == '"') {
                advance();
                return out;
            }
            if (c < 0x20) return fail("control character in string");
            if (c == '\\') {
                const Position escape_at = position_;
                advance();
                if (at_end()) return fail("EOF while parsing a string");
                const unsigned char e = peek();
                advance();
                switch (e) {
                    case '"':
                        out += '"';
                        break;
                    case '\\':
                        out += '\\';
                        break;
                    case '/':
                        out += '/';
                        break;
                    case 'b':
                        out += '\b';
                        break;
                    case 'f':
                        out += '\f';
                        break;
                    case 'n':
                        out += '\n';
                        break;
                    case 'r':
                        out += '\r';
                        break;
                    case 't':
                        out += '\t';
                        break;
                    case 'u': {
                        auto unit = parse_hex4();
                        if (!unit) return std::unexpected(unit.error());
                        uint32_t cp = *unit;
                        if (cp >= 0xDC00 && cp <= 0xDFFF) {
                            return fail_at("lone trailing surrogate in \\u escape", escape_at);
                        }
                        if (cp >= 0xD800 && cp <= 0xDBFF) {
                            if (text_.substr(offset_, 2) != "\\u") {
                                return fail_at("lone leading surrogate in \\u escape", escape_at);
                            }
                            advance();
                            advance();
                            auto low = parse_hex4();
                            if (!low) return std::unexpected(low.error());
                            if (*low < 0xDC00 || *low > 0xDFFF) {
                                return fail_at("lone leading surrogate in \\u escape", escape_at);
                            }
                            cp = 0x10000 + ((cp - 0xD800) << 10) + (*low - 0xDC00);
                        }
                        append_utf8(out, cp);
                        break;
                    }
                    default:
                        return fail_at("invalid escape", escape_at);
                }
                continue;
            }
            const size_t length = utf8_sequence_length(text_, offset_);
            if (length == 0) return fail("invalid UTF-8 in string");
            out.append(text_.substr(offset_, length));
            for (size_t i = 0; i < length; ++i) advance();
        }
    }

    std::expected<Value, Error> parse_array(int depth) {
        Value v = Value::array();
        v.position = position_;
        if (depth >= MAX_DEPTH) return fail("recursion limit exceeded");
        advance();
        skip_whitespace();
        if (!at_end() && peek() == ']') {
            advance();
            return v;
        }
        while (true) {
            skip_whitespace();
            auto item = parse_value(depth + 1);
            if (!item) return item;
            v.items.push_back(std::move(*item));
            skip_whitespace();
            if (at_end()) return fail("EOF while parsing a list");
            if (peek() == ',') {
                advance();
                continue;
            }
            if (peek() == ']') {
                advance();
                return v;
            }
            return fail("expected `,` or `]`");
        }
    }

    std::expected<Value, Error> parse_object(int depth) {
        Value v = Value::object();
        v.position = position_;
        if (depth >= MAX_DEPTH) return fail("recursion limit exceeded");
        advance();
        skip_whitespace();
        if (!at_end() && peek() == '}') {
            advance();
            return v;
        }
        std::unordered_set<std::string> seen;
        while (true) {
            skip_whitespace();
            if (at_end()) return fail("EOF while parsing an object");
            if (peek() != '"') return fail("key must be a string");
            const Position name_at = position_;
            auto name = parse_string();
            if (!name) return std::unexpected(name.error());
            if (!seen.insert(*name).second) {
                return fail_at("duplicate field `" + printable(*name) + "`", name_at);
            }
            skip_whitespace();
            if (at_end()) return fail("EOF while parsing an object");
            if (peek() != ':') return fail("expected `:`");
            advance();
            skip_whitespace();
            auto value = parse_value(depth + 1);
            if (!value) return value;
            v.members.push_back(Member{std::move(*name), name_at, std::move(*value)});
            skip_whitespace();
            if (at_end()) return fail("EOF while parsing an object");
            if (peek() == ',') {
                advance();
                continue;
            }
            if (peek() == '}') {
                advance();
                return v;
            }
            return fail("expected `,` or `}`");
        }
    }

    std::string_view text_;
    size_t offset_ = 0;
    Position position_;
};

}  // namespace

std::expected<Value, Error> parse(std::string_view text) {
    return Parser(text).document();
}

}  // namespace zelk::json
