// Mutation fuzzing of the feature-extractor artifact reader.
//
// Runs in a process of its own: mutated documents name new symbols, which
// the reader interns, and the process-wide table holds only 511 of them.
// Once it is full, new names are refused with the interner's own error,
// which is one more path to exercise.
//
// The normal run tries a fixed number of inputs from a fixed seed (a few
// seconds in a debug build). ZELK_FUZZ_SECONDS=N runs for N seconds instead,
// ZELK_FUZZ_SEED picks another seed, and ZELK_FUZZ_VERBOSE lists the kinds of
// refusal met.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "zelk/features/artifacts/feature_extractor_spec.hpp"
#include "zelk/symbols.hpp"

namespace zelk {
namespace {

ExactDecimal dec(std::string_view text) {
    return *ExactDecimal::parse(text);
}

// A spec with every kind of feature and both kinds of book, as seed text.
std::string rich_seed() {
    const Symbol btc = *intern("btc");
    const Symbol eth = *intern("eth");
    const Symbol g = Symbol::global();
    const auto price = FeatureSource::of_field(ScalarField::Price);
    const auto trade = FeatureSource::of_event(EventKind::Trade);
    const auto ms = [](uint64_t n) { return Duration::from_millis(n); };
    std::vector<FeatureDefinition> d;
    const auto add = [&](FeatureKey key) { d.push_back(FeatureDefinition::with_default_id(key)); };
    add(FeatureKey::context(g, "rate"));
    d.push_back(FeatureDefinition{"custom ✓", FeatureKey::context(btc, "funding")});
    add(FeatureKey::book_price_query(FeatureKind::OrderBookLevelSize, btc, Side::Bid,
                                     dec("100.5")));
    add(FeatureKey::book_nth(FeatureKind::OrderBookNthPrice, btc, Side::Ask, 3));
    add(FeatureKey::book_nth(FeatureKind::OrderBookNthSize, btc, Side::Bid, 2));
    add(FeatureKey::book_price_query(FeatureKind::OrderBookDepthUntilPrice, btc, Side::Ask,
                                     dec("101")));
    add(FeatureKey::book_size_query(FeatureKind::OrderBookDepthUntilSizePriceFrom, btc, Side::Bid,
                                    dec("2.5")));
    add(FeatureKey::book_size_query(FeatureKind::OrderBookDepthUntilSizeTotalSize, btc, Side::Ask,
                                    dec("1")));
    add(FeatureKey::book_volume_between(btc, Side::Bid, dec("99"), dec("100.25")));
    add(FeatureKey::book_scalar(FeatureKind::OrderBookMidPrice, btc));
    add(FeatureKey::book_scalar(FeatureKind::OrderBookMicroprice, btc));
    add(FeatureKey::book_imbalance(btc, 5));
    add(FeatureKey::book_imbalance(btc, 1));
    add(FeatureKey::field_of(btc, ScalarField::TradePrice));
    add(FeatureKey::field_of(eth, ScalarField::Volume));
    add(FeatureKey::cvd(btc, trade, 100, WarmupPolicy::FullWindow));
    add(FeatureKey::returns(btc, price, 1, false));
    add(FeatureKey::returns(btc, price, 5, true));
    add(FeatureKey::volatility(btc, price, 20, WarmupPolicy::FirstValue));
    add(FeatureKey::volatility(btc, price, 5, WarmupPolicy::FirstValue));
    add(FeatureKey::timed(FeatureKind::SmaTimed, btc, price, ms(500), ms(1500),
                          WarmupPolicy::FirstValue));
    add(FeatureKey::timed(FeatureKind::VolatilityTimed, btc, price, ms(1000), ms(60'000),
                          WarmupPolicy::FullWindow));
    add(FeatureKey::timed(FeatureKind::ObvTimed, btc, trade, ms(60'000), ms(3'600'000),
                          WarmupPolicy::FullWindow));
    add(FeatureKey::timed(FeatureKind::TradeCountTimed, btc, trade, ms(1000), ms(10'000),
                          WarmupPolicy::FirstValue));
    add(FeatureKey::timed(FeatureKind::TradeVolumeTimed, btc, trade, ms(250), ms(1000),
                          WarmupPolicy::FirstValue));
    add(FeatureKey::timed(FeatureKind::VwapTimed, btc, trade, ms(1000), ms(90'000),
                          WarmupPolicy::FullWindow));
    add(FeatureKey::vpt(btc, trade));
    add(FeatureKey::day_of_week(g, FeatureSource::any_event()));
    add(FeatureKey::time_since_first_event_of_day(g, FeatureSource::any_event(), -19'800'000));
    auto spec = FeatureExtractorSpec::with_metadata(std::move(d), 40, "sum \"1\"");
    EXPECT_TRUE(spec.has_value());
    auto with_books = std::move(*spec).with_order_books(
        {{btc, OrderBookConfig{64, DenseBookConfig{dec("0.5"), dec("50"), dec("150")},
                               UpdatePolicy::Contiguous}},
         {eth, OrderBookConfig{8, std::nullopt, UpdatePolicy::Monotonic}}});
    EXPECT_TRUE(with_books.has_value());
    return *to_json(*with_books);
}

const char* const SMALL_SEEDS[] = {
    R"({"version":"2.0","capacity":1,"length":1,)"
    R"("required_events":[{"symbol":"btc","event":"price"}],"features":[{"symbol":"btc",)"
    R"("indicators":[{"kind":"field",)"
    R"("source":{"type":"field","event":"price","field":"value"}}]}]})",
    R"({"version":"2.0","capacity":2,"length":2,)"
    R"("required_events":[{"symbol":"__global__","event":"time"}],)"
    R"("features":[{"symbol":"__global__","indicators":[)"
    R"({"kind":"time_since_first_event_of_day","source":{"type":"any_event"},)"
    R"("options":{"utc_offset":"UTC+3"}},)"
    R"({"kind":"context","source":{"type":"context"},"options":{"name":"x"},)"
    R"("outputs":[{"id":"y"}]}]}]})",
    R"({"version":"2.0","capacity":0,"length":0,"required_events":[],"features":[]})",
};

// Strings and numbers the mutator splices in whole, to get past the
// structural checks into the meaning of the values.
const char* const DICTIONARY[] = {
    "\"2.0\"",
    "\"2\"",
    "\"\"",
    "\"btc\"",
    "\"BTC\"",
    "\"__global__\"",
    "\"eth\"",
    "\"field\"",
    "\"event\"",
    "\"any_event\"",
    "\"context\"",
    "\"order_book\"",
    "\"price\"",
    "\"trade\"",
    "\"volume\"",
    "\"time\"",
    "\"order_book_delta\"",
    "\"order_book_snapshot\"",
    "\"value\"",
    "\"sma\"",
    "\"cvd\"",
    "\"vpt\"",
    "\"sma_timed\"",
    "\"trade_count_timed\"",
    "\"order_book_imbalance\"",
    "\"order_book_nth_price\"",
    "\"volatility\"",
    "\"log_return\"",
    "\"day_of_week\"",
    "\"first_value\"",
    "\"full_window\"",
    "\"bid\"",
    "\"ask\"",
    "\"1s\"",
    "\"1500ms\"",
    "\"05s\"",
    "\"5m\"",
    "\"1h\"",
    "\"99999999999999999999h\"",
    "\"+14:00\"",
    "\"-05:30\"",
    "\"UTC\"",
    "\"+14:30\"",
    "\"0\"",
    "\"-1\"",
    "\"1e5\"",
    "\"0.0000000000000000000000000001\"",
    "\"79228162514264337593543950335\"",
    "\"__reserved_x\"",
    "\"\\ud800\"",
    "\"\\u00e9\"",
    "0",
    "1",
    "16",
    "17",
    "-1",
    "1.5",
    "1e3",
    "18446744073709551615",
    "18446744073709551616",
    "null",
    "true",
    "[]",
    "{}",
    "[{}]",
    R"({"window":5})",
    R"({"n_levels":0})",
    R"({"lag":1})",
    R"({"window":"1s"})",
    R"({"id":"x"})",
};

struct Fuzzer {
    std::mt19937_64 rng;
    std::vector<std::string> seeds;

    size_t below(size_t n) {
        return n == 0 ? 0 : std::uniform_int_distribution<size_t>(0, n - 1)(rng);
    }

    // Start and end of a random quoted string or number literal, if any.
    bool pick_literal(const std::string& s, size_t& begin, size_t& end) {
        for (int tries = 0; tries < 8; ++tries) {
            size_t at = below(s.size());
            if (s[at] == '"') {
                size_t close = s.find('"', at + 1);
                while (close != std::string::npos && s[close - 1] == '\\')
                    close = s.find('"', close + 1);
                if (close == std::string::npos) return false;
                begin = at;
                end = close + 1;
                return true;
            }
            if ((s[at] >= '0' && s[at] <= '9') || s[at] == '-') {
                begin = at;
                end = at;
                while (end < s.size() &&
                       std::string_view("0123456789.eE+-").find(s[end]) != std::string_view::npos) {
                    ++end;
                }
                return true;
            }
        }
        return false;
    }

    void mutate_once(std::string& s) {
        static const std::string_view STRUCTURE = "{}[]\":,\\ 0123456789-.eEtfnul\n";
        switch (below(7)) {
            case 0:  // flip one bit
                if (!s.empty()) s[below(s.size())] ^= static_cast<char>(1u << below(8));
                break;
            case 1: {  // insert a structural or arbitrary byte
                const char c = below(4) == 0 ? static_cast<char>(below(256))
                                             : STRUCTURE[below(STRUCTURE.size())];
                s.insert(s.begin() + static_cast<std::ptrdiff_t>(below(s.size() + 1)), c);
                break;
            }
            case 2: {  // delete a short range
                if (s.empty()) break;
                const size_t at = below(s.size());
                s.erase(at, 1 + below(std::min<size_t>(16, s.size() - at)));
                break;
            }
            case 3: {  // duplicate a range in place
                if (s.empty()) break;
                const size_t at = below(s.size());
                const size_t n = 1 + below(std::min<size_t>(64, s.size() - at));
                s.insert(at, s.substr(at, n));
                break;
            }
            case 4: {  // splice: a prefix of this text and a suffix of a seed
                const std::string& other = seeds[below(seeds.size())];
                s = s.substr(0, below(s.size() + 1)) + other.substr(below(other.size() + 1));
                break;
            }
            default: {  // replace a literal with a dictionary entry
                size_t begin = 0;
                size_t end = 0;
                if (pick_literal(s, begin, end)) {
                    s.replace(begin, end - begin, DICTIONARY[below(std::size(DICTIONARY))]);
                }
                break;
            }
        }
    }
};

// True when `message` ends with " at line L column C", L and C positive.
bool has_position_suffix(const std::string& message) {
    const size_t at = message.rfind(" at line ");
    if (at == std::string::npos) return false;
    unsigned line = 0;
    unsigned column = 0;
    int consumed = 0;
    const std::string suffix = message.substr(at);
    return std::sscanf(suffix.c_str(), " at line %u column %u%n", &line, &column, &consumed) == 2 &&
           static_cast<size_t>(consumed) == suffix.size() && line > 0 && column > 0;
}

// The message without its position, numbers and quoted or back-quoted
// parts: refusals of the same kind map to the same shape.
std::string shape_of(const std::string& message) {
    std::string out;
    const std::string text = message.substr(0, message.rfind(" at line "));
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"' || c == '`') {
            const size_t close = text.find(c, i + 1);
            if (close == std::string::npos) break;
            out += '#';
            i = close;
        } else if (c >= '0' && c <= '9') {
            while (i + 1 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '9') ++i;
            out += '#';
        } else {
            out += c;
        }
    }
    return out;
}

uint64_t env_number(const char* name, uint64_t fallback) {
    const char* text = std::getenv(name);
    return text != nullptr ? std::strtoull(text, nullptr, 10) : fallback;
}

TEST(JsonFuzz, ReaderNeverCrashesAndAcceptedDocumentsRoundTrip) {
    const uint64_t seconds = env_number("ZELK_FUZZ_SECONDS", 0);
    const uint64_t iterations = seconds > 0 ? UINT64_MAX : env_number("ZELK_FUZZ_ITERATIONS", 2500);
    Fuzzer fuzzer{std::mt19937_64(env_number("ZELK_FUZZ_SEED", 20240611)), {rich_seed()}};
    for (const char* s : SMALL_SEEDS) fuzzer.seeds.emplace_back(s);
    for (const std::string& seed : fuzzer.seeds) ASSERT_TRUE(from_json(seed).has_value()) << seed;

    const auto start = std::chrono::steady_clock::now();
    uint64_t tried = 0;
    uint64_t accepted = 0;
    std::set<std::string> distinct;
    for (; tried < iterations; ++tried) {
        if (seconds > 0 && (tried & 63) == 0 &&
            std::chrono::steady_clock::now() - start > std::chrono::seconds(seconds)) {
            break;
        }
        std::string text = fuzzer.seeds[fuzzer.below(fuzzer.seeds.size())];
        const size_t rounds = 1 + fuzzer.below(4);
        for (size_t i = 0; i < rounds; ++i) fuzzer.mutate_once(text);
        if (text.size() > 65536) text.resize(65536);

        const auto spec = from_json(text);
        if (!spec) {
            // Every refusal says where; count the kinds of refusal.
            ASSERT_TRUE(has_position_suffix(spec.error().message)) << spec.error().message << "\n"
                                                                   << text;
            distinct.insert(shape_of(spec.error().message));
            continue;
        }
        ++accepted;
        // What was read writes, when it can, to text that reads back to the
        // same spec and writes the same bytes again.
        const auto written = to_json(*spec);
        if (!written) continue;
        const auto again = from_json(*written);
        ASSERT_TRUE(again.has_value()) << again.error().message << "\n" << *written;
        ASSERT_EQ(*again, *spec) << text;
        ASSERT_EQ(to_json(*again), written) << text;
    }
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf(
        "json fuzz: %llu inputs in %.1f s, %llu accepted, %zu distinct refusal shapes, "
        "%zu symbols interned\n",
        static_cast<unsigned long long>(tried), elapsed, static_cast<unsigned long long>(accepted),
        distinct.size(), interned_symbol_count());
    if (std::getenv("ZELK_FUZZ_VERBOSE") != nullptr) {
        for (const std::string& shape : distinct) std::printf("  %s\n", shape.c_str());
    }
    EXPECT_GT(accepted, 0u);
    EXPECT_GT(distinct.size(), 40u);
}

// Runs after the fuzzing (declaration order): fills whatever is left of the
// symbol table and checks that the reader reports the interner's refusal at
// the name it could not intern.
TEST(JsonFuzz, SymbolTableFullIsReportedAtTheName) {
    ASSERT_TRUE(intern("btc").has_value());
    for (int i = 0; interned_symbol_count() < SYMBOL_LIMIT; ++i) {
        (void)intern(fmt::format("filler-{}", i));
    }
    const auto refused = intern("never-seen");
    ASSERT_FALSE(refused.has_value());
    const std::string text = SMALL_SEEDS[0];
    std::string renamed = text;
    renamed.replace(renamed.rfind(R"("symbol":"btc")"), 14, R"("symbol":"never-seen")");
    const auto spec = from_json(renamed);
    ASSERT_FALSE(spec.has_value());
    const size_t column = renamed.rfind(R"("never-seen")") + 1;
    EXPECT_EQ(spec.error().message,
              fmt::format("{} at line 1 column {}", to_string(refused.error()), column));
    // Known names still read.
    EXPECT_TRUE(from_json(text).has_value());
}

}  // namespace
}  // namespace zelk
