#include "dialog/dialog_commands.h"

const std::vector<DialogCommand>& DialogCommand::all() {
  // Value words: N, ID, X, Y, SLOT, LIFE, FROM, TO, MODE are whole numbers;
  // SECONDS a number; BLOCK and LINE whole numbers naming a block or a line
  // of this file; KEY a save entry; WORD any word; FILE a path; SPRITE and
  // FONT sprite resource names; SOUND a sound file or resource name; VOLUME
  // a whole number (percent), PAN a number; LEVEL a level resource name; NAME a
  // character's name; TEXT and CODE the rest of the line.
  static const std::vector<DialogCommand> table = {
      {kSeta, "seta", {"..."}},
      {kSetb, "setb", {"BLOCK"}},
      {kSeti, "seti", {"LINE"}},
      {kW8, "w8", {"SECONDS"}},
      {kStr, "str", {"[TEXT...]"}},
      {kNl, "nl", {""}},
      {kStrnl, "strnl", {"[TEXT...]"}},
      {kClear, "clear", {""}},
      {kStrval, "strval", {"KEY"}},
      {kStrstr, "strstr", {"KEY"}},
      {kSave, "save", {"str KEY WORD", "val KEY N"}},
      {kAdd, "add", {"str KEY WORD", "val KEY N"}},
      {kSub, "sub", {"str KEY WORD", "val KEY N"}},
      {kDbSave, "dbSave", {"FILE"}},
      {kDbLoad, "dbLoad", {"FILE"}},
      {kDbClear, "dbClear", {""}},
      {kIf, "if", {"val KEY N BLOCK BLOCK [BLOCK]", "str KEY WORD BLOCK BLOCK [BLOCK]"}},
      {kIfi, "ifi", {"val KEY N LINE LINE [LINE]", "str KEY WORD LINE LINE [LINE]"}},
      {kWyb, "wyb", {"BLOCK [TEXT...]"}},
      {kOpt, "opt", {"N"}},
      {kHide, "hide", {""}},
      {kShow, "show", {""}},
      {kLua, "lua", {"CODE..."}},
      {kFade, "fade", {"SPRITE FROM TO"}},
      {kAfade, "afade", {"SPRITE FROM TO"}},
      {kEmot, "emot", {"ID SLOT SPRITE LIFE", "ID X Y SPRITE LIFE"}},
      {kKillemot, "killemot", {"ID"}},
      {kText, "text", {"ID X Y FONT LIFE TEXT..."}},
      {kKilltext, "killtext", {"ID"}},
      {kPic, "pic", {"ID X Y SPRITE LIFE"}},
      {kKillpic, "killpic", {"ID"}},
      {kSnd, "snd", {"SOUND [VOLUME [PAN]]"}},
      {kMusic, "music", {"SOUND [VOLUME]"}},
      {kNoEffect, "pwn", {"..."}},
      {kNoEffect, "res", {"..."}},
      {kNoEffect, "reload", {"..."}},
      {kNoEffect, "rotate", {"..."}},
      {kNoEffect, "move", {"..."}},
      {kPos, "pos", {"X Y", "NAME X Y", "LEVEL NAME X Y"}},
      {kGoto, "goto", {"LEVEL X Y MODE BLOCK [NAME]"}},
  };
  return table;
}

const DialogCommand* DialogCommand::find(const std::string& word) {
  for (const DialogCommand& c : all())
    if (word == c.name) return &c;
  return nullptr;
}
