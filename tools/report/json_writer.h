// A small writer of one JSON document, for the output of the control tool that scripts read.
#pragma once

#include <cstdint>
#include <string>
#include <optional>
#include <string_view>
#include <type_traits>
#include <vector>

namespace orbelune {

// Writes values in the order they are given and puts the commas and colons between them. The
// output is pure ASCII: every character outside printable ASCII is written as a \u escape, so
// the document reads the same in any code page. The caller keeps the nesting right (every
// Begin has its End, every member of an object starts with Key).
class JsonWriter {
  public:
    void BeginObject() { Open('{'); }
    void EndObject() { Close('}'); }
    void BeginArray() { Open('['); }
    void EndArray() { Close(']'); }
    void Key(std::string_view name);

    void String(std::u16string_view text);
    // Single-byte text, each byte taken as the character of the same value (ISO 8859-1), as
    // the agent's log stores its lines.
    void Latin1String(std::string_view text);
    void Number(std::int64_t value);
    void Number(std::uint64_t value);
    void Bool(bool value);
    void Null();

    // A member of an object: its key, then the value written as its type says: a bool, a
    // number (signed or unsigned as its type is), nullptr as null, single-byte text as
    // Latin1String, UTF-16 text as String, and an optional as its value or null.
    template <typename T>
    void Member(std::string_view key, const T& value) {
        Key(key);
        Value(value);
    }

    [[nodiscard]] const std::string& Text() const { return text_; }

  private:
    template <typename T>
    void Value(const T& value) {
        if constexpr (std::is_same_v<T, bool>) {
            Bool(value);
        } else if constexpr (std::is_integral_v<T> && std::is_signed_v<T>) {
            Number(static_cast<std::int64_t>(value));
        } else if constexpr (std::is_integral_v<T>) {
            Number(static_cast<std::uint64_t>(value));
        } else if constexpr (std::is_same_v<T, std::nullptr_t>) {
            Null();
        } else if constexpr (std::is_convertible_v<const T&, std::string_view>) {
            Latin1String(value);
        } else {
            String(value);
        }
    }
    template <typename T>
    void Value(const std::optional<T>& value) {
        if (value) {
            Value(*value);
        } else {
            Null();
        }
    }

    void BeforeValue();
    void Open(char bracket);
    void Close(char bracket);

    std::string text_;
    std::vector<bool> hasMember_;  // per open object or array: something was written into it
    bool afterKey_ = false;
};

}  // namespace orbelune
