-- Level script of Miedzyczas. tick() runs every 16 ms of game time; it only
-- counts, and every five seconds stores the seconds spent here in the save.

local ms = 0
seconds = dbGetVal("miedzyczas_czas") or 0

function tick()
  ms = ms + 16
  if ms >= 5000 then
    ms = ms - 5000
    seconds = seconds + 5
    dbSetVal("miedzyczas_czas", seconds)
  end
end
