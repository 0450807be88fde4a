// A parameter by its script name, as the tests and fuzz targets that speak in names need it (the
// bindings walk the core's table instead).
#pragma once

#include <cstring>

#include "core/parameters.h"

namespace sorvan::testing {

inline bool FindParameter(const char* name, Parameter* parameter) {
  for (int32_t i = 0; i < kParameterCount; ++i) {
    if (std::strcmp(name, kParameters[i].name) == 0) {
      *parameter = static_cast<Parameter>(i);
      return true;
    }
  }
  return false;
}

}  // namespace sorvan::testing
