-- Shared by the levels' scripts (run with dofile after setting nothing):
-- the camera programs of the story and of places, and the sounds of the
-- traveller's feet. A level's tick calls
--   efekty.kroki()               footsteps while walking, a whistle on jumps
--   efekty.programy(frag, vert)  the story's vision (save key "wizja" = 1:
--                                an old-photograph post program) and the
--                                place's world programs (nil = none)

local WIZJA = "data/shaders.crs:post.glsl:sepia"
local POST_OFF = "data/shaders.crs:post.glsl:plain"
local FRAG_OFF = "data/shaders.crs:world.glsl:plain"
local VERT_OFF = "data/shaders.crs:world.glsl:still"
local KROK = "data/snd.crs:krok.flac"
local SKOK = "data/snd.crs:skok.flac"

efekty = {}

local shown = {}        -- program last set in each slot by this level
local idle = 0          -- ticks since the last effect was wanted
local walked = 14       -- ticks since the last footstep
local airborne = false

local function slot(kind, name)
  if shown[kind] == name then return end
  shown[kind] = name
  if kind == "post" then
    setCamShaderPost(name)
  elseif kind == "frag" then
    setCamShaderFrag(name)
  else
    setCamShaderVert(name)
  end
end

function efekty.programy(frag, vert)
  local vision = dbGetVal("wizja") == 1
  -- Nothing wanted and nothing on: no program is even compiled.
  if not (vision or frag or vert) and getCamShade() == 0 then return end
  if vision or frag or vert then
    idle = 0
    if getCamShade() == 0 then setCamShadeOn() end
  elseif getCamShade() == 1 then
    -- A program being replaced fades out for a second: switch off after.
    idle = idle + 1
    if idle >= 90 then setCamShadeOff() end
  end
  slot("post", vision and WIZJA or POST_OFF)
  slot("frag", frag or FRAG_OFF)
  slot("vert", vert or VERT_OFF)
end

function efekty.kroki()
  local vx, vy = getPlayerSpd()
  if vx == nil then return end
  -- On the ground the physics leaves the vertical speed at exactly 0.
  if vy ~= 0 then
    if not airborne and vy < -150 then playSnd(-1, SKOK, 55) end
    airborne = true
    return
  end
  if airborne then
    airborne = false
    walked = 0
    playSnd(-1, KROK, 70)   -- landing
  elseif math.abs(vx) > 30 then
    walked = walked + 1
    if walked >= 20 then
      walked = 0
      playSnd(-1, KROK, 45)
    end
  else
    walked = 14             -- the first step comes soon after starting
  end
end
