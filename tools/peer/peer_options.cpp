#include "tools/peer/peer_options.h"

#include <algorithm>
#include <charconv>
#include <string_view>

#include "common/text.h"

namespace orbelune {
namespace {

// How an option's value is read, and how --help shows its default.
enum class Kind { kNamespace, kSize, kMagic, kVersion, kSeconds };

// One option, parsed and shown in --help from the same row; a heading comes before its group.
struct Option {
    std::string_view heading, name;  // name: the option and what its value is, "--for SECONDS"
    Kind kind;
    std::string_view help;
    std::uint32_t PeerOptions::*word = nullptr;  // shown with its default
    double PeerOptions::*seconds = nullptr;
};

using P = PeerOptions;
const Option kOptions[] = {
    {"Sections (the agent tries Global\\ first, then Local\\):", "--namespace local|global|both",
     Kind::kNamespace, "where to create them (default: local)"},
    {"", "--control-size N", Kind::kSize, "section size in bytes", &P::controlSize},
    {"", "--capabilities-size N", Kind::kSize, "section size in bytes", &P::capabilitiesSize},
    {"", "--consumers-size N", Kind::kSize, "section size in bytes", &P::consumersSize},
    {"", "--control-magic HEX", Kind::kMagic, "the magic to stamp", &P::controlMagic},
    {"", "--control-version N", Kind::kVersion, "the version to stamp", &P::controlVersion},
    {"", "--consumers-magic HEX", Kind::kMagic, "the magic to stamp", &P::consumersMagic},
    {"", "--consumers-version N", Kind::kVersion, "the version to stamp", &P::consumersVersion},
    {"", "--fix-after SECONDS", Kind::kSeconds,
     "after this long, stamp the right magics and versions", nullptr, &P::fixAfter},
    {"Ticks (GetTickCount64 ms, each written with one aligned 64-bit store every 100 ms while\n"
     "its time lasts; 0 leaves a tick alone, but --consumer-start-at 0 stamps it at once):",
     "--demand SECONDS", Kind::kSeconds, "keep demandTick fresh: frames are wanted", nullptr,
     &P::demand},
    {"", "--consumer-start SECONDS", Kind::kSeconds,
     "keep consumerStartTick fresh (also counts as demand)", nullptr, &P::consumerStart},
    {"", "--consumer-start-at SECONDS", Kind::kSeconds,
     "stamp consumerStartTick once, this long after start", nullptr, &P::consumerStartAt},
    {"", "--heartbeat SECONDS", Kind::kSeconds,
     "keep consumerHeartbeatTick fresh: a consumer is present", nullptr, &P::heartbeat},
    {"Run:", "--for SECONDS", Kind::kSeconds, "exit after this long (default: run until ended)",
     nullptr, &P::runFor},
    {"", "--print-every SECONDS", Kind::kSeconds,
     "print the blocks this often (default 1; 0: never)", nullptr, &P::printEvery},
};

// The value for `option`, read into `options`: seconds in decimal with an optional fraction, a
// magic in hexadecimal with or without 0x, a size (above 0) or a version in decimal.
bool ParseValue(const Option& option, std::u16string_view text, PeerOptions& options) {
    const std::string utf8 = ToUtf8(text);
    if (option.kind == Kind::kNamespace) {
        options.local = utf8 == "local" || utf8 == "both";
        options.global = utf8 == "global" || utf8 == "both";
        return options.local || options.global;
    }
    const char* end = utf8.data() + utf8.size();
    if (option.kind == Kind::kSeconds) {
        const auto [at, error] =
            std::from_chars(utf8.data(), end, options.*option.seconds, std::chars_format::fixed);
        return error == std::errc() && at == end && utf8[0] >= '0' && utf8[0] <= '9';
    }
    const bool hex = option.kind == Kind::kMagic;
    const bool prefixed = hex && (utf8.starts_with("0x") || utf8.starts_with("0X"));
    std::uint32_t& word = options.*option.word;
    const auto [at, error] =
        std::from_chars(utf8.data() + (prefixed ? 2 : 0), end, word, hex ? 16 : 10);
    return error == std::errc() && at == end && (option.kind != Kind::kSize || word > 0);
}

}  // namespace

ParsedPeerOptions ParsePeerOptions(std::span<const std::u16string> arguments) {
    PeerOptions options;
    for (size_t i = 0; i < arguments.size(); i += 2) {
        const std::u16string& name = arguments[i];
        if (name == u"--help" || name == u"-h" || name == u"/?") {
            return {std::nullopt, true, {}};
        }
        const auto* option = std::ranges::find_if(kOptions, [&](const Option& o) {
            return Latin1ToU16(o.name.substr(0, o.name.find(' '))) == name;
        });
        if (option == std::end(kOptions)) {
            return {std::nullopt, false, u"unknown option " + name + u" (see --help)"};
        }
        if (i + 1 >= arguments.size()) {
            return {std::nullopt, false, name + u" needs a value (see --help)"};
        }
        if (!ParseValue(*option, arguments[i + 1], options)) {
            return {std::nullopt, false, u"bad value '" + arguments[i + 1] + u"' for " + name};
        }
    }
    return {options, false, {}};
}

std::string PeerUsage() {
    std::string usage = R"(Usage: orbelune_vcam_peer [options]

Plays the virtual camera for the Orbelune camera agent: creates the three sections it opens,
stamps their headers, keeps the control block's ticks fresh and prints the blocks it holds.
)";
    constexpr std::size_t kTextColumn = 34;
    const PeerOptions defaults;
    for (const Option& o : kOptions) {
        if (!o.heading.empty()) {
            usage.append("\n").append(o.heading).append("\n");
        }
        usage.append("  ").append(o.name).append(kTextColumn - 2 - o.name.size(), ' ');
        usage.append(o.help);
        if (o.word != nullptr) {
            const std::uint32_t value = defaults.*o.word;
            usage.append(" (default ")
                .append(o.kind == Kind::kMagic ? HexText(value).substr(2) : std::to_string(value))
                .append(")");
        }
        usage.append("\n");
    }
    return usage +
           "  --help                          show this text\n"
           "\nExit code 0 after --for, 2 for a bad option, 3 when a section cannot be created.\n";
}

}  // namespace orbelune
