// The script reference (docs/scripting.md) names exactly the functions the
// engine registers. A function counts as documented where its signature
// opens a level-3 heading, "### name(args)", or the first cell of a table
// row, "| `name(args)` |".
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "api/lua_funcs.h"
#include "world/weapon.h"

namespace {

std::set<std::string> documented() {
  std::ifstream in(std::string(TERVALO_SOURCE_DIR) + "/docs/scripting.md");
  EXPECT_TRUE(in) << "docs/scripting.md cannot be read";
  static const std::regex heading(R"(^###\s+([A-Za-z_]\w*)\()");
  static const std::regex row(R"(^\|\s*`([A-Za-z_]\w*)\()");
  std::set<std::string> names;
  std::string line;
  std::smatch m;
  while (std::getline(in, line))
    if (std::regex_search(line, m, heading) || std::regex_search(line, m, row))
      names.insert(m[1]);
  return names;
}

TEST(DocsScripting, EveryRegisteredFunctionIsDocumentedAndNothingElse) {
  std::set<std::string> registered;
  for (const auto& f : LuaFuncs::table()) registered.insert(f.name);
  for (const auto& f : Weapon::scriptFuncs()) registered.insert(f.name);
  const std::set<std::string> docs = documented();
  std::ostringstream missing, stale;
  for (const auto& n : registered)
    if (!docs.count(n)) missing << "\n  ### " << n << "(args)";
  for (const auto& n : docs)
    if (!registered.count(n)) stale << "\n  " << n;
  EXPECT_TRUE(missing.str().empty())
      << "docs/scripting.md lacks these registered functions; document each under a heading "
         "(or in a family table row | `name(args)` |) with its arguments, results, failure "
         "lines and the states it is registered in:"
      << missing.str();
  EXPECT_TRUE(stale.str().empty())
      << "docs/scripting.md documents functions no script state registers (renamed or "
         "removed?); fix or drop them:"
      << stale.str();
}

}  // namespace
