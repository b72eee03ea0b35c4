// Field derivation: copies one scalar event field into its single cell.
#pragma once

#include "zelk/event.hpp"
#include "zelk/features/output_sink.hpp"
#include "zelk/features/source_field.hpp"

namespace zelk {

class FieldDerivation {
public:
    explicit FieldDerivation(SourceField source) : source_(source) {}

    // No symbol check: the route only delivers events of the derivation's symbol.
    void update(const Event& event, size_t first, size_t /*count*/, OutputSink& sink) const {
        if (auto value = read_source_field(event, source_)) sink.write(first, *value);
    }

    SourceField source() const { return source_; }

private:
    SourceField source_;
};

}  // namespace zelk
