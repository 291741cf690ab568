#include "tools/peer/peer_options.h"

#include <charconv>
#include <string_view>
#include <utility>

#include "common/text.h"

namespace orbelune {
namespace {

// Seconds: decimal digits with an optional fraction.
bool ParseSeconds(std::u16string_view text, double& value) {
    const std::string utf8 = ToUtf8(text);
    const char* end = utf8.data() + utf8.size();
    const auto [at, error] = std::from_chars(utf8.data(), end, value, std::chars_format::fixed);
    return !utf8.empty() && utf8[0] >= '0' && utf8[0] <= '9' && error == std::errc() && at == end;
}

// A 32-bit number in `base` digits (hexadecimal ones with or without 0x).
bool ParseWord(std::u16string_view text, int base, std::uint32_t& value) {
    std::string utf8 = ToUtf8(text);
    if (base == 16 && (utf8.starts_with("0x") || utf8.starts_with("0X"))) {
        utf8.erase(0, 2);
    }
    const char* end = utf8.data() + utf8.size();
    const auto [at, error] = std::from_chars(utf8.data(), end, value, base);
    return error == std::errc() && at == end;
}

bool ParseSize(std::u16string_view text, std::uint32_t& value) {
    return ParseWord(text, 10, value) && value > 0;
}

bool ParseNamespace(std::u16string_view text, PeerOptions& options) {
    options.local = text == u"local" || text == u"both";
    options.global = text == u"global" || text == u"both";
    return options.local || options.global;
}

}  // namespace

ParsedPeerOptions ParsePeerOptions(std::span<const std::u16string> arguments) {
    ParsedPeerOptions parsed;
    PeerOptions options;
    for (size_t i = 0; i < arguments.size(); i += 2) {
        const std::u16string& option = arguments[i];
        if (option == u"--help" || option == u"-h" || option == u"/?") {
            parsed.help = true;
            return parsed;
        }
        if (i + 1 >= arguments.size()) {
            parsed.error = option + u" needs a value (see --help)";
            return parsed;
        }
        const std::u16string& value = arguments[i + 1];
        bool ok = true;
        if (option == u"--namespace") {
            ok = ParseNamespace(value, options);
        } else if (option == u"--control-size") {
            ok = ParseSize(value, options.controlSize);
        } else if (option == u"--capabilities-size") {
            ok = ParseSize(value, options.capabilitiesSize);
        } else if (option == u"--consumers-size") {
            ok = ParseSize(value, options.consumersSize);
        } else if (option == u"--control-magic") {
            ok = ParseWord(value, 16, options.controlMagic);
        } else if (option == u"--control-version") {
            ok = ParseWord(value, 10, options.controlVersion);
        } else if (option == u"--consumers-magic") {
            ok = ParseWord(value, 16, options.consumersMagic);
        } else if (option == u"--consumers-version") {
            ok = ParseWord(value, 10, options.consumersVersion);
        } else {
            double* const seconds = option == u"--fix-after"           ? &options.fixAfter
                                    : option == u"--demand"            ? &options.demand
                                    : option == u"--consumer-start"    ? &options.consumerStart
                                    : option == u"--consumer-start-at" ? &options.consumerStartAt
                                    : option == u"--heartbeat"         ? &options.heartbeat
                                    : option == u"--for"               ? &options.runFor
                                    : option == u"--print-every"       ? &options.printEvery
                                                                       : nullptr;
            if (seconds == nullptr) {
                parsed.error = u"unknown option " + option + u" (see --help)";
                return parsed;
            }
            ok = ParseSeconds(value, *seconds);
        }
        if (!ok) {
            parsed.error = u"bad value '";
            parsed.error.append(value).append(u"' for ").append(option);
            return parsed;
        }
    }
    parsed.options = options;
    return parsed;
}

std::string PeerUsage() {
    const auto hex = [](std::uint32_t value) { return HexText(value).substr(2); };
    const auto number = [](std::uint64_t value) { return std::to_string(value); };
    std::string usage =
        "Usage: orbelune_vcam_peer [options]\n"
        "\n"
        "Plays the virtual camera for the Orbelune camera agent. Creates the three shared "
        "sections\n"
        "the agent opens (control, capabilities, consumers), stamps their headers, keeps the\n"
        "control block's ticks fresh for the given times and prints the blocks as it holds them.\n";
    // Headings (no text), and options with their text in a column of its own.
    const std::pair<std::string_view, std::string> lines[] = {
        {"\nSections:", ""},
        {"--namespace local|global|both", "where to create them (default: local). The agent tries"},
        {"", "Global\\ first, then Local\\."},
        {"--control-size N",
         "bytes of the control section (default " + number(vcam::kControlBlockSize) + ")"},
        {"--capabilities-size N", "bytes of the capabilities section (default " +
                                      number(vcam::kCapabilitiesBlockSize) + ")"},
        {"--consumers-size N",
         "bytes of the consumers section (default " + number(vcam::kConsumersBlockSize) + ")"},
        {"--control-magic HEX", "stamp this magic instead of " + hex(vcam::kControlMagic)},
        {"--control-version N", "stamp this version instead of " + number(vcam::kControlVersion)},
        {"--consumers-magic HEX", "stamp this magic instead of " + hex(vcam::kConsumersMagic)},
        {"--consumers-version N",
         "stamp this version instead of " + number(vcam::kConsumersVersion)},
        {"--fix-after SECONDS", "after this long, stamp the right magics and versions"},
        {"\nTicks (GetTickCount64 milliseconds, each written with one aligned 64-bit store every\n"
         "100 ms while its time lasts; 0 leaves the tick alone):",
         ""},
        {"--demand SECONDS", "keep demandTick fresh: frames are wanted"},
        {"--consumer-start SECONDS", "keep consumerStartTick fresh (also counts as demand)"},
        {"--consumer-start-at SECONDS", "stamp consumerStartTick once, this long after start"},
        {"--heartbeat SECONDS", "keep consumerHeartbeatTick fresh: a consumer is present"},
        {"\nRun:", ""},
        {"--for SECONDS", "exit after this long (default: run until ended)"},
        {"--print-every SECONDS", "print the blocks this often (default 1; 0: never)"},
        {"--help", "show this text"},
    };
    constexpr std::size_t kTextColumn = 34;
    for (const auto& [name, text] : lines) {
        if (text.empty()) {
            usage.append(name).append("\n");
        } else {
            usage.append("  ").append(name).append(kTextColumn - 2 - name.size(), ' ');
            usage.append(text).append("\n");
        }
    }
    return usage +
           "\nExit code 0 after --for, 2 for a bad option, 3 when a section cannot be created.\n";
}

}  // namespace orbelune
