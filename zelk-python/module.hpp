// Registration functions of the _zelk module, one per Python class, called
// by the module definition in registration order.
#pragma once

#include <nanobind/nanobind.h>

namespace zelk::python {

void add_order_book_event(nanobind::module_& m);
void add_warmup_policy(nanobind::module_& m);
void add_feature_extractor_spec(nanobind::module_& m);
void add_feature_extractor(nanobind::module_& m);

}  // namespace zelk::python
