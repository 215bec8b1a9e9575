-- Skoczek, the boy of the village: he hops about between the hut and the
-- ruins. He stands a while and hops, at most twice the same way, and turns
-- before a hop would carry him out of his stretch.

local left, right = 330, 470   -- between the massif and the ruins
local reach = 62               -- how far one hop carries him
local dir = 1
local hops = 0
local still = 0       -- ticks stood on the ground since the last landing
local shown = nil

local function show(name)
  if name ~= shown then
    shown = name
    setAnim(name)
  end
end

local function side()
  if dir > 0 then return "_right" end
  return "_left"
end

function update()
  local x = getX()
  local vy = getSpdY()
  if x == nil or vy == nil then return end

  -- On the ground the physics leaves the vertical speed at exactly 0.
  if vy ~= 0 then
    if vy < 0 then show("jump" .. side()) else show("fall" .. side()) end
    still = 0
    return
  end

  still = still + 1
  setSpdX(0)
  show("stop" .. side())
  if still < 110 then return end      -- about 1.8 s between hops

  local lands = x + dir * reach
  if hops >= 2 or lands > right or lands < left then
    dir = -dir
    hops = 0
    show("stop" .. side())
  end
  hops = hops + 1
  still = 0
  setSpd(dir * 55, -170)
  show("jump" .. side())
end
