// InvalidTransformationDefinitionError: why a scalar transformation of a
// model-input pipeline was refused.
#pragma once

#include <cstdint>
#include <string_view>

namespace zelk {

enum class InvalidTransformationDefinitionError : uint8_t {
    WindowZero,
    TooManyAverageOutputs,
    InputFeatureNotFound,
    DuplicateOutputFeature,
    ReservedOutputFeature,
    MeanNotFinite,
    ScaleNotFinite,
    ScaleNotPositive,
    InverseScaleNotFinite,
    LagWindowZero,
    LagWindowTooLarge,
};

std::string_view to_string(InvalidTransformationDefinitionError error);

}  // namespace zelk
