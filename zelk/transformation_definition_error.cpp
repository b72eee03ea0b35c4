#include "zelk/transformation_definition_error.hpp"

namespace zelk {

std::string_view to_string(InvalidTransformationDefinitionError error) {
    using E = InvalidTransformationDefinitionError;
    switch (error) {
        case E::WindowZero: return "average window must be positive";
        case E::TooManyAverageOutputs: return "too many compatible average outputs (maximum 16)";
        case E::InputFeatureNotFound:
            return "input feature ID does not exist in the preceding layout";
        case E::DuplicateOutputFeature: return "output feature ID duplicates an earlier output";
        case E::ReservedOutputFeature: return "output feature ID uses the reserved namespace";
        case E::MeanNotFinite: return "standard-scaler mean must be finite";
        case E::ScaleNotFinite: return "standard-scaler scale must be finite";
        case E::ScaleNotPositive: return "standard-scaler scale must be positive";
        case E::InverseScaleNotFinite: return "standard-scaler inverse scale must be finite";
        case E::LagWindowZero: return "lag window must be positive";
        case E::LagWindowTooLarge: return "lag window exceeds the maximum of 10000 values";
    }
    return "";
}

}  // namespace zelk
