#include "console/transcript.h"

#include <cctype>

namespace kmb::test {

namespace {

constexpr std::string_view kTime = "@TIME@";
constexpr std::string_view kHex = "@HEX@";

// Hexadecimal digits as "%x" prints a 32-bit value: 1 to 8 of them.
size_t hex_digits_at(const std::string& text, size_t at)
{
    size_t n = 0;
    while (n < 8 && at + n < text.size() && std::isxdigit(static_cast<unsigned char>(text[at + n])) &&
           !std::isupper(static_cast<unsigned char>(text[at + n]))) {
        ++n;
    }
    return n;
}

std::string shown(const std::string& text, size_t at)
{
    const size_t from = at > 60 ? at - 60 : 0;
    std::string out;
    for (char c : text.substr(from, 120)) {
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\b') {
            out += "\\b";
        } else {
            out += c;
        }
    }
    return out;
}

bool time_at(const std::string& text, size_t at)
{
    if (at + 8 > text.size()) {
        return false;
    }
    for (size_t i = 0; i < 8; ++i) {
        const char c = text[at + i];
        if ((i == 2 || i == 5) ? c != ':' : !std::isdigit(static_cast<unsigned char>(c))) {
            return false;
        }
    }
    return true;
}

} // namespace

std::string transcript_difference(const std::string& actual, const std::string& expected)
{
    size_t a = 0;
    size_t e = 0;
    while (e < expected.size()) {
        if (expected.compare(e, kTime.size(), kTime) == 0) {
            if (!time_at(actual, a)) {
                break;
            }
            a += 8;
            e += kTime.size();
            continue;
        }
        if (expected.compare(e, kHex.size(), kHex) == 0) {
            const size_t n = hex_digits_at(actual, a);
            if (n == 0) {
                break;
            }
            a += n;
            e += kHex.size();
            continue;
        }
        if (a >= actual.size() || actual[a] != expected[e]) {
            break;
        }
        ++a;
        ++e;
    }
    if (e == expected.size() && a == actual.size()) {
        return "";
    }
    return "transcripts differ at output offset " + std::to_string(a) + "\n  printed:  ..." + shown(actual, a) +
           "\n  expected: ..." + shown(expected, e);
}

std::string repeat(const std::string& text, int times)
{
    std::string out;
    for (int i = 0; i < times; ++i) {
        out += text;
    }
    return out;
}

::testing::AssertionResult repeats_until_ctrl_c(const std::string& out, const std::string& head,
                                                const std::function<std::string(int)>& pass, int at_least,
                                                const std::string& tail)
{
    std::string passes;
    int n = 0;
    for (std::size_t at = head.size();; ++n) {
        const std::string next = pass(n);
        if (out.compare(at, next.size(), next) != 0) {
            break;
        }
        passes += next;
        at += next.size();
    }
    if (n < at_least) {
        for (int i = n; i < at_least; ++i) {
            passes += pass(i);
        }
        return ::testing::AssertionFailure() << n << " passes, expected at least " << at_least << "\n"
                                             << transcript_difference(out, head + passes + tail);
    }
    return transcript_is(out, head + passes + tail);
}

} // namespace kmb::test
