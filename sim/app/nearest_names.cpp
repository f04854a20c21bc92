#include "sim/app/nearest_names.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <tuple>

namespace kmb::sim {

namespace {

// Enough of a typed name to rank by; a longer argument is no name anyone meant.
constexpr std::size_t kLongestCompared = 64;

// How far a misspelling may stray: two keystrokes, or a third of what was typed.
std::size_t typo_limit(std::size_t typed_size) { return std::max<std::size_t>(2, typed_size / 3); }

// How much longer than the best a name sharing the same words may be and still be offered
// beside it ("pin7": the stuck-low and the stuck-high fault).
constexpr std::size_t kTieSlack = 2;

std::string normalized(std::string_view text)
{
    std::string out(text.substr(0, kLongestCompared));
    for (char& c : out) {
        c = (c == '_' || c == ' ') ? '-' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

std::vector<std::string_view> words_of(std::string_view text)
{
    std::vector<std::string_view> words;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find_first_of("-."), text.size());
        if (end > 0) {
            words.push_back(text.substr(0, end));
        }
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    return words;
}

std::size_t edit_distance(std::string_view a, std::string_view b)
{
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) {
        row[j] = j;
    }
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// A typed word stands for a name's word when it is that word or, two letters or more, begins it.
bool word_matches(std::string_view typed, std::string_view word)
{
    return typed == word || (typed.size() >= 2 && word.starts_with(typed));
}

std::size_t words_matched(const std::vector<std::string_view>& typed, const std::vector<std::string_view>& name)
{
    std::size_t matched = 0;
    for (std::string_view t : typed) {
        matched += std::any_of(name.begin(), name.end(), [t](std::string_view w) { return word_matches(t, w); }) ? 1 : 0;
    }
    return matched;
}

// Lower ranks first: a beginning, then shared words (more first), then keystrokes.
struct Rank {
    int kind; // 0: the name begins with what was typed; 1: shares words; 2: a few keystrokes away
    std::size_t words_missed;
    std::size_t distance;
    std::size_t order;

    bool operator<(const Rank& o) const
    {
        return std::tie(kind, words_missed, distance, order) < std::tie(o.kind, o.words_missed, o.distance, o.order);
    }
};

std::optional<Rank> rank_of(const std::string& typed, const std::vector<std::string_view>& typed_words,
                            const std::string& name, std::size_t order)
{
    const std::size_t distance = edit_distance(typed, name);
    if (!typed.empty() && name.starts_with(typed)) {
        return Rank{0, 0, distance, order};
    }
    const std::size_t matched = words_matched(typed_words, words_of(name));
    if (matched > 0) {
        return Rank{1, typed_words.size() - matched, distance, order};
    }
    if (distance <= typo_limit(typed.size())) {
        return Rank{2, 0, distance, order};
    }
    return std::nullopt;
}

// A name is offered beside the best when it is of the same kind: every name that completes
// what was typed; a name that shares as many words and is about as long; a misspelling exactly
// as few keystrokes away.
bool as_good(const Rank& r, const Rank& best)
{
    if (r.kind != best.kind || r.words_missed != best.words_missed) {
        return false;
    }
    switch (r.kind) {
    case 0:
        return true;
    case 1:
        return r.distance <= best.distance + kTieSlack;
    default:
        return r.distance == best.distance;
    }
}

} // namespace

std::vector<std::string> nearest_names(std::string_view typed, std::span<const std::string> names, std::size_t most)
{
    const std::string t = normalized(typed);
    const std::vector<std::string_view> typed_words = words_of(t);
    std::vector<std::pair<Rank, const std::string*>> ranked;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (const std::optional<Rank> r = rank_of(t, typed_words, names[i], i)) {
            ranked.emplace_back(*r, &names[i]);
        }
    }
    std::sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> nearest;
    for (const auto& [rank, name] : ranked) {
        if (nearest.size() == most || !as_good(rank, ranked.front().first)) {
            break;
        }
        nearest.push_back(*name);
    }
    return nearest;
}

std::string quoted_choice(const std::vector<std::string>& names, std::string_view prefix)
{
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) {
            text += i + 1 == names.size() ? " or " : ", ";
        }
        text += "'" + std::string(prefix) + names[i] + "'";
    }
    return text;
}

} // namespace kmb::sim
