// The C++ library's error entry points for the stub. The stub never relies
// on catching these (they mean an impossible length or an empty function
// call), so it ends at once with a message and exit code 1. Defining them
// here keeps the library's versions, and with them its translated message
// machinery and demangler, out of the static program.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {
[[noreturn]] void Die(const char* what) {
  std::fprintf(stderr, "internal error: %s\n", what ? what : "");
  std::fflush(stderr);
  ::_exit(1);
}
}  // namespace

namespace std {
void __throw_bad_alloc() { Die("out of memory"); }
void __throw_bad_array_new_length() { Die("out of memory"); }
void __throw_logic_error(const char* s) { Die(s); }
void __throw_length_error(const char* s) { Die(s); }
void __throw_out_of_range_fmt(const char* s, ...) { Die(s); }
void __throw_bad_function_call() { Die("empty function called"); }
}  // namespace std

namespace __gnu_cxx {
void __verbose_terminate_handler() { Die("terminate called"); }
}  // namespace __gnu_cxx
