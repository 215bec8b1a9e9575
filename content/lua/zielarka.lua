-- Zielarka, the herbalist, gathers herbs on the valley floor.
patrol = { left = 1880, right = 2040, speed = 32, rest = 180 }
dofile("lua/patrol.lua")
