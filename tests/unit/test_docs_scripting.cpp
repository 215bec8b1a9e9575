// The guide against the engine's tables: docs/scripting.md names exactly the
// registered script functions (under a heading "### name(args)" or in the
// first cell of a table row "| `name(args)` |"); the dialog commands, level
// lines and game.ini keys each appear as code on their page.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "api/lua_funcs.h"
#include "dialog/dialog_commands.h"
#include "resources/game_settings.h"
#include "world/level_commands.h"
#include "world/weapon.h"

namespace {

std::string page(const char* name) {
  std::ifstream in(std::string(TERVALO_SOURCE_DIR) + "/docs/" + name);
  EXPECT_TRUE(in) << "docs/" << name << " cannot be read";
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The word as code in the page: "`word" followed by a blank or "`".
bool documents(const std::string& text, const std::string& word) {
  return text.find("`" + word + "`") != std::string::npos || text.find("`" + word + " ") != std::string::npos;
}

TEST(DocsScripting, EveryRegisteredFunctionIsDocumentedAndNothingElse) {
  static const std::regex heading(R"(^###\s+([A-Za-z_]\w*)\()");
  static const std::regex row(R"(^\|\s*`([A-Za-z_]\w*)\()");
  std::set<std::string> docs, registered;
  std::istringstream in(page("scripting.md"));
  std::smatch m;
  for (std::string line; std::getline(in, line);)
    if (std::regex_search(line, m, heading) || std::regex_search(line, m, row)) docs.insert(m[1]);
  for (const auto& f : LuaFuncs::table()) registered.insert(f.name);
  for (const auto& f : Weapon::scriptFuncs()) registered.insert(f.name);
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
  EXPECT_TRUE(stale.str().empty()) << "docs/scripting.md documents functions no script state registers (renamed or "
                                      "removed?); fix or drop them:"
                                   << stale.str();
}

TEST(CommandTables, EveryEntryIsFoundAndDocumented) {
  const std::string dialog = page("dialog.md"), formats = page("formats.md"), tools = page("tools.md");
  for (const DialogCommand& c : DialogCommand::all()) {
    EXPECT_EQ(DialogCommand::find(c.name), &c);
    EXPECT_FALSE(c.forms.empty()) << c.name;
    EXPECT_TRUE(documents(dialog, c.name)) << "docs/dialog.md lacks " << c.name;
  }
  for (const LevelCommand& c : LevelCommand::all()) {
    EXPECT_EQ(LevelCommand::find(c.name), &c);
    EXPECT_TRUE(documents(formats, c.name)) << "docs/formats.md lacks " << c.name;
  }
  for (const GameSettings::Key& k : GameSettings::keys())
    EXPECT_TRUE(documents(tools, k.name)) << "docs/tools.md lacks the game.ini key " << k.name;
  EXPECT_EQ(DialogCommand::find("nonsense"), nullptr);
  EXPECT_EQ(LevelCommand::find("Frame"), nullptr);
}

}  // namespace
