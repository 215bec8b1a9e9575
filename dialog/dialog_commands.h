// The command words of the dialog language and the words each takes. The
// interpreter (Dialog::exec) dispatches through this table and the game
// checker checks dialog lines against it, so the two cannot drift apart.
//
// A form lists the words after the command, as the guide writes them:
// a lower-case word stands for itself ("val", "str"), an upper-case word is
// a value (see DialogCommand::kinds below), brackets mark optional words and
// "..." after the last word means any further words (a text).
#pragma once

#include <string>
#include <vector>

struct DialogCommand {
  enum Id {
    kSeta, kSetb, kSeti, kW8, kStr, kNl, kStrnl, kClear, kStrval, kStrstr,
    kSave, kAdd, kSub, kDbSave, kDbLoad, kDbClear, kIf, kIfi, kWyb, kOpt,
    kHide, kShow, kLua, kFade, kAfade, kEmot, kKillemot, kText, kKilltext,
    kPic, kKillpic, kSnd, kMusic, kNoEffect, kPos, kGoto,
  };
  Id id;
  const char* name;
  // One or more forms; a line fits the command when it fits one of them.
  std::vector<const char*> forms;

  static const std::vector<DialogCommand>& all();
  // The command named `word`, or null (a line of an unknown command does
  // nothing).
  static const DialogCommand* find(const std::string& word);
};
