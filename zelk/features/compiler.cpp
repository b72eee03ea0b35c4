#include "zelk/features/compiler.hpp"

#include <unordered_map>
#include <unordered_set>

#include "zelk/features/derivation/build_derivation.hpp"

namespace zelk {

Result<std::vector<FeatureGroup>> group_definitions(
    std::span<const FeatureDefinition> definitions) {
    std::unordered_set<FeatureKey, FeatureKeyHash> seen_keys(definitions.size());
    std::unordered_set<std::string_view> seen_ids(definitions.size());
    std::unordered_map<GroupKey, size_t, GroupKeyHash> group_index(definitions.size());
    std::vector<FeatureGroup> groups;

    for (size_t i = 0; i < definitions.size(); ++i) {
        const FeatureDefinition& definition = definitions[i];
        const IndicatorKind indicator = indicator_kind(definition.key);
        auto fail = [&](InvalidIndicatorDefinitionError reason) {
            return std::unexpected(
                ZelkError{err::InvalidIndicatorDefinition{i, indicator, std::move(reason)}});
        };
        if (!seen_keys.insert(definition.key).second) return fail(def::DuplicateFeatureKey{});
        if (!seen_ids.insert(definition.id).second) return fail(def::DuplicateFeatureId{});
        if (is_reserved_feature_id(definition.id)) {
            return std::unexpected(ZelkError{arg::ReservedFeatureId{i}});
        }
        auto grouped = group_key(i, definition.key);
        if (!grouped) return std::unexpected(std::move(grouped.error()));

        auto [it, inserted] = group_index.try_emplace(grouped->group, groups.size());
        if (inserted) {
            FeatureGroup group;
            group.members = group_members_of(definition.key.kind);
            if (grouped->member) group.member_values.push_back(*grouped->member);
            group.ids.push_back(definition.id);
            group.key = std::move(grouped->group);
            group.definition_index = i;
            groups.push_back(std::move(group));
            continue;
        }
        FeatureGroup& group = groups[it->second];
        if (group.ids.size() >= GROUP_OUTPUT_LIMIT) {
            return fail(def::CompatibleGroupOutputLimitExceeded{GROUP_OUTPUT_LIMIT});
        }
        if (group.members == GroupMembers::Scalar) return fail(def::DuplicateScalarDerivation{});
        group.member_values.push_back(*grouped->member);
        group.ids.push_back(definition.id);
    }
    if (groups.size() > DERIVATION_LIMIT) {
        return std::unexpected(ZelkError{
            arg::LimitExceeded{LimitTarget::RuntimeFeatures, groups.size(), DERIVATION_LIMIT}});
    }
    return groups;
}

Result<Compilation> compile(std::span<const FeatureDefinition> definitions, size_t output_length) {
    if (output_length != definitions.size()) {
        return std::unexpected(ZelkError{err::OutputCountMismatch{definitions.size(), output_length}});
    }
    auto groups = group_definitions(definitions);
    if (!groups) return std::unexpected(std::move(groups.error()));

    Compilation compilation;
    compilation.feature_ids.reserve(definitions.size());
    compilation.context_flags.reserve(definitions.size());
    std::vector<Route> routes;
    size_t offset = 0;
    for (FeatureGroup& group : *groups) {
        const size_t count = group.ids.size();
        const bool is_context = group.key.key.kind == FeatureKind::Context;
        if (!is_context) {
            auto derivation = build_derivation(group);
            if (!derivation) {
                const auto* argument = derivation.error().get_if<err::InvalidArgument>();
                InvalidIndicatorDefinitionError reason =
                    argument ? InvalidIndicatorDefinitionError{def::InvalidArgument{argument->error}}
                             : InvalidIndicatorDefinitionError{def::ConstructionFailed{}};
                return std::unexpected(ZelkError{err::InvalidIndicatorDefinition{
                    group.definition_index, indicator_kind(group.key.key), std::move(reason)}});
            }
            compilation.derivations.push_back(std::move(*derivation));
            compilation.output_ranges.push_back({offset, count});
            routes.emplace_back(group.key.key.symbol, route_of(group.key));
        }
        for (FeatureId& id : group.ids) {
            compilation.feature_ids.push_back(std::move(id));
            compilation.context_flags.push_back(is_context);
        }
        offset += count;
    }
    auto router = EventRouter::from_routes(routes);
    if (!router) return std::unexpected(std::move(router.error()));
    compilation.router = std::move(*router);
    return compilation;
}

}  // namespace zelk
