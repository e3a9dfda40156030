// Small helpers over the operating system, for the renderer's program.
#pragma once

#include <filesystem>
#include <string>
#include <system_error>

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

/// This process's id.
int ProcessId();
/// Why the system refuses to let this process create files in the folder `dir`, or empty (also
/// where it cannot tell: the caller then tries).
std::string AccessProblem(const std::filesystem::path& dir);
/// Renames `from` to `to`; without `replace` fails with EEXIST when `to` exists, checked by the
/// system together with the rename where it can.
std::error_code RenameFile(const std::filesystem::path& from, const std::filesystem::path& to,
                           bool replace);

}  // namespace quillstreak::renderer
