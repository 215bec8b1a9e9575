-- Level script of Miedzyczas. tick() runs every 16 ms of game time; it only
-- counts, and every five seconds stores the seconds spent here in the save.

local ms = 0
local armed = false
seconds = dbGetVal("miedzyczas_czas") or 0

function tick()
  -- The traveller finds a slingshot on the first tick (the character is
  -- created after this script has loaded). Z shoots, X throws a fan.
  if not armed then
    armed = true
    lAddPlayerWep("proca")
    setPlayerWep(0)
  end
  ms = ms + 16
  if ms >= 5000 then
    ms = ms - 5000
    seconds = seconds + 5
    dbSetVal("miedzyczas_czas", seconds)
  end
end
