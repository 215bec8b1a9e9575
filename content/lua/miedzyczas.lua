-- Level script of Miedzyczas. tick() runs every 16 ms of game time: it
-- hands the traveller the slingshot, plays the footsteps, keeps the camera
-- programs (the story's vision; warm dusk light east of x = 1280) and every
-- five seconds stores the seconds spent here in the save.

local ms = 0
local armed = false
seconds = dbGetVal("miedzyczas_czas") or 0
local DUSK = "data/shaders.crs:world.glsl:dusk"

dofile("lua/efekty.lua")
-- Cross-fades from the well's music when coming back up.
playMusic("data/snd.crs:miedzyczas.ogg", 50)

function tick()
  -- The traveller finds a slingshot on the first tick (the character is
  -- created after this script has loaded). Z shoots, X throws a fan.
  if not armed then
    armed = true
    lAddPlayerWep("proca")
    setPlayerWep(0)
  end
  efekty.kroki()
  local x = getPlayerX()
  efekty.programy(x ~= nil and x >= 1280 and DUSK or nil, nil)
  ms = ms + 16
  if ms >= 5000 then
    ms = ms - 5000
    seconds = seconds + 5
    dbSetVal("miedzyczas_czas", seconds)
  end
end
