-- Slingshot. The engine calls strzal (fire key) and seria (special key)
-- with the position of the character's feet; stones leave from the hand.

local KAMIEN = "data/wep.crs:kamien"
local SPEED = 320   -- px/s
local LIFE = 1.2    -- seconds (runs down at twice the clock)
local DAMAGE = 4
local TWANG = "data/snd.crs:proca.flac"

-- Angle of a throw: slightly upwards, to the side the character faces.
local function angle(up)
  if getUserDir() == 0 then
    return 180 + up
  end
  return -up
end

local function hand(x, y)
  if getUserDir() == 0 then
    return x - 14, y - 30
  end
  return x + 14, y - 30
end

function strzal(x, y)
  local hx, hy = hand(x, y)
  addBullet(hx, hy, angle(10), SPEED, LIFE, DAMAGE, 1, KAMIEN)
  playSnd(-1, TWANG, 70)
end

-- Three stones fanned out, and a puff of grit at the hand.
function seria(x, y)
  local hx, hy = hand(x, y)
  for _, up in ipairs({ 2, 12, 22 }) do
    addBullet(hx, hy, angle(up), SPEED * 0.8, LIFE, DAMAGE - 1, 1, KAMIEN)
  end
  for i = 1, 4 do
    addParticle(hx, hy, 0, angle(30 + i * 15), 60 + i * 10, 0.6, 0, KAMIEN)
  end
  playSnd(-1, TWANG, 90)
end
