// Holds a module loaded, as the host holds a plug-in while it runs: the installer tests start it
// in the background to see that the installer and the uninstaller leave a module in use alone.
//   hold-module <module> <ready file> <stop file>
// Loads <module>, creates <ready file>, waits (two minutes at most) until <stop file> exists,
// then frees the module and deletes <ready file>.
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: hold-module <module> <ready file> <stop file>\n");
    return 2;
  }
  HMODULE module = LoadLibraryA(argv[1]);
  if (module == nullptr) {
    std::fprintf(stderr, "hold-module: cannot load %s (error %lu)\n", argv[1], GetLastError());
    return 1;
  }
  HANDLE ready = CreateFileA(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  if (ready != INVALID_HANDLE_VALUE) CloseHandle(ready);
  for (int i = 0; i < 1200 && GetFileAttributesA(argv[3]) == INVALID_FILE_ATTRIBUTES; ++i) {
    Sleep(100);
  }
  FreeLibrary(module);
  DeleteFileA(argv[2]);
  return 0;
}
