-- Run while the level file is read: counts the visits to this level.
function start()
  local n = dbGetVal("miedzyczas_wizyty") or 0
  dbSetVal("miedzyczas_wizyty", n + 1)
end
