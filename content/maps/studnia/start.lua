-- Run while the level file is read.
function start()
  setObjImmobileOn(2)
  if dbGetVal("zapora_zbita") == 1 then delLvlObj(2) end
end
