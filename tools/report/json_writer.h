// A small writer of one JSON document, for the output of the control tool that scripts read.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orbelune {

// Writes values in the order they are given and puts the commas and colons between them. The
// output is pure ASCII: every character outside printable ASCII is written as a \u escape, so
// the document reads the same in any code page. The caller keeps the nesting right (every
// Begin has its End, every member of an object starts with Key).
class JsonWriter {
  public:
    void BeginObject();
    void EndObject();
    void BeginArray();
    void EndArray();
    void Key(std::string_view name);

    void String(std::u16string_view text);
    // Single-byte text, each byte taken as the character of the same value (ISO 8859-1), as
    // the agent's log stores its lines.
    void Latin1String(std::string_view text);
    void Number(std::int64_t value);
    void Number(std::uint64_t value);
    void Bool(bool value);
    void Null();

    [[nodiscard]] const std::string& Text() const { return text_; }

  private:
    void BeforeValue();
    void Open(char bracket);
    void Close(char bracket);

    std::string text_;
    std::vector<bool> hasMember_;  // per open object or array: something was written into it
    bool afterKey_ = false;
};

}  // namespace orbelune
