// The renderer's two kinds of failure. Invalid input (a scene, an option or a file it names):
// InputError, whose message is complete (it names the file and the place in it); the renderer
// prints it and exits with code 2 before writing anything. A failure while rendering (the effect,
// or writing an output): RenderError, exit code 1.
#pragma once

#include <stdexcept>
#include <string>

namespace quillstreak::renderer {

class InputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class RenderError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace quillstreak::renderer
