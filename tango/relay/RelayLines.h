#pragma once
// The relay's lines, written and read by these functions on both sides: hex for what it
// reports, and what a line from the panel asks. Plain C++, so that the relay needs no Qt.
//
// To the panel, one line each, every text or byte string in lowercase hex:
//   state NAME [STATUS]  each State event, the Status text along with FAULT
//   frame BYTES          each valid StatusFrame event, the subscription's own included
//   message BYTES        each LastMessage event but the subscription's (an old message)
//   up                   all three subscribed
//   error TEXT           a write or command failed; the session goes on
//   fail TEXT            an attribute's value is not what the panel reads; the session is over
//   down TEXT            the session is over; the relay exits at once
// From the panel: "write ATTR long|double|bool VALUE" and "run COMMAND", one space apart.

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

inline std::string hex(std::string_view bytes)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const unsigned char byte : bytes) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0x0F];
    }
    return text;
}

// Lowercase or uppercase hex of whole bytes; nullopt for anything else.
inline std::optional<std::string> unhex(std::string_view text)
{
    const auto digit = [](char c) {
        return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    };
    if (text.size() % 2)
        return std::nullopt;
    std::string bytes;
    bytes.reserve(text.size() / 2);
    for (std::size_t at = 0; at < text.size(); at += 2) {
        const int high = digit(text[at]);
        const int low = digit(text[at + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes += static_cast<char>(high * 16 + low);
    }
    return bytes;
}

enum class RelayWord : std::uint8_t { State, Frame, Message, Up, Error, Fail, Down };
inline constexpr std::array<std::string_view, 7> kRelayWords{"state", "frame", "message", "up", "error", "fail", "down"};

// A line to the panel without its newline: the word, then the payload in hex if there is one.
inline std::string relayLine(RelayWord word, std::string_view payload = {})
{
    std::string line(kRelayWords[static_cast<std::size_t>(word)]);
    if (!payload.empty())
        line += ' ' + hex(payload);
    return line;
}

// "state NAME", with the Status text where there is one.
inline std::string stateLine(std::string_view name, std::string_view status = {})
{
    std::string line = relayLine(RelayWord::State) + ' ' + std::string(name);
    if (!status.empty())
        line += ' ' + hex(status);
    return line;
}

struct RelayLine {
    RelayWord word;
    std::string name;      // the State's name
    std::string payload;   // the bytes or text, decoded; empty where the line had none
};

// One line from the relay, without its newline; nullopt for anything the relay does not say.
inline std::optional<RelayLine> parseRelayLine(std::string_view line)
{
    const std::size_t space = line.find(' ');
    const std::string_view word = line.substr(0, space);
    std::string_view rest = space == std::string_view::npos ? std::string_view() : line.substr(space + 1);
    const auto known = std::find(kRelayWords.begin(), kRelayWords.end(), word);
    if (known == kRelayWords.end() || (space != std::string_view::npos && rest.empty()))
        return std::nullopt;
    RelayLine parsed{static_cast<RelayWord>(known - kRelayWords.begin()), {}, {}};
    if (parsed.word == RelayWord::Up)
        return rest.empty() ? std::optional(parsed) : std::nullopt;
    if (parsed.word == RelayWord::State) {
        const std::size_t gap = rest.find(' ');
        parsed.name = rest.substr(0, gap);
        rest = gap == std::string_view::npos ? std::string_view() : rest.substr(gap + 1);
        if (parsed.name.empty() || (gap != std::string_view::npos && rest.empty()))
            return std::nullopt;
    }
    std::optional<std::string> payload = unhex(rest);
    if (!payload)
        return std::nullopt;
    parsed.payload = std::move(*payload);
    return parsed;
}

// `run NAME` has no value; `write NAME long|double|bool X` has the value to write.
struct Request {
    std::string name;
    std::variant<std::monostate, std::int32_t, double, bool> value;
};

template <typename T>
bool parseWhole(std::string_view text, T &value)
{
    const char *end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && stop == end;
}

// Words apart by one space each, of printable ASCII; nullopt for anything else.
inline std::optional<Request> parseRequest(std::string_view line)
{
    if (!std::all_of(line.begin(), line.end(), [](char c) { return c >= ' ' && c <= '~'; }))
        return std::nullopt;
    std::vector<std::string_view> word;
    for (std::size_t at = 0, space = 0; space != std::string_view::npos; at = space + 1) {
        space = line.find(' ', at);
        word.push_back(line.substr(at, space - at));
        if (word.back().empty())
            return std::nullopt;
    }
    if (word.size() == 2 && word[0] == "run")
        return Request{std::string(word[1]), {}};
    if (word.size() != 4 || word[0] != "write")
        return std::nullopt;
    Request request{std::string(word[1]), {}};
    if (std::int32_t count = 0; word[2] == "long" && parseWhole(word[3], count))
        request.value = count;
    else if (double number = 0; word[2] == "double" && parseWhole(word[3], number) && std::isfinite(number))
        request.value = number;
    else if (word[2] == "bool" && (word[3] == "0" || word[3] == "1"))
        request.value = word[3] == "1";
    else
        return std::nullopt;
    return request;
}
