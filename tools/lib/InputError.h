// Invalid input to the renderer: a scene, an option or a file it names. The message is complete
// (it names the file and the place in it); the renderer prints it and exits with code 2.
#pragma once

#include <stdexcept>
#include <string>

namespace qsrender {

class InputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace qsrender
