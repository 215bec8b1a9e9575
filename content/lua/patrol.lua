-- Walking to and fro, shared by the characters that patrol a stretch of
-- ground. The including script sets the table `patrol` first:
--   left, right  the stretch, in level pixels (absolute, so that a character
--                saved somewhere else by the level walks back into it)
--   speed        walking speed in pixels per second
--   rest         ticks (16 ms each) spent standing at each end
-- Characters of the level's list choose no animation by themselves, so the
-- script picks it. Ground friction slows a walker every step: the speed is
-- set again on every tick.

local p = patrol
local dir = 1          -- 1 = right, -1 = left
local resting = 0      -- ticks still to stand
local walked = 0       -- ticks walked since the last start
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

local function rest(ticks)
  resting = ticks
  walked = 0
end

function update()
  local x = getX()
  local vx = getSpdX()
  local vy = getSpdY()
  if x == nil or vx == nil or vy == nil then return end

  -- On the ground the physics leaves the vertical speed at exactly 0.
  if vy ~= 0 then
    if vy < 0 then show("jump" .. side()) else show("fall" .. side()) end
    return
  end

  if resting > 0 then
    resting = resting - 1
    setSpdX(0)
    show("stop" .. side())
    if resting == 0 then dir = -dir end
    return
  end

  if (dir > 0 and x >= p.right) or (dir < 0 and x <= p.left) then
    rest(p.rest)
    setSpdX(0)
    show("stop" .. side())
    return
  end

  -- Something stopped us (a crate, the player): wait a moment, then turn.
  if walked > 4 and vx * dir < 1 then
    rest(math.floor(p.rest / 3) + 1)
    setSpdX(0)
    show("stop" .. side())
    return
  end

  walked = walked + 1
  setSpdX(dir * p.speed)
  show("move" .. side())
end
