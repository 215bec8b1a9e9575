// The command tables the interpreters and the game checker share, and the
// game.ini keys, each against the guide page that explains them.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "dialog/dialog_commands.h"
#include "resources/game_settings.h"
#include "world/level_commands.h"

namespace {

std::string page(const char* name) {
  std::ifstream in(std::string(TERVALO_SOURCE_DIR) + "/docs/" + name);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The word as code in the page: "`word" followed by a blank or "`".
bool documents(const std::string& text, const std::string& word) {
  return text.find("`" + word + "`") != std::string::npos ||
         text.find("`" + word + " ") != std::string::npos;
}

}  // namespace

TEST(CommandTables, EveryEntryIsFoundAndDocumented) {
  const std::string dialog = page("dialog.md"), formats = page("formats.md"),
                    tools = page("tools.md");
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
