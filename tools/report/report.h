// A report as one value: facts named for scripts and worded for people, made once and rendered
// into JSON (ReportJson) and into text (ReportText), one renderer each.
#pragma once

#include <concepts>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orbelune {

struct Node {
    enum class Kind { kScalar, kObject, kArray };
    Kind kind = Kind::kScalar;
    std::string key;              // its member name within an object
    std::string scalar = "null";  // kScalar, as JSON has it: digits, true, false, null, a string
    std::string line;             // what a person reads for it (UTF-8); empty: nothing of its own
    std::vector<Node> children;   // kObject, kArray
};

template <typename T>
requires std::integral<T> Node Value(std::string key, T value, std::string line = {}) {
    std::string scalar = std::same_as<T, bool> ? (value ? "true" : "false") : std::to_string(value);
    return {Node::Kind::kScalar, std::move(key), std::move(scalar), std::move(line), {}};
}
Node Value(std::string key, std::u16string_view value, std::string line = {});
inline Node Null(std::string key, std::string line = {}) {
    return {Node::Kind::kScalar, std::move(key), "null", std::move(line), {}};
}
template <typename T>
Node Value(std::string key, const std::optional<T>& value, std::string line = {}) {
    return value ? Value(std::move(key), *value, std::move(line))
                 : Null(std::move(key), std::move(line));
}
inline Node Object(std::string key, std::string line, std::vector<Node> children) {
    return {Node::Kind::kObject, std::move(key), {}, std::move(line), std::move(children)};
}
inline Node Array(std::string key, std::string line, std::vector<Node> children) {
    return {Node::Kind::kArray, std::move(key), {}, std::move(line), std::move(children)};
}

// One JSON document, all in ASCII, with a line end.
std::string ReportJson(const Node& report);

// Every node's line in document order, the first `indent` spaces in, each below a node with a
// line of its own indented by two more spaces than that node's.
std::string ReportText(const Node& report, std::size_t indent = 0);

}  // namespace orbelune
