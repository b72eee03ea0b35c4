#include "zelk/features/artifacts/json_writer.hpp"

#include "zelk/features/artifacts/json_reader.hpp"
#include "zelk/features/artifacts/json_utf8.hpp"

namespace zelk::json {

namespace {

class Writer {
  public:
    bool write(const Value& v, int level) {
        switch (v.type) {
            case Type::Null:
                out_ += "null";
                return true;
            case Type::Bool:
                out_ += v.boolean ? "true" : "false";
                return true;
            case Type::Number:
                return write_number(v.text);
            case Type::String:
                return write_string(v.text);
            case Type::Array:
                if (v.items.empty()) {
                    out_ += "[]";
                    return true;
                }
                out_ += '[';
                for (size_t i = 0; i < v.items.size(); ++i) {
                    out_ += i == 0 ? "\n" : ",\n";
                    indent(level + 1);
                    if (!write(v.items[i], level + 1)) return false;
                }
                out_ += '\n';
                indent(level);
                out_ += ']';
                return true;
            case Type::Object:
                if (v.members.empty()) {
                    out_ += "{}";
                    return true;
                }
                out_ += '{';
                for (size_t i = 0; i < v.members.size(); ++i) {
                    out_ += i == 0 ? "\n" : ",\n";
                    indent(level + 1);
                    if (!write_string(v.members[i].name)) return false;
                    out_ += ": ";
                    if (!write(v.members[i].value, level + 1)) return false;
                }
                out_ += '\n';
                indent(level);
                out_ += '}';
                return true;
        }
        return false;
    }

    std::string take() { return std::move(out_); }
    const std::string& error() const { return error_; }

  private:
    void indent(int level) { out_.append(static_cast<size_t>(level) * 2, ' '); }

    bool write_number(const std::string& literal) {
        // A literal must be one complete JSON number and nothing else.
        auto parsed = parse(literal);
        if (!parsed || parsed->type != Type::Number || parsed->text != literal) {
            error_ = "invalid number literal `" + literal + "`";
            return false;
        }
        out_ += literal;
        return true;
    }

    bool write_string(std::string_view s) {
        static constexpr char HEX[] = "0123456789abcdef";
        out_ += '"';
        for (size_t i = 0; i < s.size();) {
            const auto c = static_cast<unsigned char>(s[i]);
            switch (c) {
                case '"':
                    out_ += "\\\"";
                    break;
                case '\\':
                    out_ += "\\\\";
                    break;
                case '\b':
                    out_ += "\\b";
                    break;
                case '\f':
                    out_ += "\\f";
                    break;
                case '\n':
                    out_ += "\\n";
                    break;
                case '\r':
                    out_ += "\\r";
                    break;
                case '\t':
                    out_ += "\\t";
                    break;
                default:
                    if (c < 0x20) {
                        out_ += "\\u00";
                        out_ += HEX[c >> 4];
                        out_ += HEX[c & 0xF];
                    } else {
                        const size_t n = utf8_sequence_length(s, i);
                        if (n == 0) {
                            error_ = "string is not valid UTF-8";
                            return false;
                        }
                        out_.append(s.substr(i, n));
                        i += n;
                        continue;
                    }
            }
            ++i;
        }
        out_ += '"';
        return true;
    }

    std::string out_;
    std::string error_;
};

}  // namespace

std::expected<std::string, std::string> write_pretty(const Value& value) {
    Writer writer;
    if (!writer.write(value, 0)) return std::unexpected(writer.error());
    return writer.take();
}

}  // namespace zelk::json
