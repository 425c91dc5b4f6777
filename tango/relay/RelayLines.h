#pragma once
// The relay's lines as text: hex for what it reports, and what a line from the panel asks.

#include <algorithm>
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
