// Archive table and entry loading: open the input as an archive, then load
// its entries (the first 16 of a long table, and the last) by index, by name
// and by resource name.
#include <algorithm>

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
  // Every entry is read by the same code: the first few of a long table,
  // and its last below, reach all of it at a fraction of the cost.
  const uint32_t some = static_cast<uint32_t>(std::min<size_t>(n, 16));
  for (uint32_t i = 0; i < some; ++i) {
    ResBuffer b = res.load(path, i);
    if (b && (b.size() != res.lastSize || b.data()[b.size()] != 0)) std::abort();
  }
  for (uint32_t i = 0; i < some; ++i) {
    const std::string& name = names[i];
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
