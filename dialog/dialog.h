// The player's conversation with a character: the search for someone to
// talk to, the command language of the characters' dialog files (section
// "dialog" of "npc/<name>"), the text box and the short-lived actors
// (pictures, emoticons, floating texts) a conversation shows.
#pragma once

#include <cstdint>
#include <list>
#include <string>
#include <vector>

#include "render/text.h"

class Level;
class Npc;
class Parser;
class Player;
class Sprite;

class Dialog {
 public:
  class NpcFadingObj;
  class NpcAnimatedObj;
  class NpcPicture;
  class NpcEmot;
  class NpcText;

  // Marker over a character that can be talked to.
  struct Pointer {
    Npc* npc = nullptr;
    uint32_t slot = 0;  // the character's slot, to notice when it is gone
    uint32_t frame = 0;
    float frameTime = 0;
    float alpha = 0;
  };

  static constexpr float kFadeSpeed = 510.0f;     // opacity units per second
  static constexpr float kBgFrameRate = 16.0f;    // frames per second
  static constexpr float kTalkRange = 64.0f;      // pixels
  // Lines one update may step through: a block that jumps back onto itself
  // ("seti 0" on line 0) goes on at the next update instead of hanging.
  static constexpr int kStepsPerUpdate = 4096;
  // The limit this dialog uses (tools that drive many dialogs lower it).
  int stepsPerUpdate = kStepsPerUpdate;

  Dialog();
  ~Dialog();
  Dialog(const Dialog&) = delete;
  Dialog& operator=(const Dialog&) = delete;

  // The player's dialog (the frame loop and the script API use it).
  static Dialog& instance();
  // Lets `p`'s key presses drive this dialog and `p`'s new characters
  // reset it.
  void connect(Player& p);

  void reset();
  // Null forgets the character.
  void setNpcName(const char* name);
  void start();
  void advance();
  void select(int index);
  void update();
  void parse();
  bool exec(const std::string& cmdLine);
  void draw();

  // The text box: W and H of the background (0 without one).
  static void boxSize(int& w, int& h);
  // One option as the text box shows it: "[words]" when highlighted,
  // " words " otherwise, each on a line of its own.
  static std::string optionText(const std::string& words, bool highlighted);

  Player* player = nullptr;
  Level* lvl = nullptr;
  Npc* target = nullptr;
  int32_t speakerX = 0, speakerY = 0;
  std::string npcFile;
  bool hasNpcFile = false;
  bool resume = false;
  int32_t mode = 0;
  int32_t optView = 0;
  int32_t block = 0;
  int32_t line = 0;
  float wait = 0;
  int32_t maxLines = 100;
  int32_t opt = 0;
  std::vector<int32_t> options;
  std::vector<Pointer> pointers;
  std::list<NpcEmot> emots;
  std::list<NpcText> texts;
  std::list<NpcPicture> pics;
  bool textVisible = false;
  int32_t bgFrame = 0;
  float bgFrameTime = 0;
  float bgAlpha = 0;
  Text text;

 private:
  // Commands (dialog_commands.cpp).
  void cmdCondition(const Parser& p, bool chooseLine);
  void cmdChoice(const Parser& p);
  bool cmdPos(const Parser& p);
  bool cmdGoto(const Parser& p);
  void cmdActor(const std::string& cmd, const Parser& p);
  // "snd FILE [volume [pan]]" on a free channel, "music FILE [volume]".
  void cmdSound(const std::string& cmd, const Parser& p);
  void moveNpcHere(Npc* npc, int x, int y);

  // The command line of (block, ln): key "b l", or key "b" for line 0.
  std::string lineAt(int32_t b, int32_t ln) const;
  void updateSearch();
  void drawPointers();
  void drawBox();
  bool npcAlive(const Npc* npc, uint32_t slot) const;
};

#include "dialog/actors.h"
