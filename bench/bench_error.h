// The one error type of the bench: a description or state the bench cannot work with.
#pragma once

#include <stdexcept>
#include <string>

namespace bench {

class BenchError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

}  // namespace bench
