-- Soltys, the village head, walks the meadow where travellers land.
patrol = { left = 912, right = 1088, speed = 40, rest = 120 }
dofile("lua/patrol.lua")
