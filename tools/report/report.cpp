#include "tools/report/report.h"

#include <cstdio>

#include "common/text.h"

namespace orbelune {
namespace {

void AppendString(std::string& out, std::u16string_view text) {
    out += '"';
    for (const char16_t unit : text) {
        if (unit == u'"' || unit == u'\\') {
            out += '\\';
            out += static_cast<char>(unit);
        } else if (unit >= 0x20 && unit < 0x7F) {
            out += static_cast<char>(unit);
        } else {
            // UTF-16 units map one to one onto \u escapes, surrogate halves included.
            char escape[8] = {};
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(unit));
            out += escape;
        }
    }
    out += '"';
}

void AppendJson(std::string& out, const Node& node) {
    if (node.kind == Node::Kind::kScalar) {
        out += node.scalar;
        return;
    }
    if (node.kind == Node::Kind::kText) {
        AppendString(out, node.text);
        return;
    }
    const bool object = node.kind == Node::Kind::kObject;
    out += object ? '{' : '[';
    for (size_t i = 0; i < node.children.size(); ++i) {
        out += i == 0 ? "" : ",";
        if (object) {
            AppendString(out, Latin1ToU16(node.children[i].key));
            out += ':';
        }
        AppendJson(out, node.children[i]);
    }
    out += object ? '}' : ']';
}

void AppendText(std::string& out, const Node& node, size_t indent) {
    if (!node.line.empty()) {
        out += std::string(indent, ' ') + node.line + "\n";
        indent += 2;
    }
    for (const Node& child : node.children) {
        AppendText(out, child, indent);
    }
}

}  // namespace

std::string ReportJson(const Node& report) {
    std::string out;
    AppendJson(out, report);
    return out + "\n";
}

std::string ReportText(const Node& report) {
    std::string out;
    AppendText(out, report, 0);
    return out;
}

}  // namespace orbelune
