#include "host/Module.h"

#include <stdexcept>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace quillstreak::host {

namespace {

#ifdef _WIN32
std::string LastErrorText() {
  return "error " + std::to_string(static_cast<unsigned long>(GetLastError()));
}
#else
std::string LastErrorText() {
  const char* text = dlerror();
  return text != nullptr ? std::string(text) : std::string("unknown error");
}
#endif

}  // namespace

Module::Module(const std::string& path) : path_(path) {
  if (path.empty())
    throw std::runtime_error(
        "no effect module path (set QUILLSTREAK_MODULE or build with QS_MODULE_PATH)");
#ifdef _WIN32
  HMODULE library = LoadLibraryA(path.c_str());
  if (library == nullptr)
    throw std::runtime_error("cannot load effect module '" + path + "': " + LastErrorText());
  FARPROC symbol = GetProcAddress(library, "EntryPointFunc");
  if (symbol == nullptr) {
    std::string why = LastErrorText();
    FreeLibrary(library);
    throw std::runtime_error("effect module '" + path + "' has no EntryPointFunc: " + why);
  }
  library_ = reinterpret_cast<void*>(library);
  entry_ = reinterpret_cast<PF_FilterProc>(reinterpret_cast<void (*)()>(symbol));
#else
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr)
    throw std::runtime_error("cannot load effect module '" + path + "': " + LastErrorText());
  dlerror();
  void* symbol = dlsym(library, "EntryPointFunc");
  if (symbol == nullptr) {
    std::string why = LastErrorText();
    dlclose(library);
    throw std::runtime_error("effect module '" + path + "' has no EntryPointFunc: " + why);
  }
  library_ = library;
  entry_ = reinterpret_cast<PF_FilterProc>(symbol);
#endif
}

Module::~Module() {
#ifdef _WIN32
  if (library_ != nullptr) FreeLibrary(reinterpret_cast<HMODULE>(library_));
#else
  if (library_ != nullptr) dlclose(library_);
#endif
}

}  // namespace quillstreak::host
