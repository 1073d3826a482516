// Our UnRAR-compatible library's exports over hostile archives, as the
// program drives them: open for extraction with the password given through
// the callback, then every entry tested or extracted (every third one) into
// a fresh folder, which is checked and removed afterwards. Extraction goes
// through the names, options, links and temporary files of the RAR output
// and the shared extraction root; after the archive is closed (when links
// are made) no link below the folder may resolve outside it, or to it.
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "engine/rar/UnrarApi.h"

extern "C" {
RarHandle RAROpenArchiveEx(RAROpenArchiveDataEx* d);
int RARCloseArchive(RarHandle h);
int RARReadHeaderEx(RarHandle h, RARHeaderDataEx* hd);
int RARProcessFile(RarHandle h, int op, char* destPath, char* destName);
}

namespace {

namespace fs = std::filesystem;

std::string WorkFolder() {
  const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  std::string tmpl = std::string(base) + "/rarextract-fuzz-XXXXXX";
  const char* dir = mkdtemp(tmpl.data());
  return dir ? dir : base;
}

int Answer(unsigned msg, RarLParam, RarLParam p1, RarLParam p2) {
  if (msg == UCM_NEEDPASSWORD && p2 > 9) {
    std::strcpy(reinterpret_cast<char*>(p1), "password");
    return 1;
  }
  if (msg == UCM_NEEDPASSWORDW && p2 > 9) {
    std::wcscpy(reinterpret_cast<wchar_t*>(p1), L"password");
    return 1;
  }
  if (msg == UCM_CHANGEVOLUME || msg == UCM_CHANGEVOLUMEW) return -1;  // no other volumes
  return 1;
}

// Every link below `root` resolves inside it, and not to it.
void CheckLinks(const std::string& root) {
  char real[PATH_MAX];
  if (!realpath(root.c_str(), real)) return;
  const std::string inside = std::string(real) + "/";
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, fs::directory_options::none, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (!it->is_symlink(ec)) continue;
    char target[PATH_MAX];
    if (!realpath(it->path().c_str(), target)) continue;  // dangling inside is allowed
    if (std::string(target).rfind(inside, 0) != 0) {
      std::fprintf(stderr, "link %s resolves to %s, outside %s\n", it->path().c_str(), target, real);
      std::abort();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string work = WorkFolder();
  const std::string path = work + "/input.rar";
  const std::string out = work + "/out";
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  if (size > 0) std::fwrite(data, 1, size, f);
  std::fclose(f);
  std::error_code ec;
  fs::remove_all(out, ec);
  fs::create_directory(out, ec);

  RAROpenArchiveDataEx od{};
  std::string name = path;
  od.ArcName = name.data();
  od.OpenMode = RAR_OM_EXTRACT;
  od.Callback = Answer;
  RarHandle h = RAROpenArchiveEx(&od);
  if (!h) return 0;
  static RARHeaderDataEx hd;
  std::string dest = out;
  for (int i = 0; i < 500; ++i) {
    std::memset(&hd, 0, sizeof hd);
    if (RARReadHeaderEx(h, &hd) != 0) break;
    RARProcessFile(h, i % 3 == 0 ? RAR_EXTRACT : RAR_TEST, dest.data(), nullptr);
  }
  RARCloseArchive(h);
  CheckLinks(out);
  fs::remove_all(out, ec);
  return 0;
}
