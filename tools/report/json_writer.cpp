#include "tools/report/json_writer.h"

#include <utility>

#include "common/text.h"

namespace orbelune {
namespace {

void AppendEscaped(std::string& out, char16_t unit) {
    static constexpr char kHex[] = "0123456789abcdef";
    static constexpr std::pair<char16_t, const char*> kShort[] = {
        {u'"', "\\\""}, {u'\\', "\\\\"}, {u'\b', "\\b"}, {u'\f', "\\f"},
        {u'\n', "\\n"}, {u'\r', "\\r"},  {u'\t', "\\t"}};
    for (const auto& [character, escape] : kShort) {
        if (unit == character) {
            out += escape;
            return;
        }
    }
    if (unit >= 0x20 && unit < 0x7F) {
        out += static_cast<char>(unit);
        return;
    }
    // UTF-16 units map one to one onto \u escapes, surrogate halves included.
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4) {
        out += kHex[(unit >> shift) & 0xF];
    }
}

}  // namespace

void JsonWriter::BeforeValue() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (!hasMember_.empty()) {
        if (hasMember_.back()) {
            text_ += ',';
        }
        hasMember_.back() = true;
    }
}

void JsonWriter::Open(char bracket) {
    BeforeValue();
    text_ += bracket;
    hasMember_.push_back(false);
}

void JsonWriter::Close(char bracket) {
    text_ += bracket;
    if (!hasMember_.empty()) {
        hasMember_.pop_back();
    }
}

void JsonWriter::Key(std::string_view name) {
    Latin1String(name);
    text_ += ':';
    afterKey_ = true;
}

void JsonWriter::String(std::u16string_view text) {
    BeforeValue();
    text_ += '"';
    for (const char16_t unit : text) {
        AppendEscaped(text_, unit);
    }
    text_ += '"';
}

void JsonWriter::Latin1String(std::string_view text) {
    String(Latin1ToU16(text));
}

void JsonWriter::Number(std::int64_t value) {
    BeforeValue();
    text_ += std::to_string(value);
}

void JsonWriter::Number(std::uint64_t value) {
    BeforeValue();
    text_ += std::to_string(value);
}

void JsonWriter::Bool(bool value) {
    BeforeValue();
    text_ += value ? "true" : "false";
}

void JsonWriter::Null() {
    BeforeValue();
    text_ += "null";
}

}  // namespace orbelune
