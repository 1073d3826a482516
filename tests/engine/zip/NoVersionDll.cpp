// An engine library stand-in that has the execute entry points but lacks the
// version ones, for the loading tests. The execute functions do nothing.
#include <cstdint>

extern "C" {
__attribute__((visibility("default"))) int32_t ZipDllExec(void*) { return 0; }
__attribute__((visibility("default"))) int32_t UnzDllExec(void*) { return 0; }
}
