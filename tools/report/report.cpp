#include "tools/report/report.h"

#include <cstdio>

#include "common/text.h"

namespace orbelune {
namespace {

// `text` as a JSON string in ASCII, other characters as \u escapes: alike in any code page.
std::string JsonString(std::u16string_view text) {
    std::string out = "\"";
    for (const char16_t unit : text) {
        if (unit >= 0x20 && unit < 0x7F) {
            out += unit == u'"' || unit == u'\\' ? "\\" : "";
            out += static_cast<char>(unit);
        } else {
            // UTF-16 units map one to one onto \u escapes, surrogate halves included.
            char escape[8] = {};
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(unit));
            out += escape;
        }
    }
    return out + '"';
}

std::string Json(const Node& node) {
    if (node.kind == Node::Kind::kScalar) {
        return node.scalar;
    }
    const bool object = node.kind == Node::Kind::kObject;
    std::string out(1, object ? '{' : '[');
    for (const Node& child : node.children) {
        out += out.size() == 1 ? "" : ",";  // none before the first
        out += (object ? JsonString(Latin1ToU16(child.key)) + ':' : "") + Json(child);
    }
    return out + (object ? '}' : ']');
}

}  // namespace

Node Value(std::string key, std::u16string_view value, std::string line) {
    return {Node::Kind::kScalar, std::move(key), JsonString(value), std::move(line), {}};
}

std::string ReportJson(const Node& report) {
    return Json(report) + "\n";
}

std::string ReportText(const Node& report, std::size_t indent) {
    std::string out = report.line.empty() ? "" : std::string(indent, ' ') + report.line + "\n";
    for (const Node& child : report.children) {
        out += ReportText(child, report.line.empty() ? indent : indent + 2);
    }
    return out;
}

}  // namespace orbelune
