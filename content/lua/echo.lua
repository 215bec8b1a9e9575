-- Echo, the voice of the well: a crystal that floats and bobs gently.
local base = nil
local t = 0

function update()
  local y = getY()
  if y == nil then return end
  base = base or y
  t = t + 1
  setY(base + math.floor(3 * math.sin(t / 25)))
end
