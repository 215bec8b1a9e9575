-- The scene of bench/sprite_scene.cpp drawn by LOVE: N sprites of 32 x 32
-- pixels from one texture bouncing around the window, moved and drawn every
-- frame, presented without waiting. Prints "SCENE love N frames F seconds S
-- fps R" and quits.  love bench/love_scene N SECONDS
local n, seconds = 1000, 5
local movers, image = {}, nil
local frames, start, seed = 0, 0, 12345

local function nextRandom()
  seed = (seed * 1103515245 + 12345) % 4294967296
  return math.floor(seed / 65536) % 32768 / 32768
end

function love.load(args)
  n = tonumber(args[1]) or n
  seconds = tonumber(args[2]) or seconds
  -- The engine's test picture: four coloured quarters, a half-transparent
  -- top row.
  local data = love.image.newImageData(32, 32)
  data:mapPixel(function(x, y)
    if y == 0 then return 1, 1, 1, 128 / 255 end
    if y < 16 then
      if x < 16 then return 1, 0, 0, 1 else return 0, 1, 0, 1 end
    end
    if x < 16 then return 0, 0, 1, 1 else return 1, 1, 1, 1 end
  end)
  image = love.graphics.newImage(data)
  image:setFilter("nearest", "nearest")
  for i = 1, n do
    movers[i] = {nextRandom() * 608, nextRandom() * 448, nextRandom() * 200 - 100,
                 nextRandom() * 200 - 100}
  end
  start = love.timer.getTime()
end

function love.update(dt)
  for i = 1, n do
    local m = movers[i]
    m[1] = m[1] + m[3] * dt
    m[2] = m[2] + m[4] * dt
    if m[1] < 0 or m[1] > 608 then m[3] = -m[3] end
    if m[2] < 0 or m[2] > 448 then m[4] = -m[4] end
  end
end

function love.draw()
  for i = 1, n do
    local m = movers[i]
    love.graphics.draw(image, math.floor(m[1]), math.floor(m[2]))
  end
  frames = frames + 1
  local elapsed = love.timer.getTime() - start
  if elapsed >= seconds then
    io.write(string.format("SCENE love %d frames %d seconds %.3f fps %.2f\n", n, frames, elapsed,
                           frames / elapsed))
    io.flush()
    love.event.quit()
  end
end
