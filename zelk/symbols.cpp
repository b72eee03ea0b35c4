#include "zelk/symbols.hpp"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace zelk {

namespace {

class SymbolInterner {
public:
    SymbolInterner() { store(std::string(GLOBAL_SYMBOL_NAME)); }

    std::expected<Symbol, ZelkError> intern(std::string_view name) {
        std::string normalized(name);
        for (char& c : normalized) {
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        }
        std::lock_guard lock(mutex_);
        if (auto it = ids_.find(normalized); it != ids_.end()) return Symbol{it->second};
        if (names_.size() >= SYMBOL_LIMIT) {
            return std::unexpected(ZelkError{arg::LimitExceeded{
                LimitTarget::Symbols, names_.size() + 1, SYMBOL_LIMIT}});
        }
        return Symbol{store(std::move(normalized))};
    }

    std::string resolve(Symbol symbol) {
        std::lock_guard lock(mutex_);
        if (symbol.id >= names_.size()) {
            // Only ids issued by this process exist; anything else is a bug.
            fprintf(stderr, "zelk: unknown symbol id %u\n", symbol.id);
            std::abort();
        }
        return *names_[symbol.id];
    }

    size_t size() {
        std::lock_guard lock(mutex_);
        return names_.size();
    }

private:
    uint16_t store(std::string name) {
        const auto id = static_cast<uint16_t>(names_.size());
        auto shared = std::make_shared<const std::string>(std::move(name));
        ids_.emplace(*shared, id);
        names_.push_back(std::move(shared));
        return id;
    }

    std::mutex mutex_;
    std::vector<std::shared_ptr<const std::string>> names_;
    std::unordered_map<std::string, uint16_t> ids_;
};

// Created on first use and never destroyed, so symbols stay valid during
// static destruction of other objects.
SymbolInterner& interner() {
    static auto* instance = new SymbolInterner();
    return *instance;
}

}  // namespace

std::expected<Symbol, ZelkError> intern(std::string_view name) { return interner().intern(name); }

std::string resolve_as_string(Symbol symbol) { return interner().resolve(symbol); }

std::string display(Symbol symbol) {
    return symbol.is_global() ? std::string("GLOBAL") : resolve_as_string(symbol);
}

size_t interned_symbol_count() { return interner().size(); }

}  // namespace zelk
