// The world: the level's frames with their blocks, its objects and bounds,
// and the collision queries the physics step asks of them.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "resources/resfile.h"
#include "script/lua.h"
#include "script/periodic.h"
#include "world/frame.h"
#include "world/object.h"
#include "world/object_index.h"
#include "world/owned_list.h"

class Npc;
class Particle;
class Sprite;

// Grid position and layer of a frame.
struct FrameKey {
  int fx, fy, layer;
  bool operator<(const FrameKey& o) const {
    return std::tie(fx, fy, layer) < std::tie(o.fx, o.fy, o.layer);
  }
};

// Rounds towards minus infinity (pixel -1 lies in frame -1).
inline int floorDiv(int a, int b) {
  const int q = a / b;
  return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

class Level {
 public:
  Level() = default;
  ~Level();

  // The program's level (the frame loop, start-up and shutdown use it).
  // Tests may build levels of their own beside it.
  static Level& instance();

  // --- loading (level_load.cpp) ------------------------------------------
  // Loads "archive:entry" (the level file is entry + ".txt"), replacing a
  // level that is loaded. False on failure; what ran before it stays.
  bool load(const char* name);
  bool load(const std::string& name) { return load(name.c_str()); }
  // Characters save their state, then everything goes; bounds become 0.
  void unload();
  // (Re)creates the characters listed for `listName` in npc/list.ini.
  bool loadNpcs(const char* listName);

  // Exchanges everything the level holds (frames, objects, characters,
  // sky, script state, name, bounds) with `other`; neither may be updating.
  // Objects and script states keep pointing at the level they were made
  // for: this only parks a world aside while another one is built in its
  // place, and brings it back when that fails (see game/dev_mode.cpp).
  void swapContents(Level& other) noexcept;

  // --- characters (level_npcs.cpp) ---------------------------------------
  // Stores the character at slot `pos` and in objs; null (and the character
  // destroyed) when it cannot be stored.
  Npc* addNpc(std::unique_ptr<Npc> npc, uint32_t pos);
  void delNpc(Npc* npc);
  // Takes the character out of the table and the object list without
  // destroying it (null when this level does not hold it).
  std::unique_ptr<Npc> takeNpc(Npc* npc);
  // The character in slot `slot`, or null (past the table or empty).
  Npc* npcAt(uint32_t slot) const;
  Npc* getNpcByName(const char* npcName) const;
  uint32_t countNpcs() const;

  // Changes scripts ask for while they run: carried out after the update,
  // when no script is on the stack (see script/script_requests.h).
  // A load or unload that waits to be carried out stops the periodic
  // functions of the level and of its characters for the rest of the
  // frame (they would run against a level that is going away), and the
  // same change asked for again while it waits is not queued twice.
  void requestLoad(const std::string& levelName);
  void requestUnload();
  // A load or unload asked for by a script has not been carried out yet.
  const bool* leaving() const { return &leaving_; }
  void requestDelNpc(uint32_t slot);
  void requestDelObj(uint32_t id);

  // --- per game frame (level_update.cpp, level_render.cpp) ---------------
  // The periodic script function, frames, objects, particles, bullets;
  // then the script requests gathered meanwhile.
  void update();
  // Sky, frames (objects before the first frame of a negative layer) and
  // the outline of the bounds.
  void render();
  // Chooses a sky image (the level takes its own reference); ignored while
  // a script has forced one, unless `forced`.
  void setSkybox(Sprite* sprite, bool forced);
  Level(const Level&) = delete;
  Level& operator=(const Level&) = delete;

  // --- frames ----------------------------------------------------------
  // Returns the frame already at (fx, fy, layer) untouched, or makes a new
  // one (taking over the sprite references) and grows the bounds.
  Frame* addFrame(uint32_t id, const char* name, Sprite* blockSprite, Sprite* skybox, int fx,
                  int fy, int layer, float parallaxX, float parallaxY);
  // Reads the frame's block file (base name + ".bin"); see level.cpp.
  bool loadFrame(Frame* frame, const char* name);
  void delFrame(Frame* frame);
  Frame* findFrame(int fx, int fy, int layer) const;
  // The frame of `layer` that holds level pixel (px, py), or null.
  Frame* frameAt(int px, int py, int layer) const;
  // Frames by layer, greatest first, keeping the order of equal layers.
  void sortFrames();

  // --- collision queries -------------------------------------------------
  bool blockAt(int px, int py, int layer, bool precise) const;
  // Mode bit 1: every pixel instead of every 32nd; bit 2: mask-precise.
  bool blockHit(int x, int y, int layer, int w, int h, int mode) const;
  // Whether any pixel of the area l .. r, t .. b (inclusive) on the layer
  // is a block (with `precise`, a solid pixel of the block's tile).
  bool areaSolid(int64_t l, int64_t t, int64_t r, int64_t b, int layer, bool precise) const;
  // First level object (list order) whose collision box overlaps the area.
  // During the world's step the collision index answers; elsewhere, and
  // for the differential tests, the walks over the list below.
  Object* objHit(int x, int y, int w, int h, const Object* self) const;
  // First level object whose collision box contains the point.
  Object* objAt(int px, int py, const Object* self) const;
  Object* objHitWalk(int x, int y, int w, int h, const Object* self) const;
  Object* objAtWalk(int px, int py, const Object* self) const;
  // The box objHit and objAt test, in pixels; false when the object takes
  // no part (collisions off, no animation, an empty box).
  static bool queryBox(const Object& o, CollisionGrid::Box& box);
  // While open, the queries use the collision index (the step opens it).
  void openIndex() { objIndex_.open(); }
  void closeIndex() { objIndex_.close(); }

  // --- objects -------------------------------------------------------------
  // Both take over the sprite reference; null without a sprite.
  Object* addObj(uint32_t id, int x, int y, int z, int hp, Sprite* sprite);
  Object* addFrameObj(uint32_t id, int x, int y, int z, int hp, Sprite* sprite);
  // Adds an object made elsewhere (characters, the player's character).
  Object* adoptObj(std::unique_ptr<Object> obj);
  // A particle of this level (no frame host) appended to `parts`; takes
  // over the sprite reference, null without a sprite (particle.cpp).
  Particle* addParticle(int x, int y, int z, float angle, float speed, float life, int32_t damage,
                        Sprite* sprite);
  void delObj(Object* obj);
  void delFrameObj(Object* obj);
  // The first object with `id` among the non-null entries counted from 0
  // whose count is at least `start`.
  Object* getObj(uint32_t id, uint32_t start = 0) const;
  Object* getFrameObj(uint32_t frameId, uint32_t objId, uint32_t start = 0) const;
  uint32_t countObjs() const;

  // --- per game frame ------------------------------------------------------
  // Steps every frame (with its frame objects), then every level object.
  void updateWorld();
  // Destroys frames and objects and zeroes the bounds.
  void clearWorld();

  // Archive part of `name` (the level's own archive for block files).
  std::string archivePath() const;

  OwnedList<Frame> frames;     // drawing order
  OwnedList<Object> objs;      // level objects and characters
  OwnedList<Object> parts;     // particles
  OwnedList<Object> bullets;
  std::map<FrameKey, Frame*> frameMap;
  std::string name;  // "archive:entry" of the level
  uint64_t loads = 0;  // how many times load() has run
  int left = 0, top = 0, right = 0, bottom = 0, width = 0, height = 0;
  // Reader for block files; the shared one when null.
  Resfile* reader = nullptr;

  // Sky images being shown, oldest first; each holds one sprite reference.
  struct SkyEntry {
    Sprite* sprite;
    float alpha;
  };
  std::vector<SkyEntry> skyboxes;
  Sprite* skybox = nullptr;  // most recently chosen
  bool skyboxForced = false;
  // Characters by id; null = free slot. npcCap is the slot count.
  static constexpr uint32_t kNpcSlots = 100;
  std::vector<Npc*> npcs = std::vector<Npc*>(kNpcSlots, nullptr);
  uint32_t npcCap = kNpcSlots;
  Lua lua;
  std::string alwaysFn;  // periodic script function; empty = none
  Periodic alwaysTime;

 private:
  void drawSky();
  void drawObjects();
  void drawBounds() const;
  void releaseSkyboxes();
  // One line of the level file; false when loading must stop.
  bool runLine(const std::string& line);

  // Queues a load ("L" + name) or unload ("U") unless the same one is the
  // last change still waiting.
  void requestChange(const std::string& key, std::function<void()> change);
  bool leaving_ = false;
  int changesQueued_ = 0;
  std::string lastChange_;

  // The level archive's own reader, made afresh by every load.
  std::unique_ptr<Resfile> levelReader_;
  // Runs after ~Level's body: drops the script requests this level posted
  // and gives back the sky references.
  struct Teardown {
    Level* owner;
    ~Teardown();
  } teardown_{this};

  // One-entry memo of the last frame looked up by blockAt: the physics asks
  // for the same frame many times in a row.
  mutable FrameKey lastKey_{0, 0, 0};
  mutable Frame* lastFrame_ = nullptr;
  mutable bool lastValid_ = false;

  // The frames of each layer laid out in a table over their grid
  // positions, built on the first lookup after the frames changed (when
  // lastValid_ was cleared): the physics looks frames up for every probe,
  // in a different frame from one object to the next. Levels whose frames
  // lie too far apart for a table use frameMap.
  struct FrameTable {
    int layer;
    int fx0, fy0;
    uint32_t cols, rows;
    std::vector<Frame*> cells;
  };
  void buildFrameTables() const;
  mutable std::vector<FrameTable> frameTables_;
  mutable bool tablesValid_ = false;
  mutable bool tablesUsed_ = false;

  mutable ObjectIndex objIndex_{&Level::queryBox};
};
