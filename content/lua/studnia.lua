-- Level script of Studnia, the cave under the well. tick() runs every
-- 16 ms: the slingshot, the footsteps, the camera programs (the story's
-- vision; everything sways like under water behind the barricade), the
-- chest's scraping and the barricade, which cracks under the stones and
-- breaks in a shower of splinters.

local CHEST, BARRICADE = 1, 2
local SWAY = "data/shaders.crs:world.glsl:sway"
local SPLINTER = "data/lvl/studnia.crs:drzazga"
local STAGES = { "cala", "pekni", "rozbita" }

local armed = false
local hp = nil          -- the barricade's hit points seen last
local broken = dbGetVal("zapora_zbita") == 1   -- then start.lua removed it
local chestX = nil
local scrape = 0
local splinters = {}    -- level object id -> ticks left
local nextSplinter = 100

dofile("lua/efekty.lua")
playMusic("data/snd.crs:studnia.ogg", 55)

local function shower(x, y, n)
  for i = 1, n do
    local id = nextSplinter
    nextSplinter = nextSplinter < 139 and nextSplinter + 1 or 100
    if splinters[id] then delLvlObj(id) end
    addLvlObj(id, x, y - 10 - i * 6, 0, 0, SPLINTER, 0)
    setObjSpd(id, math.random(-140, -20), math.random(-180, -60))
    splinters[id] = 50 + math.random(0, 20)
  end
end

local function barricade()
  if broken then return end
  local now = getObjHp(BARRICADE)
  if now == nil then return end
  if hp ~= nil and now < hp then
    local x, y = getObjPos(BARRICADE)
    playSnd(-1, "data/snd.crs:trafienie.flac", 70)
    shower(x - 10, y - 30, 4)
    if now <= 0 then
      playSnd(-1, "data/snd.crs:pek.flac", 80)
      shower(x, y - 20, 10)
      dbSetVal("zapora_zbita", 1)
      delLvlObj(BARRICADE)
      broken = true
      return
    end
    setObjAnim(BARRICADE, STAGES[now <= 4 and 3 or 2])
  end
  hp = now
end

local function chest()
  local x = getObjX(CHEST)
  if x == nil then return end
  if chestX ~= nil and x ~= chestX then
    scrape = scrape - 1
    if scrape <= 0 then
      scrape = 16
      playSnd(-1, "data/snd.crs:szur.flac", 50)
    end
  end
  chestX = x
end

function tick()
  if not armed then
    armed = true
    lAddPlayerWep("proca")
    setPlayerWep(0)
  end
  efekty.kroki()
  local x = getPlayerX()
  efekty.programy(nil, x ~= nil and x >= 832 and SWAY or nil)
  barricade()
  chest()
  for id, left in pairs(splinters) do
    if left <= 1 then
      delLvlObj(id)
      splinters[id] = nil
    else
      splinters[id] = left - 1
    end
  end
end
