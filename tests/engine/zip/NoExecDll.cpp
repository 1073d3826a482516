// An engine library stand-in that has the version entry points but lacks the
// execute ones, for the loading tests.
#include <cstdint>

extern "C" {
__attribute__((visibility("default"))) int32_t GetZipDllVersion() { return 158; }
__attribute__((visibility("default"))) int32_t GetUnzDllVersion() { return 152; }
}
