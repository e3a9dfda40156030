// Small helpers over the operating system, for the renderer's program.
#pragma once

#include <filesystem>
#include <string>

#include "host/Module.h"

namespace quillstreak::renderer {

/// The folder of the running program, or empty when it cannot be found (`argv0` is the fallback).
std::filesystem::path ExecutableDir(const char* argv0);

/// An environment variable's value (empty when unset): the host library's, written once.
using host::EnvironmentValue;

/// Keeps memory the program frees for reuse instead of giving it back to the system.
void KeepFreedMemory();

/// Whether standard error is a terminal, and its width in columns (80 when unknown; $COLUMNS
/// where the terminal does not say).
struct TerminalInfo {
  bool terminal = false;
  int columns = 80;
};
TerminalInfo StandardErrorTerminal();

}  // namespace quillstreak::renderer
