// Archive table and entry loading: open the input as an archive, then load
// every entry by name, by index and by resource name.
#include "fuzz/fuzz_util.h"
#include "resources/resfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FUZZ_INPUT_FILE(path, "res", ".crs");
  static const std::string other = fuzz::scratchPath("res_missing", ".crs");
  Resfile res;
  const bool opened = res.open(path);
  const size_t n = res.entries().size();
  if (!opened && n != 0) std::abort();  // a refused archive has no table
  const std::vector<std::string> names = res.names();
  for (uint32_t i = 0; i < n; ++i) {
    ResBuffer b = res.load(path, i);
    if (b && (b.size() != res.lastSize || b.data()[b.size()] != 0)) std::abort();
  }
  for (const auto& name : names) {
    ResBuffer b = res.load(path, name);
    if (b && b.data()[b.size()] != 0) std::abort();
    res.load(path + ":" + name);
  }
  res.load(path, static_cast<uint32_t>(n));
  // A failing open of another path must leave nothing behind to read from.
  res.load(other + ":x");
  if (!res.entries().empty() || !res.path().empty()) std::abort();
  if (!names.empty()) res.load(path, names.back());
  return 0;
}
