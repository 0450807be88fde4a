// The start of a test program built like the plug-in DLLs (clang for *-pc-windows-msvc, no C
// runtime library linked): msvcrt.dll parses the command line, main runs, and msvcrt.dll's exit
// flushes the output. Also the vtable pointer of std::type_info, which the type descriptors of
// a thrown C++ object point to and which a C runtime library would bring; msvcrt.dll's frame
// handler compares descriptors by name and never calls through it.
extern "C" {
__declspec(dllimport) int __cdecl __getmainargs(int* argc, char*** argv, char*** env, int expandWildcards,
                                                int* startInfo);
__declspec(dllimport) __declspec(noreturn) void __cdecl exit(int status);
}

int main(int argc, char** argv);

extern "C" void __cdecl TestProgramStart() {
  int argc = 0;
  char** argv = nullptr;
  char** env = nullptr;
  int startInfo = 0;
  __getmainargs(&argc, &argv, &env, 0, &startInfo);
  exit(main(argc, argv));
}

extern "C" const void* const TypeInfoVtable[2] __asm__("??_7type_info@@6B@") = {nullptr, nullptr};
